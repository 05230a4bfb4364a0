#!/usr/bin/env bash
# System test of the program's main job, run under tests/support/with-xvfb.sh
# with a window manager: the real quorvane --simulator, the quorvane-sim
# daemon and quorvane-keytarget clients. A simulated button press must end as
# the slot's key events in the target window, with the window that was active
# before active again afterwards; a minimised target is minimised again.
#   app_dispatch_test.sh QUORVANE QUORVANE-SIM QUORVANE-KEYTARGET
set -euo pipefail
quorvane=$1 sim=$2 keytarget=$3
work=$(mktemp -d)
# shellcheck source=/dev/null
source "$(dirname "$0")/../support/procs.sh"
remove_on_exit "$work"
sock=$XDG_RUNTIME_DIR/sim.sock

fail() { echo "FAIL: $*"; for f in "$work"/*.log; do echo "--- $f"; cat "$f"; done; exit 1; }
wait_for() { wait_for_line "$1" "$2" || fail "timed out waiting for '$2' in $1"; }
# The focus goes back after the keys were sent: wait for it, bounded.
active_is() {
  local _
  for _ in $(seq 1 100); do
    [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ] && return 0
    sleep 0.05
  done
  return 1
}
keys_of() { awk '/^(press|release) / {printf "%s%s %s", sep, $1, $2; sep=" "}' "$1"; }

"$sim" serve --socket "$sock" >"$work/sim.log" 2>&1 &
spawned_pids+=($!)
wait_for "$work/sim.log" '^ready'

"$keytarget" --class QvSysTarget --output "$work/target.log" &
spawned_pids+=($!)
wait_for "$work/target.log" '^ready'
"$keytarget" --class QvSysIconic --iconic --output "$work/iconic.log" &
spawned_pids+=($!)
wait_for "$work/iconic.log" '^ready'
"$keytarget" --class QvSysOther --output "$work/other.log" &
spawned_pids+=($!)
wait_for "$work/other.log" '^ready'
other=$(awk '/^ready/ {print $2; exit}' "$work/other.log")
iconic=$(awk '/^ready/ {print $2; exit}' "$work/iconic.log")
xdotool windowactivate --sync "$other"

printf '%s\r\n' '[General]' 'WindowChangeTime=1' \
  '[Remote1]' 'Pulse=12,34,56' 'Comment=to target' 'WindowName=qvsystarget' \
  'KeyList=D[SHIFT], DA, UA, U[SHIFT], D[RETURN], U[RETURN]' \
  '[Remote2]' 'Pulse=12,34,57' 'Comment=to iconic' 'WindowName=QvSysIconic' 'KeyList=DB, UB' \
  >"$work/Quorvane.ini"
"$quorvane" --simulator="$sock" --config "$work/Quorvane.ini" --debug 2>"$work/quorvane.log" &
qpid=$!
spawned_pids+=("$qpid")
wait_for "$work/quorvane.log" 'start-up done'

"$sim" --socket "$sock" press 12 34 56 >/dev/null
wait_for "$work/quorvane.log" 'receive-list: to target'
wait_for "$work/target.log" 'release Return'
[ "$(keys_of "$work/target.log")" = "press Shift_L press A release A release Shift_L press Return release Return" ] \
  || fail "target got: $(keys_of "$work/target.log")"
active_is "$other" || fail "the previously active window is not active again"
[ -z "$(keys_of "$work/other.log")" ] || fail "the other window got keys: $(keys_of "$work/other.log")"

"$sim" --socket "$sock" press 12 34 57 >/dev/null
wait_for "$work/quorvane.log" 'receive-list: to iconic'
wait_for "$work/iconic.log" 'release b'
[ "$(keys_of "$work/iconic.log")" = "press b release b" ] || fail "iconic target got: $(keys_of "$work/iconic.log")"
# The target is minimised again before the focus goes back.
active_is "$other" || fail "the previously active window is not active again (2)"
xprop -id "$iconic" _NET_WM_STATE | grep -q _NET_WM_STATE_HIDDEN || fail "the minimised target was not minimised again"

# Unplugged and plugged in again: the program follows the device events of the
# daemon, reconnects and polls again.
"$sim" --socket "$sock" unplug >/dev/null
"$sim" --socket "$sock" plug >/dev/null
"$sim" --socket "$sock" press 12 34 56 >/dev/null
for _ in $(seq 1 200); do
  [ "$(grep -c 'receive-list: to target' "$work/quorvane.log")" -ge 2 ] && break
  sleep 0.05
done
[ "$(grep -c 'receive-list: to target' "$work/quorvane.log")" -ge 2 ] || fail "no firing after the receiver came back"

kill -TERM "$qpid"
wait "$qpid" || fail "quorvane ended with status $?"
grep -q 'WindowChangeTime=1' "$work/Quorvane.ini" || fail "WindowChangeTime not written at exit"
echo PASS
