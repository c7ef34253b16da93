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

# The fuzz targets with the main compiler: they replay their seed corpus once, so that a change
# to the link they drive cannot leave them unbuildable.
cmake -S "$here/fuzz" -B "$here/build-fuzz" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$here/build-fuzz" -j "$jobs"
"$here/build-fuzz/fuzz_preamble" "$here/fuzz/corpus/preamble"
"$here/build-fuzz/fuzz_reply_trim" "$here/fuzz/corpus/reply_trim"

"$here/scripts/setup.sh" "$here/build-asan" -DHP_SANITIZE=ON -DHP_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O1 -g1"
(cd "$here/build-asan" && ctest --output-on-failure -j "$jobs")
