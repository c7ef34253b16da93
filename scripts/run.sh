#!/usr/bin/env bash
# Builds the program and starts it against the simulated HP 54200A.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh" "$here/build"
mkdir -p "$HOME/junk"   # the text data files go there; the program does not create it
export GPIB_LIBRARY="$here/build/sim/libhp54200a_sim.so"
exec "$here/build/app/hp54200a" "$@"
