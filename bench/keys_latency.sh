#!/usr/bin/env bash
# Keystroke-output latency on a private Xvfb: SendKeyList vs. xdotool.
#   bench/keys_latency.sh [build-dir] [rounds]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${2:-30}
exec tests/support/with-xvfb.sh -- "$build/bench/bench_keys_latency" "$rounds"
