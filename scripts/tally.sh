# shellcheck shell=bash
# Sourced by the test scripts: the counts of passed and failed checks, and how a count is read
# back from CTest's summary or from a script's last line "NAME: P passed, F failed".
passed=0
failed=0
# Where a check's command writes its output (empty: to the terminal).
check_log=

# check WHAT COMMAND...: runs the command, counts it, and reports "ok" or "FAIL" with WHAT.
check() {
  local what=$1 rc=0
  shift
  if [ -n "$check_log" ]; then
    "$@" >>"$check_log" 2>&1 || rc=$?
  else
    "$@" || rc=$?
  fi
  if [ "$rc" -eq 0 ]; then
    echo "  ok    $what"
    passed=$((passed + 1))
  else
    echo "  FAIL  $what"
    failed=$((failed + 1))
  fi
}

# counts_of LOG [NAME]: "P F", the passed and failed of CTest's summary in LOG, or of LOG's line
# "NAME: P passed, F failed"; "0 1" when there is no such line (the run ended before it).
counts_of() {
  local line total bad
  if [ $# -eq 1 ]; then
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -1 || true)
    [ -n "$line" ] || { echo "0 1"; return; }
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    bad=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
    echo "$((total - bad)) $bad"
  else
    line=$(grep -E "^$2: [0-9]+ passed, [0-9]+ failed" "$1" | tail -1 || true)
    [ -n "$line" ] || { echo "0 1"; return; }
    sed -E 's/^[^:]*: ([0-9]+) passed, ([0-9]+) failed.*/\1 \2/' <<<"$line"
  fi
}

# add_counts "P F": adds a count to the tally.
add_counts() {
  local p f
  read -r p f <<<"$1"
  passed=$((passed + p))
  failed=$((failed + f))
}
