#!/usr/bin/env bash
# System test, run under tests/support/with-xvfb.sh with a window manager: the
# shown window keeps answering the window manager's _NET_WM_PING while the
# simulated receiver stops answering for 3 s (every transfer then takes its
# full second), and a button pressed after the fault clears still fires.
#   app_ping_test.sh QUORVANE QUORVANE-SIM QUORVANE-PINGPROBE
set -euo pipefail
quorvane=$1 sim=$2 probe=$3
work=$(mktemp -d)
# shellcheck source=/dev/null
source "$(dirname "$0")/../support/procs.sh"
remove_on_exit "$work"
sock=$XDG_RUNTIME_DIR/sim.sock
# Well above the 100 ms the window is held to, so a loaded machine does not
# fail the test; the figure itself is printed.
limit_ms=${PING_LIMIT_MS:-500}

fail() { echo "FAIL: $*"; for f in "$work"/*.log; do echo "--- $f"; cat "$f"; done; exit 1; }
wait_for() { wait_for_line "$1" "$2" || fail "timed out waiting for '$2' in $1"; }

"$sim" serve --socket "$sock" >"$work/sim.log" 2>&1 &
spawned_pids+=($!)
wait_for "$work/sim.log" '^ready'

printf '%s\r\n' '[Remote1]' 'Pulse=12,34,56' 'Comment=after the silence' 'KeyList=' \
  >"$work/Quorvane.ini"
"$quorvane" --simulator="$sock" --config "$work/Quorvane.ini" --debug --show 2>"$work/quorvane.log" &
qpid=$!
spawned_pids+=("$qpid")
wait_for "$work/quorvane.log" 'start-up done'

window=""
for _ in $(seq 1 100); do
  window=$(xdotool search --all --onlyvisible --name '^Quorvane$' 2>/dev/null | head -n 1 || true)
  [ -n "$window" ] && break
  sleep 0.05
done
[ -n "$window" ] || fail "the window was not shown"

"$probe" --window "$window" --count 5 --interval-ms 50 >"$work/before.log" \
  || fail "the window did not answer before the fault"

"$sim" --socket "$sock" fault silence >/dev/null
# 30 pings over 3 s, while the receiver thread waits out one silent transfer after another.
"$probe" --window "$window" --count 30 --interval-ms 100 --timeout-ms 4000 >"$work/during.log" \
  || fail "a ping went unanswered while the receiver was silent"
"$sim" --socket "$sock" fault clear >/dev/null

worst=$(awk '/^max/ {print $2}' "$work/during.log")
echo "ping round trip with a silent receiver: max ${worst} ms (before: $(awk '/^max/ {print $2}' "$work/before.log") ms)"
awk -v w="$worst" -v l="$limit_ms" 'BEGIN { exit !(w + 0 < l + 0) }' \
  || fail "the window answered a ping only after ${worst} ms"

"$sim" --socket "$sock" press 12 34 56 >/dev/null
wait_for "$work/quorvane.log" 'receive-list: after the silence'

kill -TERM "$qpid"
wait "$qpid" || fail "quorvane ended with status $?"
echo PASS
