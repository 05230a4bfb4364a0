#!/usr/bin/env bash
# System test of the tray icon under icewm (it has a tray): a right click on
# the icon opens the menu, "設定" opens the window beside the taskbar, "終了"
# ends the program, which writes WindowChangeTime on its way out.
#   app_tray_test.sh QUORVANE QUORVANE-SIM
set -euo pipefail
quorvane=$1 sim=$2
work=$(mktemp -d)
pids=()
cleanup() {
  for ((i=${#pids[@]}-1; i>=0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  for ((i=${#pids[@]}-1; i>=0; i--)); do wait "${pids[i]}" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; cat "$work"/*.log; exit 1; }
sock=$XDG_RUNTIME_DIR/sim.sock

"$sim" serve --socket "$sock" >"$work/sim.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do grep -q '^ready' "$work/sim.log" && break; sleep 0.05; done

"$quorvane" --simulator="$sock" --config "$work/Quorvane.ini" --debug 2>"$work/quorvane.log" &
qpid=$!
pids+=($qpid)

# The embedded icon: a small visible window of the program.
icon=""
for _ in $(seq 1 100); do
  for w in $(xdotool search --onlyvisible --classname quorvane 2>/dev/null || true); do
    width=$(xwininfo -id "$w" | awk '/Width:/ {print $2}')
    if [ "${width:-0}" -lt 64 ]; then icon=$w; break; fi
  done
  [ -n "$icon" ] && break
  sleep 0.05
done
[ -n "$icon" ] || fail "no tray icon appeared"
if xdotool search --onlyvisible --name '^Quorvane$' >/dev/null 2>&1; then
  fail "the window is visible after start-up"
fi

main_window() {
  for w in $(xdotool search --onlyvisible --name '^Quorvane$' 2>/dev/null || true); do
    width=$(xwininfo -id "$w" | awk '/Width:/ {print $2}')
    [ "${width:-0}" -ge 300 ] && { echo "$w"; return 0; }
  done
  return 1
}

visible_count() { xdotool search --onlyvisible --classname quorvane 2>/dev/null | wc -l; }
# Right-clicks the icon and waits until the pop-up menu is on screen.
open_menu() {
  local before
  before=$(visible_count)
  # A click that lands while the previous menu is still closing is lost: retry.
  for _ in 1 2 3 4 5; do
    xdotool mousemove --window "$icon" 5 5 click 3
    for _ in $(seq 1 20); do
      [ "$(visible_count)" -gt "$before" ] && { sleep 0.1; return 0; }
      sleep 0.05
    done
  done
  fail "the menu did not open"
}

# Right click, first item "設定": the window opens.
open_menu
xdotool key Down Return
window=""
for _ in $(seq 1 100); do window=$(main_window || true); [ -n "$window" ] && break; sleep 0.05; done
[ -n "$window" ] || fail "設定 did not open the window"
# Beside the taskbar: above icewm's panel at the bottom of the screen (the
# window is placed again once its frame is known).
placed=0
for _ in $(seq 1 40); do
  bottom=$(xwininfo -id "$window" | awk '/Absolute upper-left Y:/ {y=$4} /Height:/ {h=$2} END {print y+h}')
  if [ "$bottom" -gt 800 ] && [ "$bottom" -le 1010 ]; then placed=1; break; fi
  sleep 0.05
done
[ "$placed" -eq 1 ] || fail "the window is not beside the taskbar (bottom at $bottom)"

# Right click, second item "終了": the program ends.
open_menu
xdotool key Down Down Return
for _ in $(seq 1 100); do kill -0 "$qpid" 2>/dev/null || break; sleep 0.05; done
kill -0 "$qpid" 2>/dev/null && fail "終了 did not end the program"
wait "$qpid" || fail "the program ended with status $?"
grep -q 'WindowChangeTime=0' "$work/Quorvane.ini" || fail "WindowChangeTime was not written"
echo PASS
