#!/usr/bin/env bash
# Builds Quorvane with warnings as errors and runs every test, phase by phase:
#   deps     missing build dependencies installed from Debian's packages
#   lint     clang-format, shellcheck and the naming check (scripts/lint.sh)
#   build    the Linux tree in build/
#   ctest    unit, integration, system, Wayland and package-file tests (each
#            system test on its own Xvfb, the Wayland ones in a headless
#            session of their own, skipped with the reason where it cannot run)
#   fuzz     a short run of every fuzzer from its seed corpus
#   package  the Debian package built, installed, tested and removed
#   windows  quorvane.exe cross-built with MinGW-w64, its tests under Wine
# A failed phase does not stop the later ones; only the phases that need the
# Linux build are skipped when it failed. The end is one line per phase
# (passed, failed or skipped, with its counts), and the exit status is non-zero
# when any phase failed. Extra arguments go to ctest.
#
# Switches:
#   QUORVANE_PHASES="lint ctest"   run only these phases (the others: skipped)
#   QUORVANE_FAIL_PHASE=NAME       make phase NAME fail without running it (to
#                                  check this script's own reporting)
#   QUORVANE_SKIP_PACKAGE_TEST=1   leave the package phase out: it installs and
#                                  removes a package on this machine
#   QUORVANE_WINDOWS=0             leave the Windows phase out
#   QUORVANE_NAMING=0              leave lint's naming check out (its first run
#                                  on a fresh tree parses every source: minutes)
#   QUORVANE_BUILD_DIR=DIR         the Linux build tree (default build)
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2

build=${QUORVANE_BUILD_DIR:-build}
all_phases=(deps lint build ctest fuzz package windows)
selected=" ${QUORVANE_PHASES:-${all_phases[*]}} "
fail_phase=${QUORVANE_FAIL_PHASE:-}
for p in $selected; do
  case " ${all_phases[*]} " in
    *" $p "*) ;;
    *) echo "test: no phase $p (phases: ${all_phases[*]})" >&2; exit 2 ;;
  esac
done

logs=$(mktemp -d "${TMPDIR:-/tmp}/quorvane-test-logs.XXXXXX")
trap 'rm -rf "$logs"' EXIT

declare -A outcome=() counts=()
failed_any=0

# phase NAME COUNTER -- COMMAND...: runs COMMAND with its output shown and kept,
# records passed or failed, and asks COUNTER for the phase's counts.
phase() {
  local name=$1 counter=$2
  shift 3
  echo
  echo "==== test: phase $name ===================================================="
  local rc
  if [ "$name" = "$fail_phase" ]; then
    echo "test: phase $name fails on request (QUORVANE_FAIL_PHASE)" | tee "$logs/$name.log"
    rc=1
  else
    "$@" 2>&1 | tee "$logs/$name.log"
    rc=${PIPESTATUS[0]}
  fi
  counts[$name]=$("$counter" "$logs/$name.log" 2>/dev/null || true)
  if ((rc == 0)); then
    outcome[$name]=passed
  else
    outcome[$name]=failed
    counts[$name]="${counts[$name]:+${counts[$name]}; }exit status $rc"
    failed_any=1
  fi
}

skip_phase() {
  outcome[$1]=skipped
  counts[$1]=$2
}

wanted() { [[ "$selected" == *" $1 "* ]]; }

no_counts() { :; }

# "N passed, M failed, K skipped of T" from a ctest run's summary.
ctest_counts() {
  local log=$1 total failed skipped
  total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)
  [ -n "$total" ] || return 0
  failed=$(sed -n 's/.* \([0-9]*\) tests\{0,1\} failed out of.*/\1/p' "$log" | tail -n 1)
  skipped=$(grep -c '(Skipped)$' "$log" || true)
  echo "$((total - failed - skipped)) passed, $failed failed, $skipped skipped of $total"
}

lint_counts() { sed -n 's/^lint: checked /checked /p' "$1" | tail -n 1; }

fuzz_counts() {
  local ran failed
  ran=$(grep -c '^fuzz.sh: .* runs in ' "$1" || true)
  failed=$(grep -c '^fuzz.sh: .* FAILED' "$1" || true)
  echo "$ran of $((ran + failed)) fuzzers ran clean"
}

package_counts() { sed -n 's/^package: \([0-9]* passed, [0-9]* failed\)$/\1/p' "$1" | tail -n 1; }

build_counts() {
  grep -q 'ninja: no work to do' "$1" && { echo "up to date"; return; }
  sed -n 's/^\[\([0-9]*\)\/\([0-9]*\)\].*/\2 steps/p' "$1" | tail -n 1
}

# ---- the phases ----------------------------------------------------------------

if wanted deps; then
  phase deps no_counts -- scripts/install-deps.sh
else
  skip_phase deps "not selected"
fi

if wanted lint; then
  phase lint lint_counts -- scripts/lint.sh
else
  skip_phase lint "not selected"
fi

configure_and_build() {
  cmake -S . -B "$build" -G Ninja -DQUORVANE_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
    cmake --build "$build"
}
if wanted build; then
  phase build build_counts -- configure_and_build
else
  skip_phase build "not selected"
fi

if ! wanted ctest; then
  skip_phase ctest "not selected"
elif [ "${outcome[build]}" = failed ]; then
  skip_phase ctest "the build failed"
else
  phase ctest ctest_counts -- \
    ctest --test-dir "$build" --output-on-failure --timeout 300 -j "$(nproc)" "$@"
fi

# Every fuzzer for a short while from its seed corpus: a regression in a parser
# of outside input shows up here (scripts/fuzz.sh TARGET SECONDS runs longer).
# It builds its own tree with clang (build-fuzz/).
if wanted fuzz; then
  phase fuzz fuzz_counts -- scripts/fuzz.sh all 10
else
  skip_phase fuzz "not selected"
fi

# The Debian package: built (its own tree, build/deb), linted, installed,
# smoke-tested from /usr/bin and removed again. It changes this machine: CI
# runs it on a throw-away machine.
if ! wanted package; then
  skip_phase package "not selected"
elif [ -n "${QUORVANE_SKIP_PACKAGE_TEST:-}" ]; then
  skip_phase package "QUORVANE_SKIP_PACKAGE_TEST is set"
else
  phase package package_counts -- tests/package/package_test.sh
fi

# quorvane.exe cross-built with MinGW-w64 (build-windows/), its tests under
# Wine, the zip.
if ! wanted windows; then
  skip_phase windows "not selected"
elif [ "${QUORVANE_WINDOWS:-1}" = 0 ]; then
  skip_phase windows "QUORVANE_WINDOWS=0"
else
  phase windows ctest_counts -- scripts/windows-test.sh
fi

# ---- the summary ---------------------------------------------------------------
echo
echo "==== test: summary ========================================================"
for p in "${all_phases[@]}"; do
  printf 'test: %-8s %-8s %s\n' "$p" "${outcome[$p]}" "${counts[$p]:-}"
done
if ((failed_any)); then
  failed_list=()
  for p in "${all_phases[@]}"; do
    [ "${outcome[$p]}" = failed ] && failed_list+=("$p")
  done
  echo "test: FAILED: ${failed_list[*]}"
  exit 1
fi
echo "test: all selected phases passed"
