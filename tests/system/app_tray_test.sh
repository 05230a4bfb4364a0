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

# Right click, first item "設定": the window opens.
xdotool mousemove --window "$icon" 5 5 click 3
sleep 0.5
xdotool key Down Return
window=""
for _ in $(seq 1 100); do window=$(main_window || true); [ -n "$window" ] && break; sleep 0.05; done
[ -n "$window" ] || fail "設定 did not open the window"
# Beside the taskbar: the window's bottom edge is near the bottom of the screen.
bottom=$(xwininfo -id "$window" | awk '/Absolute upper-left Y:/ {y=$4} /Height:/ {h=$2} END {print y+h}')
[ "$bottom" -gt 800 ] || fail "the window is not beside the taskbar (bottom at $bottom)"

# Right click, second item "終了": the program ends.
xdotool mousemove --window "$icon" 5 5 click 3
sleep 0.5
xdotool key Down Down Return
for _ in $(seq 1 100); do kill -0 "$qpid" 2>/dev/null || break; sleep 0.05; done
kill -0 "$qpid" 2>/dev/null && fail "終了 did not end the program"
wait "$qpid" || fail "the program ended with status $?"
grep -q 'WindowChangeTime=0' "$work/Quorvane.ini" || fail "WindowChangeTime was not written"
echo PASS
