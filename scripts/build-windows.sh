#!/usr/bin/env bash
# Cross-compiles the program for 64-bit Windows with mingw-w64: hp54200a.exe and the simulated
# scope hp54200a_sim.dll, from the same sources as the Linux build, and gathers them with the
# Qt and runtime DLLs they need in build-windows/dist/, ready to copy to a Windows machine (or to
# run under wine).
#
#   scripts/build-windows.sh
#
# Needs: g++-mingw-w64-x86-64-posix cmake ninja-build qt6-base-dev-tools (installed with
# apt-get when missing), and Qt 6 for mingw-w64 as an archive: by default
# <the repository's parent folder>/shared/toolchains/qt6.4.2-mingw64-posix.tar.xz, or the file
# HP_QT_MINGW_ARCHIVE names. The archive is unpacked into build-windows/prefix, never into the
# repository's files. The Prologix adapters' driver gpib_prologix.dll is built too; the VXI-11
# driver library is not built for Windows yet.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build-windows"
archive=${HP_QT_MINGW_ARCHIVE:-$(dirname "$here")/shared/toolchains/qt6.4.2-mingw64-posix.tar.xz}
prefix="$build/prefix"
out="$build/out"
dist="$build/dist"
triplet=x86_64-w64-mingw32

# The build machine's packages, installed only when missing.
missing=()
for package in g++-mingw-w64-x86-64-posix cmake ninja-build qt6-base-dev-tools; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "build-windows: installing ${missing[*]}"
  sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update
  "${sudo[@]}" apt-get install -y "${missing[@]}"
fi

# Qt for mingw-w64, unpacked afresh when the archive is newer than the last unpacking.
if [ ! -f "$archive" ]; then
  echo "build-windows: no Qt archive at $archive (set HP_QT_MINGW_ARCHIVE)" >&2
  exit 1
fi
mkdir -p "$build"
stamp="$build/prefix.unpacked"
if [ ! -f "$stamp" ] || [ "$archive" -nt "$stamp" ] || [ "$(cat "$stamp")" != "$archive" ]; then
  echo "build-windows: unpacking $archive"
  rm -rf "$prefix"
  tar -xJf "$archive" -C "$build"
  [ -x "$prefix/bin/qt-cmake" ] || { echo "build-windows: $archive holds no prefix/" >&2; exit 1; }
  echo "$archive" >"$stamp"
fi

# Configured as the toolchain's README says; moc, rcc and uic are the build machine's (/usr).
cmake -G Ninja -S "$here" -B "$out" \
  -DCMAKE_TOOLCHAIN_FILE="$prefix/toolchain-mingw64-posix.cmake" \
  -DCMAKE_PREFIX_PATH="$prefix" -DQT_HOST_PATH=/usr \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DHP_VXI11=OFF -DHP_PROLOGIX=ON
cmake --build "$out" --target hp54200a hp54200a_sim gpib_prologix

# The folder to ship: the program, the simulator, the plugins it uses, and every DLL of the Qt
# prefix that any of them imports, followed through the imports of those.
rm -rf "$dist"
mkdir -p "$dist/platforms" "$dist/styles" "$dist/imageformats" "$dist/iconengines"
cp "$out/app/hp54200a.exe" "$out/sim/hp54200a_sim.dll" "$out/adapters/prologix/gpib_prologix.dll" \
  "$dist/"
cp "$prefix/plugins/platforms/qwindows.dll" "$prefix/plugins/platforms/qoffscreen.dll" \
  "$dist/platforms/"
cp "$prefix/plugins/styles/qwindowsvistastyle.dll" "$dist/styles/"
cp "$prefix/plugins/imageformats/qsvg.dll" "$prefix/plugins/imageformats/qico.dll" \
  "$prefix/plugins/imageformats/qgif.dll" "$dist/imageformats/"
cp "$prefix/plugins/iconengines/qsvgicon.dll" "$dist/iconengines/"

imports() {
  "$triplet-objdump" -p "$1" | sed -n 's/^\s*DLL Name: //p'
}
pending=()
while IFS= read -r -d '' file; do pending+=("$file"); done < <(find "$dist" -name '*.exe' -print0 -o -name '*.dll' -print0)
while [ "${#pending[@]}" -gt 0 ]; do
  file=${pending[0]}
  pending=("${pending[@]:1}")
  while IFS= read -r dll; do
    source=$(find "$prefix/bin" -maxdepth 1 -iname "$dll" -print -quit)
    if [ -n "$source" ] && [ ! -e "$dist/$(basename "$source")" ]; then
      cp "$source" "$dist/"
      pending+=("$dist/$(basename "$source")")
    fi
  done < <(imports "$file")
done

echo "build-windows: $(du -sh "$dist" | cut -f1) in ${dist#"$here"/}:"
(cd "$dist" && find . -type f | sort | sed 's|^\./|  |')
