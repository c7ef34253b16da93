#!/usr/bin/env bash
# Builds and runs the whole test suite twice: a normal build, then a build with
# AddressSanitizer and UndefinedBehaviorSanitizer; in between, the fuzz targets are built with
# the main compiler and replay their corpus. Then the Windows part: the Windows build's suites,
# a capture compared with the Linux program's and the installer, under wine
# (scripts/test-windows.sh). Exits non-zero on any failure or finding.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
# shellcheck source=scripts/tally.sh
source "$here/scripts/tally.sh"

# Runs one build's suite with a banner before and a one-line summary after.
run_suite() {
  local name=$1 dir=$2 log rc=0 counts p f
  echo
  echo "======== $name: running the suite in ${dir#$here/} ========"
  log=$(mktemp)
  (cd "$dir" && ctest --output-on-failure -j "$jobs") 2>&1 | tee "$log" || rc=$?
  counts=$(counts_of "$log")
  rm -f "$log"
  add_counts "$counts"
  read -r p f <<<"$counts"
  echo "======== $name: $p of $((p + f)) tests passed ========"
  return "$rc"
}

# Ninja keeps both cores busy across the many small test programs better than make does.
common=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr)
# A folder configured earlier with another generator is configured afresh.
for d in build-test build-asan build-fuzz; do
  if [ -f "$here/$d/CMakeCache.txt" ] && ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "$here/$d/CMakeCache.txt"; then
    rm -rf "${here:?}/$d"
  fi
done
status=0

# Optimised without debug information: the test programs compile much faster that way. The
# program's libraries in a unity build, as scripts/run.sh builds them, so that two files of one
# library defining the same name break here and not only in a user's first run; the sanitizer
# build below compiles each file on its own.
"$here/scripts/setup.sh" --for test "$here/build-test" "${common[@]}" -DCMAKE_CXX_FLAGS_RELEASE="-O2" \
  -DCMAKE_UNITY_BUILD=ON
run_suite "normal build" "$here/build-test" || status=1

# The fuzz targets with the main compiler: they replay their seed corpus once, so that a change
# to the link they drive cannot leave them unbuildable.
echo
echo "======== fuzz targets: built with $(c++ --version | head -1), replaying the corpus ========"
# (Unoptimised: only whether they build and run matters here.)
cmake -S "$here/fuzz" -B "$here/build-fuzz" -G Ninja -DCMAKE_BUILD_TYPE= >/dev/null
cmake --build "$here/build-fuzz" -j "$jobs"
"$here/build-fuzz/fuzz_preamble" "$here/fuzz/corpus/preamble"
"$here/build-fuzz/fuzz_reply_trim" "$here/fuzz/corpus/reply_trim"
"$here/build-fuzz/fuzz_saved_csv" "$here/fuzz/corpus/saved_csv"
"$here/build-fuzz/fuzz_saved_text" "$here/fuzz/corpus/saved_text"

"$here/scripts/setup.sh" --for test "$here/build-asan" "${common[@]}" -DHP_SANITIZE=ON \
  -DCMAKE_CXX_FLAGS_RELEASE="-O1 -g1"
run_suite "ASan+UBSan build" "$here/build-asan" || status=1

echo
log=$(mktemp)
"$here/scripts/test-windows.sh" "$here/build-test" 2>&1 | tee "$log" || status=1
counts=$(counts_of "$log" windows)
rm -f "$log"
add_counts "$counts"
[ "${counts#* }" -eq 0 ] || status=1

echo
# All parts together, in the plain form CI reads.
echo "total: $passed passed, $failed failed"
exit "$status"
