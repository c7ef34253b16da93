#!/usr/bin/env bash
# Makes docs/screenshot.png: the program under Xvfb against the simulated scope, with both
# channels' waveforms and spectra shown; and docs/connection-dialog.png: the Connection dialog
# after Find the scope found the simulated scope at address 9.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh" --for test --targets "hp54200a_screenshot hp54200a_sim" "$here/build"
display=:97
Xvfb "$display" -screen 0 1600x1200x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done
mkdir -p "$here/docs"
# The same picture every time: the simulator's defaults (no HP_SIM_* setting from the caller's
# shell), one locale for the titles' decimal separator, no cursor on the screen.
unset $(env | grep -o '^HP_SIM_[A-Z0-9_]*' || true)
DISPLAY=$display QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 LANG=C.UTF-8 \
  GPIB_LIBRARY="$here/build/sim/libhp54200a_sim.so" \
  "$here/build/hp54200a_screenshot" "$here/docs/screenshot.png" "$here/docs/connection-dialog.png"
echo "wrote docs/screenshot.png and docs/connection-dialog.png"
