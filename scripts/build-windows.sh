#!/usr/bin/env bash
# Cross-compiles the program for 64-bit Windows with mingw-w64: hp54200a.exe and the simulated
# scope hp54200a_sim.dll, from the same sources as the Linux build, and gathers them with the
# Qt and runtime DLLs they need in build-windows/dist/, ready to copy to a Windows machine (or to
# run under wine).
#
#   scripts/build-windows.sh [--tests]
#   scripts/build-windows.sh --find-archive
#
# --tests also builds the test programs that run under wine (scripts/test-windows.sh runs them);
# --find-archive only prints the Qt archive's path, or fails when there is none.
# Needs: g++-mingw-w64-x86-64-posix cmake ninja-build qt6-base-dev-tools (installed with
# apt-get when missing), and Qt 6 for mingw-w64: the archive HP_QT_MINGW_ARCHIVE names, else
# ../shared/toolchains/qt6.4.2-mingw64-posix.tar.xz beside the repository, unpacked into
# build-windows/prefix (never into the repository's files); or, without an archive, a Qt for
# mingw-w64 already unpacked in a folder of CMAKE_PREFIX_PATH (one holding lib/cmake/Qt6 and
# bin/Qt6Core.dll; see docs/windows.md). The Prologix adapters' driver gpib_prologix.dll and the
# VISA driver gpib_visa.dll are built too; the VXI-11 driver library is not built for Windows yet.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build-windows"
tests=OFF
case "${1:-}" in
  --tests) tests=ON ;;
  --find-archive | "") ;;
  *) echo "usage: scripts/build-windows.sh [--tests | --find-archive]" >&2; exit 2 ;;
esac
archive=${HP_QT_MINGW_ARCHIVE:-$(dirname "$here")/shared/toolchains/qt6.4.2-mingw64-posix.tar.xz}
# A Qt for mingw-w64 in a folder of CMAKE_PREFIX_PATH, used where it is when there is no archive.
installed_qt=
if [ ! -f "$archive" ] && [ -n "${CMAKE_PREFIX_PATH:-}" ]; then
  IFS=':;' read -ra folders <<<"$CMAKE_PREFIX_PATH"
  for folder in "${folders[@]}"; do
    if [ -d "$folder/lib/cmake/Qt6" ] && [ -f "$folder/bin/Qt6Core.dll" ]; then
      installed_qt=$(cd "$folder" && pwd)
      break
    fi
  done
fi
if [ "${1:-}" = --find-archive ]; then
  if [ -f "$archive" ]; then
    echo "$archive"
  elif [ -n "$installed_qt" ]; then
    echo "$installed_qt"
  else
    exit 1
  fi
  exit 0
fi
prefix=${installed_qt:-$build/prefix}
out="$build/out"
dist="$build/dist"
triplet=x86_64-w64-mingw32

# The build machine's packages, installed only when missing.
"$here/scripts/install-missing.sh" --with-recommends g++-mingw-w64-x86-64-posix cmake ninja-build \
  qt6-base-dev-tools
# The test programs build GoogleTest from its sources.
[ "$tests" = OFF ] || "$here/scripts/install-missing.sh" googletest

# Qt for mingw-w64, unpacked afresh when the archive is newer than the last unpacking.
if [ ! -f "$archive" ] && [ -z "$installed_qt" ]; then
  echo "build-windows: no Qt for mingw-w64: no archive at $archive (set HP_QT_MINGW_ARCHIVE)" \
    "and none in CMAKE_PREFIX_PATH (see docs/windows.md)" >&2
  exit 1
fi
mkdir -p "$build"
stamp="$build/prefix.unpacked"
if [ -n "$installed_qt" ]; then
  echo "build-windows: Qt for mingw-w64 in $installed_qt"
elif [ ! -f "$stamp" ] || [ "$archive" -nt "$stamp" ] || [ "$(cat "$stamp")" != "$archive" ]; then
  echo "build-windows: unpacking $archive"
  rm -rf "$prefix"
  tar -xJf "$archive" -C "$build"
  [ -x "$prefix/bin/qt-cmake" ] || { echo "build-windows: $archive holds no prefix/" >&2; exit 1; }
  echo "$archive" >"$stamp"
fi

# The cross compiler: the toolchain file that comes with the archive's Qt, else the posix-thread
# mingw-w64 GCC by name.
toolchain="$prefix/toolchain-mingw64-posix.cmake"
if [ ! -f "$toolchain" ]; then
  toolchain="$build/toolchain-mingw64-posix.cmake"
  cat >"$toolchain" <<'CMAKE'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
CMAKE
  echo "set(CMAKE_FIND_ROOT_PATH \"$prefix\")" >>"$toolchain"
fi
# Configured as the toolchain's README says; moc, rcc and uic are the build machine's (/usr).
cmake -G Ninja -S "$here" -B "$out" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_PREFIX_PATH="$prefix" -DQT_HOST_PATH=/usr \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING="$tests" -DHP_VXI11=OFF -DHP_PROLOGIX=ON
if [ "$tests" = ON ]; then
  cmake --build "$out" --target hp54200a hp54200a_sim gpib_prologix gpib_visa windows_tests
else
  cmake --build "$out" --target hp54200a hp54200a_sim gpib_prologix gpib_visa
fi

# The folder to ship: the program, the simulator, the plugins it uses, and every DLL of the Qt
# prefix that any of them imports, followed through the imports of those.
rm -rf "$dist"
mkdir -p "$dist/platforms" "$dist/styles" "$dist/imageformats" "$dist/iconengines"
cp "$out/app/hp54200a.exe" "$out/sim/hp54200a_sim.dll" "$out/adapters/prologix/gpib_prologix.dll" \
  "$out/adapters/visa/gpib_visa.dll" "$dist/"
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

# ---- Installer and zip --------------------------------------------------------------------------
# From the dist folder: build-windows/hp54200a-<version>-win64-setup.exe (NSIS,
# packaging/windows/hp54200a.nsi) and build-windows/hp54200a-<version>-win64.zip (the same files
# under hp54200a-<version>/). The version is the top-level CMakeLists.txt's project() VERSION.
# Needs nsis and zip, and librsvg2-bin and icoutils for the icon (packaging/hp54200a.svg turned
# into build-windows/installer/hp54200a.ico); installed with apt-get when missing.
# scripts/try-windows-installer.sh tries the installer under wine.
packaging_started=$SECONDS
"$here/scripts/install-missing.sh" --with-recommends nsis zip librsvg2-bin icoutils

version=$(sed -n '/^project(/,/)/s/.*[[:space:]]VERSION[[:space:]]\+\([0-9][0-9.]*\).*/\1/p' \
  "$here/CMakeLists.txt" | head -n 1)
if ! [[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
  echo "build-windows: no x.y.z version in the project() of $here/CMakeLists.txt" >&2
  exit 1
fi
staging="$build/installer"
rm -rf "$staging"
mkdir -p "$staging"

# The icon, from the SVG: 16 to 256 pixels in one .ico.
icon_pngs=()
for size in 16 24 32 48 64 256; do
  rsvg-convert -w "$size" -h "$size" -o "$staging/icon-$size.png" "$here/packaging/hp54200a.svg"
  icon_pngs+=("$staging/icon-$size.png")
done
icotool -c -o "$staging/hp54200a.ico" "${icon_pngs[@]}"

# The file lists for makensis: every file of dist, and their removal, deepest folders first.
# shellcheck disable=SC2016 # $INSTDIR is makensis's, not the shell's
instdir='$INSTDIR'
files_nsh="$staging/files.nsh"
unfiles_nsh="$staging/unfiles.nsh"
: >"$files_nsh"
: >"$unfiles_nsh"
while IFS= read -r -d '' dir; do
  rel=${dir#"$dist"}
  rel=${rel#/}
  if [[ $rel =~ [^A-Za-z0-9._+/\ -] ]]; then
    echo "build-windows: $dist/$rel: a name the installer's lists do not quote" >&2
    exit 1
  fi
  win=${rel//\//\\}
  files=()
  while IFS= read -r -d '' file; do files+=("$file"); done \
    < <(find "$dir" -mindepth 1 -maxdepth 1 -type f -print0 | sort -z)
  [ "${#files[@]}" -gt 0 ] || continue
  printf 'SetOutPath "%s%s"\n' "$instdir" "${win:+\\$win}" >>"$files_nsh"
  for file in "${files[@]}"; do
    name=$(basename "$file")
    if [[ $name =~ [^A-Za-z0-9._+\ -] ]]; then
      echo "build-windows: $file: a name the installer's lists do not quote" >&2
      exit 1
    fi
    printf 'File "%s"\n' "${file//\$/\$\$}" >>"$files_nsh"
    printf 'Delete "%s%s\\%s"\n' "$instdir" "${win:+\\$win}" "$name" >>"$unfiles_nsh"
  done
done < <(find "$dist" -type d -print0 | sort -z)
while IFS= read -r -d '' dir; do
  rel=${dir#"$dist"/}
  printf 'RMDir "%s\\%s"\n' "$instdir" "${rel//\//\\}" >>"$unfiles_nsh"
done < <(find "$dist" -mindepth 1 -type d -print0 | sort -rz)

setup="$build/hp54200a-$version-win64-setup.exe"
zipfile="$build/hp54200a-$version-win64.zip"
rm -f "$setup" "$zipfile"
makensis -V2 -INPUTCHARSET UTF8 \
  -DVERSION="$version" -DDIST="$dist" -DFILES="$files_nsh" -DUNFILES="$unfiles_nsh" \
  -DSIZE_KB="$(du -sk "$dist" | cut -f1)" -DOUTFILE="$setup" -DICON="$staging/hp54200a.ico" \
  "$here/packaging/windows/hp54200a.nsi"

# The zip: the same files under hp54200a-<version>/, hard links of dist rather than copies.
top="hp54200a-$version"
mkdir -p "$staging/zip"
cp -al "$dist" "$staging/zip/$top"
(cd "$staging/zip" && zip -q -r -X "$zipfile" "$top")

echo "build-windows: $(du -h "$setup" | cut -f1) ${setup#"$here"/}"
echo "build-windows: $(du -h "$zipfile" | cut -f1) ${zipfile#"$here"/}"
echo "build-windows: installer and zip in $((SECONDS - packaging_started)) s"
