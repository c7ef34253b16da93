#!/usr/bin/env bash
# Builds and runs the whole test suite twice: a normal build, then a build with
# AddressSanitizer and UndefinedBehaviorSanitizer. Exits non-zero on any failure or finding.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)

"$here/scripts/setup.sh" "$here/build"
(cd "$here/build" && ctest --output-on-failure -j "$jobs")

"$here/scripts/setup.sh" "$here/build-asan" -DHP_SANITIZE=ON -DHP_BENCH=OFF
(cd "$here/build-asan" && ctest --output-on-failure -j "$jobs")
