#!/usr/bin/env bash
# Installs the given Debian packages that are not installed yet, with apt-get (through sudo when
# not root); does nothing when all are there.
# Usage: scripts/install-missing.sh [--with-recommends] PACKAGE...
set -euo pipefail
recommends=(--no-install-recommends)
if [ "${1:-}" = --with-recommends ]; then
  recommends=()
  shift
fi
missing=()
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${recommends[@]}" "${missing[@]}"
