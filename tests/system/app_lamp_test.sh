#!/usr/bin/env bash
# System test of the receiver's state in the window, run under
# tests/support/with-xvfb.sh with a window manager: the real quorvane
# --simulator whose receiver answers the start command with an error. The one
# message box is answered; the lamp is amber and the status line says the
# start is tried again; a press made meanwhile waits in the receiver. Once the
# fault clears, a retry starts the receiver without a replug: the lamp turns
# green and the waiting press fires into its target. Unplugged, the lamp is
# red and says no receiver is there. Pictures of each state, with the lamp's
# tooltip shown, are kept as OUTPUT-DIR/lamp-{amber,green,red}.png.
#   app_lamp_test.sh QUORVANE QUORVANE-SIM QUORVANE-KEYTARGET OUTPUT-DIR
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
  import -window root "$out/failure.png" 2>/dev/null || true
  exit 1
}
wait_for() { wait_for_line "$1" "$2" || fail "timed out waiting for '$2' in $1"; }
keys_of() { awk '/^(press|release) / {printf "%s%s %s", sep, $1, $2; sep=" "}' "$1"; }

"$sim" serve --socket "$sock" >"$work/sim.log" 2>&1 &
spawned_pids+=($!)
wait_for "$work/sim.log" '^ready'
"$sim" --socket "$sock" fault error PicStartReceive 2 >/dev/null

"$keytarget" --class QvLampTarget --output "$work/target.log" &
spawned_pids+=($!)
wait_for "$work/target.log" '^ready'
printf '%s\r\n' '[Remote1]' 'Pulse=07,08,09' 'Comment=after the retry' 'WindowName=QvLampTarget' \
  'KeyList=DA, UA' >"$ini"

"$quorvane" --simulator="$sock" --config "$ini" --show --debug 2>"$work/quorvane.log" &
qpid=$!
spawned_pids+=("$qpid")
wait_for "$work/quorvane.log" 'start-up done'

windows_of_program() {
  local w
  for w in $(xdotool search --onlyvisible --name '^Quorvane$' 2>/dev/null || true); do
    [ "$(xprop -id "$w" _NET_WM_PID 2>/dev/null | awk '{print $3}')" = "$qpid" ] && echo "$w"
  done
  return 0
}
# The main window is 410 pixels wide; the message box is the other one.
width_of() { xwininfo -id "$1" 2>/dev/null | awk '/Width:/ {print $2}' || true; }
main=""
box=""
find_both() {
  local w
  main="" box=""
  for w in $(windows_of_program); do
    if [ "$(width_of "$w")" = 410 ]; then main=$w; else box=$w; fi
  done
  [ -n "$main" ] && [ -n "$box" ]
}
poll find_both || fail "the window and the start-up message did not both show"
xdotool windowactivate --sync "$box" key Return
poll eval '[ "$(windows_of_program | wc -l)" -eq 1 ]' || fail "the message did not close"
wait_for "$work/quorvane.log" 'receiver: 受信機がエラーを返しました。5秒ごとに再試行中'

# The window with the receiver's tooltip (the mouse rests on the status line
# under the lamp, at 12,422 390x22, so the tip shows below the window),
# cropped to the window and the tip.
picture() {
  xdotool mousemove --window "$main" 10 10
  sleep 0.3
  xdotool mousemove --window "$main" 60 433
  local tip="" _
  for _ in $(seq 1 60); do
    tip=$(xdotool search --onlyvisible --classname '^quorvane$' 2>/dev/null | grep -vx "$main" | head -n 1 || true)
    [ -n "$tip" ] && break
    sleep 0.05
  done
  sleep 0.3
  read -r mx my mw mh < <(frame_geometry "$main")
  local x0=$mx y0=$my x1=$((mx + mw)) y1=$((my + mh))
  if [ -n "$tip" ]; then
    read -r tx ty tw th < <(frame_geometry "$tip")
    x0=$((tx < x0 ? tx : x0)) y0=$((ty < y0 ? ty : y0))
    x1=$((tx + tw > x1 ? tx + tw : x1)) y1=$((ty + th > y1 ? ty + th : y1))
  fi
  import -window root -crop "$((x1 - x0))x$((y1 - y0))+$x0+$y0" +repage "$out/$1" ||
    fail "the screenshot failed"
  echo "screenshot: $out/$1"
}
picture lamp-amber.png

# A press while the receiver is not started stays in its queue.
"$sim" --socket "$sock" press 7 8 9 >/dev/null
sleep 0.2
[ "$("$sim" --socket "$sock" queue)" = 1 ] || fail "the press was taken before the receiver started"
"$sim" --socket "$sock" fault clear >/dev/null
poll --limit 30 grep -q 'receiver: 受信中' "$work/quorvane.log" || fail "the receiver was not started again"
wait_for "$work/quorvane.log" 'receive-list: after the retry'
wait_for "$work/target.log" 'release a'
[ "$(keys_of "$work/target.log")" = "press a release a" ] || fail "the target got: $(keys_of "$work/target.log")"
[ "$(grep -c 'trying the start sequence again' "$work/quorvane.log")" -ge 1 ] || fail "no retry was logged"
picture lamp-green.png

"$sim" --socket "$sock" unplug >/dev/null
wait_for "$work/quorvane.log" 'receiver: 受信機が見つかりません'
picture lamp-red.png

# One message box in all: the retries showed none.
kill -TERM "$qpid"
wait "$qpid" || fail "quorvane ended with status $?"
echo PASS
