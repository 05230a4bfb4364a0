#!/usr/bin/env bash
# The program on headless sway with the simulated receiver: press -> first key
# in a Wayland client over PRESSES presses (default 100), with a window switch
# per press. Prints min, p50, p99 and max.
#   bench/wayland_run.sh [BUILD_DIR] [PRESSES]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
export QV_BENCH_PRESSES=${2:-100}
exec tests/wayland/with-sway.sh --output "$build/bench/wayland_output" -- \
  "$build/bench/bench_wayland_latency"
