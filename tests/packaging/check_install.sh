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
         share/doc/hp54200a/copyright share/doc/hp54200a/docs/screenshot.png share/doc/hp54200a/docs/simulator.md; do
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
man=$(zcat "$prefix/share/man/man1/hp54200a.1.gz" | groff -man -Tascii -rHY=0 -rLL=300n 2>/dev/null | sed 's/.\x08//g' | tr -s ' \n' ' ')
grep -q "hp54200a $version" <<<"$man" || fail "man page version"
# The desktop entry's option, and what writes the settings file, as --help and the README say.
for said in "--choose-connection" "written when the Connection dialog is closed with OK" \
            "written when Save as... has written its files" "interval of Run, written when it is changed"; do
  grep -qF -- "$said" <<<"$man" || fail "the man page does not say: $said"
done
zcat "$prefix/share/doc/hp54200a/changelog.gz" | head -1 | grep -q "^hp54200a ($version)" ||
  fail "the changelog's first entry is not $version"
# What the installed README shows and links is installed with it, and so is what those link.
doc_dir="$prefix/share/doc/hp54200a"
for doc in "$doc_dir/README.md" "$doc_dir"/docs/*.md; do
  for target in $(grep -o '](\(docs/\|\.\./\)\?[A-Za-z0-9_./-]*\.\(md\|png\)\(#[^)]*\)\?)' "$doc" |
      sed 's/^](//; s/)$//; s/#.*//'); do
    [ -f "$(dirname "$doc")/$target" ] || fail "${doc#"$doc_dir"/} links $target, not installed"
  done
done
grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/hp54200a.svg" || fail "icon is no SVG"

# The installed program answers without a display.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/hp54200a" --version)
[ "$out" = "hp54200a $version" ] || fail "--version printed '$out'"
echo "install tree complete: $(find "$prefix" -type f | wc -l) files"
