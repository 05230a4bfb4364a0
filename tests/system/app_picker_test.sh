#!/usr/bin/env bash
# System test of the window picker, run under tests/support/with-xvfb.sh with a
# window manager: the real quorvane --simulator beside two quorvane-keytarget
# windows of known classes and titles. "選択…" lists both (and not the
# program's own window), choosing one fills "送信ウィンドウ", the slot stored
# with it has that WindowName, and firing the slot sends its keys to that
# window and not to the other. A picture of the open list is kept as
# OUTPUT-DIR/window-picker.png.
#   app_picker_test.sh QUORVANE QUORVANE-SIM QUORVANE-KEYTARGET OUTPUT-DIR
set -euo pipefail
quorvane=$1 sim=$2 keytarget=$3 out=$4
rm -rf "$out"
mkdir -p "$out"
work=$(mktemp -d)
# shellcheck source=/dev/null
source "$(dirname "$0")/../support/procs.sh"
# shellcheck source=/dev/null
source "$(dirname "$0")/../support/x11-windows.sh"
remove_on_exit "$work"
sock=$XDG_RUNTIME_DIR/sim.sock
ini=$work/Quorvane.ini

fail() {
  echo "FAIL: $*"
  for f in "$work"/*.log; do echo "--- $f"; cat "$f"; done
  [ ! -f "$ini" ] || { echo "--- $ini"; cat "$ini"; }
  import -window root "$out/failure.png" 2>/dev/null || true
  exit 1
}
wait_for() { wait_for_line "$1" "$2" || fail "timed out waiting for '$2' in $1"; }
keys_of() { awk '/^(press|release) / {printf "%s%s %s", sep, $1, $2; sep=" "}' "$1"; }

"$sim" serve --socket "$sock" >"$work/sim.log" 2>&1 &
spawned_pids+=($!)
wait_for "$work/sim.log" '^ready'

"$keytarget" --class QvPickMail --title "受信トレイ - メール" --output "$work/mail.log" &
spawned_pids+=($!)
wait_for "$work/mail.log" '^ready'
"$keytarget" --class QvPickNotes --title "notes.txt" --output "$work/notes.log" &
spawned_pids+=($!)
wait_for "$work/notes.log" '^ready'
"$keytarget" --class QvPickWork --title "the window in use" --output "$work/work.log" &
spawned_pids+=($!)
wait_for "$work/work.log" '^ready'
workwin=$(awk '/^ready/ {print $2; exit}' "$work/work.log")

"$quorvane" --simulator="$sock" --config "$ini" --show --tab 2 --debug 2>"$work/quorvane.log" &
qpid=$!
spawned_pids+=("$qpid")
wait_for "$work/quorvane.log" 'start-up done'
wait_for "$work/quorvane.log" 'receiver: 受信中'
main=""
find_main() {
  local w
  for w in $(xdotool search --onlyvisible --name '^Quorvane$' 2>/dev/null || true); do
    if [ "$(xprop -id "$w" _NET_WM_PID 2>/dev/null | awk '{print $3}')" = "$qpid" ]; then
      main=$w
      return 0
    fi
  done
  return 1
}
poll find_main || fail "the window did not show"

# "選択…" (at 322,140 58x24 on the page at 10,36).
xdotool mousemove --window "$main" 351 188 click 1
wait_for "$work/quorvane.log" 'window picker: [0-9]* offered:'
offered=$(grep 'window picker:' "$work/quorvane.log" | tail -n 1)
grep -q '\[QvPickMail\] 受信トレイ - メール;' <<<"$offered" || fail "the mail window is not listed: $offered"
grep -q '\[QvPickNotes\] notes.txt;' <<<"$offered" || fail "the notes window is not listed: $offered"
if grep -qi '\[quorvane\]' <<<"$offered"; then fail "the program's own window is listed: $offered"; fi

# The open list, photographed with the window under it.
menu=""
menu_open() {
  menu=$(xdotool search --onlyvisible --classname '^quorvane$' 2>/dev/null | grep -vx "$main" | head -n 1)
  [ -n "$menu" ]
}
poll menu_open || fail "the list did not open"
painted() {
  import -window "$menu" "$work/menu.png" 2>/dev/null &&
    [ "$(identify -format '%k' "$work/menu.png")" -gt 16 ]
}
poll painted || fail "the list was not painted"
read -r mx my mw mh < <(frame_geometry "$main")
read -r lx ly lw lh < <(frame_geometry "$menu")
x0=$((mx < lx ? mx : lx)) y0=$((my < ly ? my : ly))
x1=$((mx + mw > lx + lw ? mx + mw : lx + lw)) y1=$((my + mh > ly + lh ? my + mh : ly + lh))
import -window root -crop "$((x1 - x0))x$((y1 - y0))+$x0+$y0" +repage "$out/window-picker.png" ||
  fail "the screenshot failed"
echo "screenshot: $out/window-picker.png ($((x1 - x0))x$((y1 - y0)))"

# The list is in the order the program offered it; Down moves onto its first item.
index=$(sed 's/^.*offered://' <<<"$offered" | tr ';' '\n' | grep -n '\[QvPickNotes\]' | cut -d: -f1)
downs=()
for _ in $(seq 1 "$index"); do downs+=(Down); done
xdotool key "${downs[@]}" Return
poll eval '! menu_open' || fail "choosing did not close the list"

# Store the slot: a pulse, one key in the key list, "追加 / 変更".
"$sim" --socket "$sock" press 4 5 6 >/dev/null
wait_for "$work/quorvane.log" 'learning mode: pulse 04,05,06'
xdotool mousemove --window "$main" 272 252 click 1
xdotool key x
sleep 0.2
xdotool mousemove --window "$main" 332 318 click 1
poll grep -qa 'WindowName=QvPickNotes' "$ini" || fail "the stored slot does not name the chosen window"

# Fire it in run mode with another window in front: the keys reach the chosen one.
xdotool mousemove --window "$main" 28 21 click 1
wait_for "$work/quorvane.log" 'tab 1 selected'
xdotool windowactivate --sync "$workwin"
"$sim" --socket "$sock" press 4 5 6 >/dev/null
wait_for "$work/notes.log" 'release x'
[ "$(keys_of "$work/notes.log")" = "press x release x" ] || fail "the notes window got: $(keys_of "$work/notes.log")"
[ -z "$(keys_of "$work/mail.log")" ] || fail "the mail window got keys: $(keys_of "$work/mail.log")"

kill -TERM "$qpid"
wait "$qpid" || fail "quorvane ended with status $?"
echo PASS
