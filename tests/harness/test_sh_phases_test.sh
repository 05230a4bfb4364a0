#!/usr/bin/env bash
# scripts/test.sh reports every phase and goes on after a failed one:
#  - a phase made to fail (QUORVANE_FAIL_PHASE) is named in the summary and as
#    FAILED, the later phase still runs for real, and the exit status is 1;
#  - a failed build skips the phases that need it, with that reason;
#  - an unknown phase name is a usage error.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$(mktemp)
trap 'rm -f "$out"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

expect_line() {  # PATTERN WHAT
  grep -Eq "$1" "$out" || fail "$2 (no line matching '$1')"
}

# deps fails on request; lint, a later phase, runs for real (without its
# naming check, which a fresh tree spends minutes on).
set +e
QUORVANE_NAMING=0 QUORVANE_PHASES="deps lint" QUORVANE_FAIL_PHASE=deps "$root/scripts/test.sh" >"$out" 2>&1
rc=$?
set -e
((rc == 1)) || fail "a failed phase gave exit status $rc, not 1"
expect_line '^test: deps +failed ' "the failed phase is reported failed"
expect_line '^test: lint +passed +checked [0-9]+ C\+\+ files' "the later phase ran and passed"
expect_line '^test: ctest +skipped +not selected' "an unselected phase is reported skipped"
expect_line '^test: FAILED: deps$' "the last line names the failed phase"
for p in deps lint build ctest fuzz package windows; do
  [ "$(grep -Ec "^test: $p " "$out")" = 1 ] || fail "the summary has no single line for $p"
done

# A failed build skips what needs it and nothing else.
set +e
QUORVANE_PHASES="build ctest" QUORVANE_FAIL_PHASE=build "$root/scripts/test.sh" >"$out" 2>&1
rc=$?
set -e
((rc == 1)) || fail "a failed build gave exit status $rc, not 1"
expect_line '^test: build +failed ' "the build is reported failed"
expect_line '^test: ctest +skipped +the build failed' "ctest is skipped because of the build"

set +e
QUORVANE_PHASES="lint nonsense" "$root/scripts/test.sh" >"$out" 2>&1
rc=$?
set -e
((rc == 2)) || fail "an unknown phase gave exit status $rc, not 2"

if ((failures)); then
  echo "--- the last run's output:" >&2
  cat "$out" >&2
  exit 1
fi
echo "PASS: test.sh reports each phase and goes on after a failed one"
