#!/usr/bin/env bash
# End to end on Windows, under Wine: quorvane.exe --simulator=tcp:... against the
# Linux simulator (run this under tests/win32/with-sim.sh, which names it in
# QV_SIM_TCP and QV_SIM_SOCKET), with target windows of the test
# (win32_keytarget.exe). A pressed button's keys must arrive in the slot's
# target window, a minimised target must be minimised again, the window that was
# in front must be in front again, the program must follow an unplug and a plug
# of the receiver, and closing the program must write WindowChangeTime.
#   e2e_dispatch_test.sh WINE-RUNNER QUORVANE.EXE WIN32_KEYTARGET.EXE QUORVANE-SIM
set -euo pipefail
wine_run=$1 quorvane=$2 keytarget=$3 sim=$4
: "${QV_SIM_TCP:?run under with-sim.sh}" "${QV_SIM_SOCKET:?run under with-sim.sh}"
# shellcheck source=tests/support/procs.sh
source "$(dirname "$0")/../support/procs.sh"
work=$(mktemp -d)
remove_on_exit "$work"

fail() {
  echo "FAIL: $*"
  for f in "$work"/*.log; do echo "--- $f"; cat "$f"; done
  exit 1
}
wait_for() { wait_for_line "$1" "$2" || fail "timed out waiting for '$2' in $1"; }
# The key messages a target reported, as "down 0x10 up 0x10 ...".
keys_of() { awk '/^key / {printf "%s%s %s", sep, $2, substr($3, 4); sep=" "}' "$1"; }
# Whether the window's last activation line says it is active, waited for (bounded).
active_again() {
  local _
  for _ in $(seq 1 200); do
    [ "$(grep '^active ' "$1" | tail -n 1)" = "active 1" ] &&
      [ "$(grep -c '^active 1' "$1")" -ge 2 ] && return 0
    sleep 0.05
  done
  return 1
}
sim_command() { "$sim" --socket "$QV_SIM_SOCKET" "$@" >/dev/null; }

# Every target reads a pipe that stays open until the end, and ends when it closes.
mkfifo "$work/hold"
exec 9<>"$work/hold"
start_target() { # CLASS LOG [OPTIONS...]
  local class=$1 log=$2
  shift 2
  spawn "$wine_run" "$keytarget" "$class" "$@" <"$work/hold" >"$log" 2>&1
  wait_for "$log" '^ready'
}
start_target QvE2ETarget "$work/target.log"
start_target QvE2EIconic "$work/iconic.log" --minimized
start_target QvE2EUser "$work/user.log" --foreground
wait_for "$work/user.log" '^active 1'

# No WindowChangeTime: the program uses 0 and writes it when it ends.
printf '%s\r\n' '[Remote1]' 'Pulse=12,34,56' 'Comment=to target' 'WindowName=qve2etarget' \
  'KeyList=D[SHIFT], DA, UA, U[SHIFT], D[RETURN], U[RETURN]' \
  '[Remote2]' 'Pulse=12,34,57' 'Comment=to iconic' 'WindowName=QvE2EIconic' 'KeyList=DB, UB' \
  >"$work/Quorvane.ini"
"$wine_run" "$quorvane" --simulator="$QV_SIM_TCP" --config "Z:$work/Quorvane.ini" --debug \
  >"$work/quorvane.log" 2>&1 &
qpid=$!
spawned_pids+=("$qpid")
wait_for "$work/quorvane.log" 'start-up done'

sim_command press 12 34 56
wait_for "$work/quorvane.log" 'receive-list: to target'
wait_for "$work/target.log" '^key up vk=0x0d'
[ "$(keys_of "$work/target.log")" = "down 0x10 down 0x41 up 0x41 up 0x10 down 0x0d up 0x0d" ] ||
  fail "the target got: $(keys_of "$work/target.log")"
active_again "$work/user.log" || fail "the window that was in front is not in front again"
[ -z "$(keys_of "$work/user.log")" ] || fail "the user's window got keys: $(keys_of "$work/user.log")"

sim_command press 12 34 57
wait_for "$work/quorvane.log" 'receive-list: to iconic'
wait_for "$work/iconic.log" '^key up vk=0x42'
[ "$(keys_of "$work/iconic.log")" = "down 0x42 up 0x42" ] ||
  fail "the minimised target got: $(keys_of "$work/iconic.log")"
[ "$(grep '^size ' "$work/iconic.log" | tail -n 1)" = "size minimized" ] ||
  fail "the minimised target was not minimised again"
grep -q '^size normal' "$work/iconic.log" || fail "the minimised target was not restored for the keys"

# Unplugged and plugged in again: the program follows the simulator's device
# events over TCP, connects again and polls again.
sim_command unplug
sim_command plug
sim_command press 12 34 56
for _ in $(seq 1 200); do
  [ "$(grep -c 'receive-list: to target' "$work/quorvane.log")" -ge 2 ] && break
  sleep 0.05
done
[ "$(grep -c 'receive-list: to target' "$work/quorvane.log")" -ge 2 ] ||
  fail "no firing after the receiver came back"

# Closing the program (taskkill sends WM_CLOSE, as closing its window does).
"$wine_run" taskkill /im quorvane.exe >/dev/null 2>&1 || true
wait "$qpid" || fail "quorvane.exe ended with status $?"
grep -q 'exit done' "$work/quorvane.log" || fail "the program did not go through its exit"
grep -q '^WindowChangeTime=0' "$work/Quorvane.ini" || fail "WindowChangeTime not written at exit"
echo PASS
