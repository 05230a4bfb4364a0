#!/usr/bin/env bash
# End to end on Windows (under Wine, run inside tests/support/with-xvfb.sh,
# tests/win32/with-wine.sh and tests/win32/with-sim.sh, which exports
# QV_SIM_TCP and QV_SIM_SOCKET): the real quorvane.exe against the Linux
# quorvane-sim over loopback TCP, Win32 target windows of the test.
#   exe_end_to_end_test.sh QUORVANE-SIM QUORVANE.EXE KEYTARGET.EXE WINDOWCTL.EXE
# (the .exe files run under `wine`).
# A pressed button's keys arrive in the target window in order, the window
# that was in front before is in front again, the tray menu's 設定 shows the
# window beside the taskbar, "選択…" lists the target windows by class and
# title and the one chosen fills "送信ウィンドウ", a slot stored with it fires
# into that window, a second start ends at once, and 終了 ends the program,
# which writes WindowChangeTime on its way out.
set -euo pipefail
sim=$1 quorvane=$2 keytarget=$3 windowctl=$4
: "${QV_SIM_TCP:?run under tests/win32/with-sim.sh}" "${QV_SIM_SOCKET:?}"
work=$(mktemp -d)
# shellcheck source=tests/support/procs.sh
source "$(dirname "$0")/../support/procs.sh"
remove_on_exit "$work"

fail() {
  echo "FAIL: $*"
  for f in "$work"/*.log; do echo "--- $f"; cat "$f"; done
  exit 1
}
wait_for() { wait_for_line "$1" "$2" || fail "timed out waiting for '$2' in $1"; }
# The key lines of a target's log: "down 0x10 down 0x41 ..." (its lines end
# in CR LF, as Windows programs write them).
keys_of() { tr -d '\r' <"$1" | awk '/^key / {sub("vk=", "", $3); printf "%s%s %s", sep, $2, $3; sep=" "}'; }
last_active() { tr -d '\r' <"$1" | awk '/^active / {a = $2} END {print a}'; }

# The targets end when their standard input closes (at the end of this script).
mkfifo "$work/hold"
wine "$keytarget" QvWinTarget <"$work/hold" >"$work/target.log" 2>&1 &
spawned_pids+=($!)
exec {hold}>"$work/hold"
wait_for "$work/target.log" '^ready'
wine "$keytarget" QvWinPicked --title "メモ - 無題" <"$work/hold" >"$work/picked.log" 2>&1 &
spawned_pids+=($!)
wait_for "$work/picked.log" '^ready'
wine "$keytarget" QvWinOther --foreground <"$work/hold" >"$work/other.log" 2>&1 &
spawned_pids+=($!)
wait_for "$work/other.log" '^ready'

printf '%s\r\n' '[General]' 'WindowChangeTime=1' \
  '[Remote1]' 'Pulse=12,34,56' 'Comment=to target' 'WindowName=qvwintarget' \
  'KeyList=D[SHIFT], DA, UA, U[SHIFT], D[RETURN], U[RETURN]' >"$work/Quorvane.ini"
ini=$(winepath -w "$work/Quorvane.ini")

start=$EPOCHREALTIME
wine "$quorvane" --simulator="$QV_SIM_TCP" --config "$ini" --debug 2>"$work/quorvane.log" &
qpid=$!
spawned_pids+=("$qpid")
wait_for "$work/quorvane.log" 'start-up done'
awk -v s="$start" -v e="$EPOCHREALTIME" \
  'BEGIN { printf "quorvane.exe under Wine: start-up done %.0f ms after the start\n", (e - s) * 1000 }'
grep -q "aware of each monitor's DPI" "$work/quorvane.log" || fail "the manifest's DPI awareness is not in effect"

# A second start ends at once and leaves the first alone.
wine "$quorvane" --debug 2>"$work/second.log" || fail "the second start ended with status $?"
grep -q 'another instance is running' "$work/second.log" || fail "the second start did not see the first"

[ "$(last_active "$work/other.log")" = 1 ] || fail "the other window is not in front before the press"
"$sim" --socket "$QV_SIM_SOCKET" press 12 34 56 >/dev/null
wait_for "$work/quorvane.log" 'receive-list: to target'
wait_for "$work/target.log" '^key up vk=0x0d'
[ "$(keys_of "$work/target.log")" = "down 0x10 down 0x41 up 0x41 up 0x10 down 0x0d up 0x0d" ] \
  || fail "the target got: $(keys_of "$work/target.log")"
for _ in $(seq 1 100); do
  [ "$(last_active "$work/other.log")" = 1 ] && break
  sleep 0.05
done
grep -q '^active 0' "$work/other.log" || fail "the target never came in front of the other window"
[ "$(last_active "$work/other.log")" = 1 ] || fail "the window in front before is not in front again"
[ -z "$(keys_of "$work/other.log")" ] || fail "the other window got keys: $(keys_of "$work/other.log")"

# 設定 shows the window in the corner beside the taskbar.
wine "$windowctl" menu 1 || fail "could not choose 設定"
state=""
for _ in $(seq 1 100); do
  state=$(wine "$windowctl" state | tr -d '\r')
  [[ $state == "visible 1 "* ]] && break
  sleep 0.05
done
read -r _ visible _ left top right bottom _ bl bt br bb _ width height <<<"$state"
[ "$visible" = 1 ] || fail "the window did not show: $state"
# The taskbar lies along the bottom on this desktop: the window sits on it at the right.
((bl == 0 && br == width && bb == height)) || fail "expected a taskbar along the bottom: $state"
((right == width && bottom == bt)) || fail "the window is not beside the taskbar: $state"
((left >= 0 && top >= 0)) || fail "the window is off the screen: $state"

# The window picker: both target windows are offered by class and title, the
# program's own window is not, and the choice fills the field.
wine "$windowctl" tab 2 || fail "could not select the learning tab"
wine "$windowctl" click pickWindowButton || fail "could not click 選択…"
wait_for "$work/quorvane.log" 'window picker:'
offered=$(grep 'window picker:' "$work/quorvane.log" | tail -n 1 | tr -d '\r')
# The list is in the order the program offered it.
item=$(sed 's/^.*offered://' <<<"$offered" | tr ';' '\n' | grep -n '\[QvWinPicked\]' | cut -d: -f1)
[ -n "$item" ] || fail "the picked window is not listed: $offered"
wine "$windowctl" choose "$item" || fail "could not choose item $item"
grep -q '\[QvWinPicked\] メモ - 無題;' <<<"$offered" || fail "the picked window is not listed: $offered"
grep -q '\[QvWinTarget\] QvWinTarget;' <<<"$offered" || fail "the target window is not listed: $offered"
if grep -q 'QuorvaneMainWindow' <<<"$offered"; then fail "the program's own window is listed: $offered"; fi
name=""
for _ in $(seq 1 100); do
  name=$(wine "$windowctl" text windowNameBox | tr -d '\r')
  [ "$name" = QvWinPicked ] && break
  sleep 0.05
done
[ "$name" = QvWinPicked ] || fail "the field holds '$name' after the choice"

# A slot stored with the chosen window fires into it.
"$sim" --socket "$QV_SIM_SOCKET" press 1 2 3 >/dev/null
wait_for "$work/quorvane.log" 'learning mode: pulse 01,02,03'
wine "$windowctl" press keyListBox 43 || fail "could not press C in the key list"
for _ in $(seq 1 100); do
  [ "$(wine "$windowctl" text keyListBox | tr -d '\r' | tr '\n' ' ')" = "DC UC " ] && break
  sleep 0.05
done
wine "$windowctl" click storeEntryButton || fail "could not store"
for _ in $(seq 1 100); do
  tr -d '\r' <"$work/Quorvane.ini" | grep -qx 'WindowName=QvWinPicked' && break
  sleep 0.05
done
tr -d '\r' <"$work/Quorvane.ini" | grep -qx 'WindowName=QvWinPicked' || fail "the slot was not stored with the chosen window"
wine "$windowctl" tab 1 || fail "could not select the run tab"
wait_for "$work/quorvane.log" 'tab 1 selected'
"$sim" --socket "$QV_SIM_SOCKET" press 1 2 3 >/dev/null
wait_for "$work/picked.log" '^key up vk=0x43'
[ "$(keys_of "$work/picked.log")" = "down 0x43 up 0x43" ] || fail "the chosen window got: $(keys_of "$work/picked.log")"

# 終了 ends the program; the exit writes the window-switch time.
wine "$windowctl" menu 2 || fail "could not choose 終了"
for _ in $(seq 1 200); do
  kill -0 "$qpid" 2>/dev/null || break
  sleep 0.05
done
kill -0 "$qpid" 2>/dev/null && fail "the program did not end after 終了"
wait "$qpid" || fail "quorvane.exe ended with status $?"
grep -q 'exit done' "$work/quorvane.log" || fail "the exit steps did not run"
tr -d '\r' <"$work/Quorvane.ini" | grep -qx 'WindowChangeTime=1' || fail "WindowChangeTime not written at exit"
exec {hold}>&-
echo PASS
