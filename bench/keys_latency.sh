#!/usr/bin/env bash
# Keystroke-output latency on a private Xvfb: SendKeyList vs. xdotool, first
# without a window manager, then under openbox (which adds the dispatch with
# window activation); then the Wayland virtual keyboard on a headless sway,
# on the US and the Japanese layout (skipped where sway cannot run).
#   bench/keys_latency.sh [build-dir] [rounds]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${2:-30}
echo "== Xvfb, no window manager"
tests/support/with-xvfb.sh --wm none -- "$build/bench/bench_keys_latency" "$rounds"
echo
echo "== Xvfb, openbox"
tests/support/with-xvfb.sh --wm openbox -- "$build/bench/bench_keys_latency" "$rounds"
echo
echo "== headless sway, virtual keyboard"
status=0
tests/wayland/with-sway.sh -- "$(cd "$build" && pwd)/bench/bench_virtual_keyboard_latency" "$rounds" ||
  status=$?
if [ "$status" -eq 77 ]; then
  echo "(skipped: sway cannot run here)"
elif [ "$status" -ne 0 ]; then
  exit "$status"
fi
