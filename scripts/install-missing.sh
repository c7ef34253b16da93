#!/usr/bin/env bash
# Installs the given Debian packages that are not installed yet, with apt-get (through sudo when
# not root); does nothing when all are there. While another program holds the package manager's
# lock (an unattended upgrade, another apt-get), it waits up to 10 minutes for it.
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
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "install-missing: not root and no sudo: as root, run" >&2
    echo "  apt-get install ${missing[*]}" >&2
    exit 1
  fi
  as_root=(sudo)
fi
lock_wait=(-o DPkg::Lock::Timeout=600)
echo "install-missing: waiting up to 10 minutes for the package manager's lock when another" \
  "program holds it"
"${as_root[@]}" apt-get "${lock_wait[@]}" update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get "${lock_wait[@]}" install -y -qq \
  "${recommends[@]}" "${missing[@]}"
