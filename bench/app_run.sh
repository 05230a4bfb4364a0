#!/usr/bin/env bash
# End-to-end figures of the program on the simulated receiver:
#  - latency from a simulated button press to the target client's first
#    KeyPress, over 200 presses, with the target already in the foreground and
#    with another window in the foreground (activation there and back);
#  - CPU and resident memory of the idle program, receiver connected, 60 s;
#  - time from start to the end of start-up (tray icon added), with no slots
#    and with a 1000-slot configuration.
# Usage: bench/app_run.sh [BUILD_DIR]   (default: build; targets quorvane,
# quorvane-sim, quorvane-keytarget and quorvane-app-bench must be built).
# Runs on a private Xvfb with icewm.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
if [ -z "${QV_BENCH_INSIDE:-}" ]; then
  export QV_BENCH_INSIDE=1
  exec tests/support/with-xvfb.sh --wm icewm -- "$0" "$build"
fi

quorvane=$build/src/app/quorvane
sim=$build/sim/quorvane-sim
keytarget=$build/tools/quorvane-keytarget
bench=$build/bench/quorvane-app-bench
work=$(mktemp -d)
# shellcheck source=/dev/null
source "$(dirname "$0")/../tests/support/procs.sh"
remove_on_exit "$work"
wait_for() {
  wait_for_line "$1" "$2" || { echo "timed out waiting for '$2' in $1" >&2; exit 1; }
}
sock=$XDG_RUNTIME_DIR/sim.sock

"$sim" serve --socket "$sock" >"$work/sim.log" 2>&1 &
spawned_pids+=($!)
wait_for "$work/sim.log" '^ready'
"$keytarget" --class QvBenchTarget --output "$work/target.log" &
spawned_pids+=($!)
wait_for "$work/target.log" '^ready'
target=$(awk '/^ready/ {print $2; exit}' "$work/target.log")
"$keytarget" --class QvBenchOther --output "$work/other.log" &
spawned_pids+=($!)
wait_for "$work/other.log" '^ready'
other=$(awk '/^ready/ {print $2; exit}' "$work/other.log")

printf '%s\r\n' '[General]' 'WindowChangeTime=0' '[Remote1]' 'Pulse=12,34,56' 'Comment=bench' \
  'WindowName=QvBenchTarget' 'KeyList=DA, UA' >"$work/Quorvane.ini"
"$quorvane" --simulator="$sock" --config "$work/Quorvane.ini" --debug 2>"$work/quorvane.log" &
qpid=$!
wait_for "$work/quorvane.log" 'start-up done'

echo "== target already in the foreground"
xdotool windowactivate --sync "$target"
"$bench" latency "$sock" "$work/target.log" 200
echo "== another window in the foreground (activate the target, send, activate back)"
xdotool windowactivate --sync "$other"
"$bench" latency "$sock" "$work/target.log" 200
kill -TERM "$qpid"; wait "$qpid" || true

echo "== idle"
"$bench" idle 60 "$quorvane" --simulator="$sock" --config "$work/Quorvane.ini" --debug

echo "== start-up without slots"
rm -f "$work/empty.ini"
"$bench" startup 10 "$quorvane" --simulator="$sock" --config "$work/empty.ini" --debug
echo "== start-up with 1000 slots"
{
  for n in $(seq 1 1000); do
    printf '[Remote%d]\r\nPulse=%02d,%02d,%02d\r\nComment=slot %d コメント\r\nAdjustTime=1\r\nWindowName=QvBenchTarget\r\nKeyList=D[CTRL], DC, UC, U[CTRL]\r\n' \
      "$n" $((n % 250 + 1)) $((n / 250)) 7 "$n"
  done
} >"$work/big.ini"
"$bench" startup 10 "$quorvane" --simulator="$sock" --config "$work/big.ini" --debug
