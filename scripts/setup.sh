#!/usr/bin/env bash
# Installs the Debian packages a task needs (only the missing ones), then configures and builds
# into the given folder with the given CMake options.
# Usage: scripts/setup.sh [--for run|test|bench] [--targets "t1 t2"] BUILD_DIR [cmake options...]
#   run    the program, the simulated scope and the interface drivers (the default)
#   test   also GoogleTest, the tools the tests drive (Xvfb, xclip, libwmf, packaging tools,
#          rsvg-convert and poppler's tools for the saved pictures)
#   bench  also Google Benchmark (and GoogleTest: the drivers' benchmarks use the tests' fakes)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
purpose=run
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --for) purpose=$2; shift 2 ;;
    --targets) read -ra targets <<<"$2"; shift 2 ;;
    *) break ;;
  esac
done
build=${1:?build folder}
shift

# The program, its simulated scope and its interface drivers (the VXI-11 one needs libtirpc and
# rpcgen); Qt SVG for the picture saved as SVG.
packages=(cmake g++ make ninja-build pkg-config qt6-base-dev qt6-svg-dev libgl-dev
          fonts-liberation2 fontconfig libtirpc-dev rpcsvc-proto)
case "$purpose" in
  run) ;;
  test) packages+=(libgtest-dev libgmock-dev libwmf-bin xvfb xclip x11-utils
                   dpkg-dev file desktop-file-utils groff-base lintian libtirpc-dev rpcsvc-proto
                   librsvg2-bin poppler-utils) ;;
  bench) packages+=(libbenchmark-dev libgtest-dev libgmock-dev libtirpc-dev rpcsvc-proto) ;;
  *) echo "setup.sh: --for run, test or bench" >&2; exit 2 ;;
esac
"$here/scripts/install-missing.sh" "${packages[@]}"

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
if [ ${#targets[@]} -gt 0 ]; then
  cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"
else
  cmake --build "$build" -j "$(nproc)"
fi
