#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the tree a user gets: the program, the
# simulated scope alone (no test variants), the desktop entry, the icon, the man page, the README.
# Usage: check_install.sh BUILD_DIR VERSION
set -euo pipefail
build=${1:?build folder}
version=${2:?version}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

for f in bin/hp54200a lib/hp54200a/libhp54200a_sim.so lib/hp54200a/libgpib_prologix.so \
         lib/hp54200a/libgpib_vxi11.so lib/hp54200a/libgpib_visa.so \
         lib/hp54200a/libgpib_usbtmc.so lib/udev/rules.d/60-hp54200a-usbtmc.rules \
         share/applications/hp54200a.desktop \
         share/icons/hicolor/scalable/apps/hp54200a.svg share/man/man1/hp54200a.1.gz \
         share/doc/hp54200a/README.md share/doc/hp54200a/changelog.gz \
         share/doc/hp54200a/copyright share/doc/hp54200a/docs/screenshot.png; do
  [ -f "$prefix/$f" ] || fail "missing $f"
done
[ -x "$prefix/bin/hp54200a" ] || fail "bin/hp54200a is not executable"
# Only driver libraries a user can point GPIB_LIBRARY at: no test variants of the simulator,
# no fakes.
if ls "$prefix/lib/hp54200a" | grep -q '_sim_'; then fail "test variants installed"; fi
if find "$prefix" -name '*fake*' | grep -q .; then fail "fakes installed"; fi

desktop-file-validate "$prefix/share/applications/hp54200a.desktop" || fail "desktop entry"
warnings=$(zcat "$prefix/share/man/man1/hp54200a.1.gz" | groff -man -ww -z 2>&1)
[ -z "$warnings" ] || fail "man page: $warnings"
zcat "$prefix/share/man/man1/hp54200a.1.gz" | grep -q "hp54200a $version" || fail "man page version"
zcat "$prefix/share/doc/hp54200a/changelog.gz" | head -1 | grep -q "^hp54200a ($version)" ||
  fail "the changelog's first entry is not $version"
# What the installed README shows is installed with it.
for picture in $(grep -o '](docs/[^)]*)' "$prefix/share/doc/hp54200a/README.md" | sed 's/^](//; s/)$//'); do
  [ -f "$prefix/share/doc/hp54200a/$picture" ] || fail "README links $picture, not installed"
done
grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/hp54200a.svg" || fail "icon is no SVG"

# The installed program answers without a display.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/hp54200a" --version)
[ "$out" = "hp54200a $version" ] || fail "--version printed '$out'"
echo "install tree complete: $(find "$prefix" -type f | wc -l) files"
