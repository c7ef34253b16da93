#!/usr/bin/env bash
# Builds the program, the simulated scope and every interface driver (no tests) and starts the
# program: against the simulated scope, or through the interface that the arguments name
# (scripts/run.sh --resource PRLGX-ASRL::/dev/ttyUSB0::INTFC --address 5).
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
# Ninja, and each library compiled as one unit (the Qt and standard headers parsed once per
# library, not once per file): the first build from a fresh clone takes a third less time. A
# build folder made earlier with another generator is configured afresh.
if [ -f "$here/build/CMakeCache.txt" ] &&
  ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "$here/build/CMakeCache.txt"; then
  rm -rf "${here:?}/build"
fi
drivers="gpib_prologix gpib_vxi11 gpib_visa gpib_usbtmc"
"$here/scripts/setup.sh" --for run --targets "hp54200a hp54200a_sim $drivers" \
  "$here/build" -G Ninja -DBUILD_TESTING=OFF -DHP_VXI11=ON -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_UNITY_BUILD=ON
mkdir -p "$HOME/junk"   # the text data files go there; the program does not create it
case " $* " in
  *" --resource "*) exec "$here/build/app/hp54200a" "$@" ;;
  *) exec "$here/build/app/hp54200a" --resource SIM::5::INSTR "$@" ;;
esac
