#!/usr/bin/env bash
# Makes docs/screenshot.png: the program under Xvfb against the simulated scope, with both
# channels' waveforms and spectra shown.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh" "$here/build"
display=:97
Xvfb "$display" -screen 0 1600x1200x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done
mkdir -p "$here/docs"
DISPLAY=$display QT_QPA_PLATFORM=xcb GPIB_LIBRARY="$here/build/sim/libhp54200a_sim.so" \
  "$here/build/hp54200a_screenshot" "$here/docs/screenshot.png"
echo "wrote docs/screenshot.png"
