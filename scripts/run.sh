#!/usr/bin/env bash
# Builds the program and the simulated scope (nothing else) and starts the program against it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  cat >&2 <<'MSG'
run.sh: no display. The program is a desktop window: run this from a graphical session (DISPLAY
or WAYLAND_DISPLAY set), or choose a Qt platform yourself, e.g. QT_QPA_PLATFORM=offscreen, or
start a virtual display: Xvfb :1 & DISPLAY=:1 scripts/run.sh
MSG
  exit 1
fi
"$here/scripts/setup.sh" --for run --targets "hp54200a hp54200a_sim" "$here/build" -DBUILD_TESTING=OFF -DHP_VXI11=OFF \
  -DCMAKE_BUILD_TYPE=Release
mkdir -p "$HOME/junk"   # the text data files go there; the program does not create it
export GPIB_LIBRARY="$here/build/sim/libhp54200a_sim.so"
exec "$here/build/app/hp54200a" "$@"
