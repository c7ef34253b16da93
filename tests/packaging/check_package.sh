#!/usr/bin/env bash
# Builds the Debian package from the build folder and checks its name, file list and
# dependencies with dpkg-deb, and the whole with lintian.
# Usage: check_package.sh BUILD_DIR VERSION
set -euo pipefail
build=${1:?build folder}
version=${2:?version}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
arch=$(dpkg --print-architecture)
deb="$out/hp54200a_${version}_${arch}.deb"
[ -f "$deb" ] || fail "no $deb (found: $(ls "$out"))"

[ "$(dpkg-deb -f "$deb" Package)" = hp54200a ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version"
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no maintainer"
depends=$(dpkg-deb -f "$deb" Depends)
for d in fonts-liberation2 libqt6widgets6 libqt6gui6 libqt6core6 libc6 libstdc++6; do
  grep -q "\b$d\b" <<<"$depends" || fail "Depends lacks $d: $depends"
done

files=$(dpkg-deb -c "$deb" | awk '{print $6}')
# Under /usr whatever prefix the build was configured with.
prefix=./usr
grep -qx "$prefix/bin/hp54200a" <<<"$files" || fail "no usr/bin/hp54200a in: $files"
if grep -q '^\./usr/local/' <<<"$files"; then fail "files under usr/local"; fi
for f in bin/hp54200a lib/hp54200a/libhp54200a_sim.so lib/hp54200a/libgpib_prologix.so \
         lib/hp54200a/libgpib_vxi11.so lib/hp54200a/libgpib_visa.so \
         lib/hp54200a/libgpib_usbtmc.so lib/udev/rules.d/60-hp54200a-usbtmc.rules \
         share/applications/hp54200a.desktop \
         share/icons/hicolor/scalable/apps/hp54200a.svg share/man/man1/hp54200a.1.gz \
         share/doc/hp54200a/README.md share/doc/hp54200a/copyright; do
  grep -qx "$prefix/$f" <<<"$files" || fail "package lacks $f"
done
if grep -q '_sim_\|fake' <<<"$files"; then fail "test variants or fakes packaged"; fi
# The packaged program, unpacked, names the driver folder beside it; the man page names no
# folder of the build's own prefix.
dpkg-deb -x "$deb" "$out/root"
help=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$out/root/usr/bin/hp54200a" --help)
grep -q "come with the program, in $out/root/usr/lib/hp54200a:" <<<"$(tr -s ' \n' ' ' <<<"$help")" ||
  fail "--help of the packaged program names another driver folder: $help"
if zcat "$out/root/usr/share/man/man1/hp54200a.1.gz" | grep -q /usr/local; then
  fail "the man page names /usr/local"
fi
# Debian's own package checker: no error, no warning (its complaint about running as root aside).
if command -v lintian >/dev/null; then
  said=$(lintian "$deb" 2>&1 | grep -v 'running with root privileges' || true)
  [ -z "$said" ] || fail "lintian: $said"
else
  fail "lintian is not installed (scripts/setup.sh --for test installs it)"
fi
echo "package $(basename "$deb"): $(stat -c %s "$deb") bytes; Depends: $depends"
