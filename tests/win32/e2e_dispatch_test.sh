#!/usr/bin/env bash
# End to end on Windows, under Wine: quorvane.exe --simulator=tcp:... against the
# Linux simulator (run this under tests/win32/with-sim.sh, which names it in
# QV_SIM_TCP and QV_SIM_SOCKET), with target windows of the test
# (win32_keytarget.exe). What tests/win32ui/exe_end_to_end_test.sh leaves out:
# a minimised target is brought forward for the keys and minimised again while
# the window that was in front comes back; the program follows an unplug and a
# plug of the receiver (the simulator's device events over TCP); closing the
# program (WM_CLOSE) writes WindowChangeTime, which the file did not hold.
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
# The key messages a target reported, as "down 0x10 up 0x10 ..." (Windows
# programs end their lines in CR LF).
keys_of() { tr -d '\r' <"$1" | awk '/^key / {printf "%s%s %s", sep, $2, substr($3, 4); sep=" "}'; }
last_line() { tr -d '\r' <"$2" | grep "^$1 " | tail -n 1 | cut -d" " -f1-2; }
# Whether the window's last activation line says it is active, waited for (bounded).
active_again() {
  local _
  for _ in $(seq 1 200); do
    [ "$(last_line active "$1")" = "active 1" ] &&
      [ "$(grep -c '^active 0' "$1")" -ge 1 ] && return 0
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
  # Started here, not through spawn: a job started in the background inside a
  # function reads /dev/null, and the target would end at once.
  "$wine_run" "$keytarget" "$class" "$@" <"$work/hold" >"$log" 2>&1 &
  spawned_pids+=($!)
  wait_for "$log" '^ready'
}
start_target QvE2EIconic "$work/iconic.log" --minimized

# No WindowChangeTime: the program uses 0 and writes it when it ends.
printf '%s\r\n' '[Remote1]' 'Pulse=12,34,57' 'Comment=to iconic' 'WindowName=qve2eiconic' \
  'KeyList=D[SHIFT], DB, UB, U[SHIFT]' >"$work/Quorvane.ini"
"$wine_run" "$quorvane" --simulator="$QV_SIM_TCP" --config "Z:$work/Quorvane.ini" --debug \
  >"$work/quorvane.log" 2>&1 &
qpid=$!
spawned_pids+=("$qpid")
wait_for "$work/quorvane.log" 'start-up done'
# The window the user works in, opened once the program runs (Wine, unlike
# Windows, leaves no window in front when the program hides its own at start).
start_target QvE2EUser "$work/user.log" --foreground
wait_for "$work/user.log" '^active 1'

sim_command press 12 34 57
wait_for "$work/quorvane.log" 'receive-list: to iconic'
wait_for "$work/iconic.log" '^key up vk=0x10'
[ "$(keys_of "$work/iconic.log")" = "down 0x10 down 0x42 up 0x42 up 0x10" ] ||
  fail "the minimised target got: $(keys_of "$work/iconic.log")"
grep -q '^size normal' "$work/iconic.log" || fail "the minimised target was not restored for the keys"
for _ in $(seq 1 100); do
  [ "$(last_line size "$work/iconic.log")" = "size minimized" ] && break
  sleep 0.05
done
[ "$(last_line size "$work/iconic.log")" = "size minimized" ] ||
  fail "the minimised target was not minimised again"
active_again "$work/user.log" || fail "the window that was in front is not in front again"
[ -z "$(keys_of "$work/user.log")" ] || fail "the user's window got keys: $(keys_of "$work/user.log")"

# Unplugged and plugged in again: the program follows the simulator's device
# events over TCP, connects again and polls again.
sim_command unplug
sim_command plug
sim_command press 12 34 57
for _ in $(seq 1 200); do
  [ "$(grep -c 'receive-list: to iconic' "$work/quorvane.log")" -ge 2 ] && break
  sleep 0.05
done
[ "$(grep -c 'receive-list: to iconic' "$work/quorvane.log")" -ge 2 ] ||
  fail "no firing after the receiver came back"

# Closing the program (taskkill sends WM_CLOSE, as closing its window does).
"$wine_run" taskkill /im quorvane.exe >/dev/null 2>&1 || true
wait "$qpid" || fail "quorvane.exe ended with status $?"
grep -q 'exit done' "$work/quorvane.log" || fail "the program did not go through its exit"
tr -d '\r' <"$work/Quorvane.ini" | grep -qx 'WindowChangeTime=0' || fail "WindowChangeTime not written at exit"
echo PASS
