#!/usr/bin/env bash
# Builds and runs the whole test suite twice: a normal build, then a build with
# AddressSanitizer and UndefinedBehaviorSanitizer. Exits non-zero on any failure or finding.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)

# Optimised without debug information: the test programs compile much faster that way.
"$here/scripts/setup.sh" "$here/build-test" -DCMAKE_BUILD_TYPE=Release -DHP_BENCH=OFF \
  -DCMAKE_CXX_FLAGS_RELEASE="-O2"
(cd "$here/build-test" && ctest --output-on-failure -j "$jobs")

"$here/scripts/setup.sh" "$here/build-asan" -DHP_SANITIZE=ON -DHP_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O1 -g1"
(cd "$here/build-asan" && ctest --output-on-failure -j "$jobs")
