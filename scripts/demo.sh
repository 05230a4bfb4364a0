#!/usr/bin/env bash
# Shows Quorvane doing its main job on the simulated receiver, from end to end:
#
#  1. installs what is missing (scripts/install-deps.sh --demo) and builds quorvane,
#     quorvane-sim and quorvane-keytarget into build/ when needed;
#  2. without a display, runs itself on a private Xvfb with the icewm window
#     manager (it has a tray for the icon);
#  3. starts the simulated receiver (quorvane-sim serve), two X clients that log
#     the keys they get -- the target "QvDemoTarget" and "QvDemoEditor", which
#     stands for the window the user works in -- and quorvane --simulator with a
#     copy of samples/demo.ini;
#  4. presses four buttons of the simulated remote: three whose slots send keys
#     to QvDemoTarget (Enter, "Hi", Ctrl+C), one whose slot names no window (F5
#     goes to the window in the foreground);
#  5. prints the receive list (quorvane --debug writes every accepted line) and
#     the keys each client received, and checks them, and that the editor
#     window is in the foreground again afterwards;
#  6. opens the tray icon's menu and photographs it, chooses "設定" and
#     photographs the window on its run-mode page with the four lines; starts
#     quorvane again with its window open on the learning page, presses one
#     more button, and photographs the window again.
#
# Exits with 0 when every key arrived where it belongs, 1 otherwise.
# Output and screenshots stay in build/demo/: tray-menu.png,
# window-run-mode.png and window-learning-mode.png are the README's pictures
# (docs/), the others show the whole screen.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

if [ -z "${QV_DEMO_INSIDE:-}" ]; then
  scripts/install-deps.sh --demo
  if [ ! -f build/build.ninja ]; then
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  fi
  cmake --build build --target quorvane quorvane-sim quorvane-keytarget
  export QV_DEMO_INSIDE=1
  if [ -z "${DISPLAY:-}" ]; then
    echo "demo: no display; running on a private Xvfb with icewm"
    exec tests/support/with-xvfb.sh --wm icewm -- "$0" "$@"
  fi
fi

bin=$root/build
quorvane=$bin/src/app/quorvane
sim=$bin/sim/quorvane-sim
keytarget=$bin/tools/quorvane-keytarget
out=$root/build/demo
rm -rf "$out"
mkdir -p "$out"
# A private runtime folder: the simulator's socket and the single-instance lock
# of this demo never meet a quorvane the user runs.
export XDG_RUNTIME_DIR="$out/runtime"
mkdir -m 0700 "$XDG_RUNTIME_DIR"
sock=$XDG_RUNTIME_DIR/quorvane-sim.sock

# shellcheck source=/dev/null
source "$root/tests/support/procs.sh"

# Waits until FILE has a line matching PATTERN (at most 10 s).
wait_for() {
  wait_for_line "$1" "$2" || { echo "demo: timed out waiting for '$2' in $1" >&2; return 1; }
}

press() {
  "$sim" --socket "$sock" press "$@" >/dev/null
  "$sim" --socket "$sock" wait-idle >/dev/null
}

# Waits until quorvane's log holds N receive-list lines (at most 10 s).
wait_lines() {
  local n=$1
  for _ in $(seq 1 200); do
    if [ "$(grep -c 'receive-list: ' "$out/quorvane.log" 2>/dev/null || true)" -ge "$n" ]; then
      return 0
    fi
    sleep 0.05
  done
  return 1
}

# Runs the command until it succeeds, for at most $1 seconds.
poll() {
  local limit=$1 _
  shift
  for _ in $(seq 1 $((limit * 20))); do
    if "$@"; then return 0; fi
    sleep 0.05
  done
  return 1
}

# Window facts read from the X server.
width_of() { xwininfo -id "$1" 2>/dev/null | awk '/Width:/ {print $2}'; }
pid_of() { xprop -id "$1" _NET_WM_PID 2>/dev/null | awk '{print $3}'; }
# Prints "x y width height" of a window on the screen.
geometry() {
  xwininfo -id "$1" 2>/dev/null | awk '/Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4}
                                       /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}'
}
# The program's tray icon: its small visible window (the tray embeds it).
tray_icon() {
  local w
  for w in $(xdotool search --onlyvisible --classname '^quorvane$' 2>/dev/null || true); do
    if [ "$(pid_of "$w")" = "$1" ] && [ "$(width_of "$w")" -lt 64 ]; then echo "$w"; return 0; fi
  done
  return 1
}
# The program's open pop-up menu: its override-redirect window.
menu_window() {
  local w
  for w in $(xdotool search --onlyvisible --classname '^quorvane$' 2>/dev/null || true); do
    if [ "$(pid_of "$w")" = "$1" ] &&
       xwininfo -id "$w" | grep -q 'Override Redirect State: yes'; then echo "$w"; return 0; fi
  done
  return 1
}
# The main window: the program's visible "Quorvane" window of full size
# (message boxes carry the same title).
main_window() {
  local w
  for w in $(xdotool search --onlyvisible --name '^Quorvane$' 2>/dev/null || true); do
    if [ "$(pid_of "$w")" = "$1" ] && [ "$(width_of "$w")" -ge 300 ]; then echo "$w"; return 0; fi
  done
  return 1
}
# Photographs the window $1 (or "root" with the crop geometry $3) into $2 once
# two pictures in a row are alike, so the window has finished painting.
settled_shot() {
  local target=$1 file=$2 crop=${3:-} _
  local args=(-window "$target")
  [ -z "$crop" ] || args+=(-crop "$crop" +repage)
  for _ in $(seq 1 40); do
    import "${args[@]}" "$file.next.png" 2>/dev/null || return 1
    if [ -f "$file" ] && compare -metric AE "$file" "$file.next.png" null: 2>/dev/null; then
      rm -f "$file.next.png"
      return 0
    fi
    mv "$file.next.png" "$file"
    sleep 0.1
  done
  return 0
}

"$sim" serve --socket "$sock" >"$out/sim.log" 2>&1 &
spawned_pids+=($!)
wait_for "$out/sim.log" '^ready'

"$keytarget" --class QvDemoTarget --title "Demo target" --output "$out/target-keys.log" &
spawned_pids+=($!)
wait_for "$out/target-keys.log" '^ready'
"$keytarget" --class QvDemoEditor --title "Demo editor" --output "$out/editor-keys.log" &
spawned_pids+=($!)
wait_for "$out/editor-keys.log" '^ready'
editor_window=$(awk '/^ready/ {print $2; exit}' "$out/editor-keys.log")
xdotool windowactivate --sync "$editor_window" 2>/dev/null || true

cp samples/demo.ini "$out/Quorvane.ini"
"$quorvane" --simulator="$sock" --config "$out/Quorvane.ini" --debug 2>"$out/quorvane.log" &
qpid=$!
spawned_pids+=("$qpid")
wait_for "$out/quorvane.log" 'start-up done'

echo "demo: pressing four buttons of the simulated remote"
press 12 34 56   # slot 1: Enter to QvDemoTarget
press 12 34 57   # slot 2: "Hi" to QvDemoTarget
press 12 34 58   # slot 3: Ctrl+C to QvDemoTarget
wait_lines 3 || true
press 5 120 7    # slot 4: no window, F5 to the foreground window
wait_lines 4 || true
sleep 0.3        # the clients read their last events
active_after=$(xdotool getactivewindow 2>/dev/null || echo 0)
import -window root "$out/screen.png" 2>/dev/null || true

echo
echo "== Receive list (レシーブ リスト)"
sed -n 's/^quorvane: receive-list: /  /p' "$out/quorvane.log"
echo
echo "== Keys received by QvDemoTarget"
awk '/^(press|release) / {printf "  %s %s\n", $1, $2}' "$out/target-keys.log"
echo
echo "== Keys received by QvDemoEditor (the window in the foreground)"
awk '/^(press|release) / {printf "  %s %s\n", $1, $2}' "$out/editor-keys.log"
echo

# What the clients got from the four buttons (the menu's keys below go to
# whichever window has the focus then).
got_target=$(awk '/^(press|release) / {printf "%s%s %s", sep, $1, $2; sep=" "}' "$out/target-keys.log")
got_editor=$(awk '/^(press|release) / {printf "%s%s %s", sep, $1, $2; sep=" "}' "$out/editor-keys.log")

# The tray icon's menu, then its "設定": the window on the run-mode page
# (パルス待ち) with the receive list of the four buttons.
shots=1
if icon=$(poll 10 tray_icon "$qpid"); then
  xdotool mousemove --window "$icon" 8 8 click 3
  if menu=$(poll 5 menu_window "$qpid"); then
    # The corner of the screen with the icon and the menu above it.
    read -r mx my mw _ < <(geometry "$menu")
    read -r ix iy iw _ < <(geometry "$icon")
    read -r sw sh < <(xwininfo -root | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
    left=$(( (mx < ix ? mx : ix) - 40 )); top=$(( (my < iy ? my : iy) - 40 ))
    right=$(( mx + mw > ix + iw ? mx + mw : ix + iw )); right=$(( right + 40 ))
    ((left >= 0)) || left=0; ((top >= 0)) || top=0; ((right <= sw)) || right=$sw
    settled_shot root "$out/tray-menu.png" "$((right - left))x$((sh - top))+$left+$top" || shots=0
    xdotool key Down Return   # the first item, "設定"
    if window=$(poll 5 main_window "$qpid"); then
      settled_shot "$window" "$out/window-run-mode.png" || shots=0
    else
      echo "demo: 設定 did not open the window"; shots=0
    fi
  else
    echo "demo: the tray icon's menu did not open"; shots=0
  fi
else
  echo "demo: no tray icon (no tray on this display): no pictures of the menu and the run page"
  shots=0
fi
import -window root "$out/screen-with-menu-window.png" 2>/dev/null || true

# Quorvane ends on SIGTERM as on "終了": it writes WindowChangeTime and goes.
kill -TERM "$qpid"
wait "$qpid" || true

ok=1
expected_target="press Return release Return press Shift_L press H release H release Shift_L press i release i press Control_L press c release c release Control_L"
if [ "$got_target" != "$expected_target" ]; then
  echo "demo: FAIL: QvDemoTarget got '$got_target'"; ok=0
fi
if [ "$got_editor" != "press F5 release F5" ]; then
  echo "demo: FAIL: QvDemoEditor got '$got_editor'"; ok=0
fi
if [ "$(grep -c 'receive-list: ' "$out/quorvane.log")" -ne 4 ]; then
  echo "demo: FAIL: the receive list does not have four lines"; ok=0
fi
if [ "$active_after" != "$editor_window" ]; then
  echo "demo: FAIL: the editor window is not in the foreground again"; ok=0
fi

echo "demo: opening the window on the learning page (パルス記憶) and pressing a button"
"$quorvane" --simulator="$sock" --config "$out/Quorvane.ini" --debug --show --tab 2 \
  2>"$out/quorvane-show.log" &
qpid=$!
spawned_pids+=("$qpid")
wait_for "$out/quorvane-show.log" 'start-up done'
press 33 44 55
if window=$(poll 5 main_window "$qpid"); then
  settled_shot "$window" "$out/window-learning-mode.png" || shots=0
else
  echo "demo: the window did not open"; shots=0
fi
import -window root "$out/screen-with-window.png" 2>/dev/null || true
kill -TERM "$qpid"
wait "$qpid" || true

if ((shots)); then
  echo "demo: pictures: $out/tray-menu.png $out/window-run-mode.png $out/window-learning-mode.png"
else
  echo "demo: not every picture could be taken"
fi
echo "demo: logs and screenshots in $out"
if [ "$ok" -eq 1 ]; then
  echo "demo: OK: every key arrived where its slot sends it"
  exit 0
fi
exit 1
