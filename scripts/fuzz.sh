#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer (in build-fuzz/) and runs them, one after the
# other, each for SECONDS, starting from its committed seed corpus
# fuzz/corpus/TARGET/.
#
#   scripts/fuzz.sh [TARGET|all] [SECONDS]     (defaults: all, 60)
#
# New inputs are kept in build-fuzz/corpus/TARGET/ (not committed), so later runs
# go on from there. A crash, a sanitizer finding or a failed check stops the run:
# the input is saved as build-fuzz/crashes/TARGET-crash-*, the end of the
# fuzzer's log is printed, and the script fails. Reproduce it with
#   build-fuzz/fuzz/TARGET build-fuzz/crashes/TARGET-crash-...
set -euo pipefail
cd "$(dirname "$0")/.."

which=${1:-all}
seconds=${2:-60}
build=${QUORVANE_FUZZ_BUILD_DIR:-build-fuzz}

targets=()
for dir in fuzz/corpus/*/; do
  targets+=("$(basename "$dir")")
done
if [ "$which" != all ]; then
  found=0
  for t in "${targets[@]}"; do
    if [ "$t" = "$which" ]; then found=1; fi
  done
  if [ "$found" -eq 0 ]; then
    echo "fuzz.sh: no target $which (targets: ${targets[*]})" >&2
    exit 2
  fi
  targets=("$which")
fi
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "fuzz.sh: SECONDS must be a whole number above 0, not $seconds" >&2
  exit 2
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DQUORVANE_FUZZ=ON \
    -DQUORVANE_WERROR=ON -DQUORVANE_BUILD_TESTS=OFF -DQUORVANE_BUILD_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
# Two jobs: the machines this runs on are small and shared.
cmake --build "$build" --parallel 2 --target "${targets[@]}"

# Readable stack traces, and every finding fatal.
if [ -x /usr/lib/llvm-14/bin/llvm-symbolizer ]; then
  export ASAN_SYMBOLIZER_PATH=/usr/lib/llvm-14/bin/llvm-symbolizer
fi
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

mkdir -p "$build/crashes" "$build/logs"
status=0
for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t"
  log="$build/logs/$t.log"
  if "$build/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$build/crashes/$t-" \
      "$build/corpus/$t" "fuzz/corpus/$t" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    printf 'fuzz.sh: %-24s %9s runs in %ss, %s runs/s\n' "$t" "$runs" "$seconds" "$rate"
  else
    echo "fuzz.sh: $t FAILED; the end of $log:" >&2
    tail -n 60 "$log" >&2
    status=1
  fi
done
exit "$status"
