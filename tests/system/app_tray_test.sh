#!/usr/bin/env bash
# System test of the tray icon and its menu with the real program, run under
# tests/support/with-xvfb.sh --wm none: the test starts icewm (it has a tray)
# itself so that it can end it and start it again.
#   app_tray_test.sh QUORVANE QUORVANE-SIM OUTPUT-DIR X-KEYBOARD-GRABBED
# Checks, through the program's own windows:
# - the icon is embedded into icewm's tray and the window is hidden after
#   start-up;
# - the right, left and middle buttons each open the menu (a screenshot of
#   the open menu is kept as OUTPUT-DIR/menu.png);
# - "設定" shows the window above the taskbar at the screen's right edge, over
#   the notification area (screenshot OUTPUT-DIR/window-beside-tray.png), and
#   "設定" again hides it;
# - minimising or maximising the window and its button "トレイに戻す" each
#   hide it and clear the check mark of "設定" (the menu looks as it did at
#   first), so the next "設定" shows it again, in normal size and at the same
#   place;
# - after the tray host ends and a new one starts, the icon is embedded again
#   and still opens the menu;
# - "終了" ends the program, which writes WindowChangeTime on its way out.
set -euo pipefail
quorvane=$1 sim=$2 out=$3 keyboard_grabbed=$4
rm -rf "$out"
mkdir -p "$out"
work=$(mktemp -d)
# shellcheck source=/dev/null
source "$(dirname "$0")/../support/procs.sh"
remove_on_exit "$work"
fail() {
  echo "FAIL: $*"
  for f in "$out"/*.log; do echo "--- $f"; cat "$f"; done
  import -window root "$out/failure.png" 2>/dev/null || true
  exit 1
}
sock=$XDG_RUNTIME_DIR/sim.sock

now_ms() { date +%s%3N; }
started=$(now_ms)
# Says what the test does next, with the time since the start.
step() { printf '[%6d ms] %s\n' $(($(now_ms) - started)) "$*"; }
# Runs the command until it succeeds, for at most $1 seconds.
poll() {
  local limit=$1 start
  shift
  start=$(now_ms)
  until "$@"; do
    (( $(now_ms) - start < limit * 1000 )) || return 1
    sleep 0.05
  done
}

# Window facts read from the X server, never assumed.
info() { xwininfo -id "$1" 2>/dev/null; }
viewable() { info "$1" | grep -q 'Map State: IsViewable'; }
parent_of() { xwininfo -children -id "$1" 2>/dev/null | awk '/Parent window id:/ {print $4; exit}'; }
parent_name() { xwininfo -children -id "$1" 2>/dev/null | sed -n 's/.*Parent window id: 0x[0-9a-f]* "\(.*\)".*/\1/p'; }
# "x y width height" of a window on the screen.
geometry() {
  info "$1" | awk '/Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4}
                   /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}'
}
root=$(xwininfo -root | awk '/Window id:/ {print $4}')
# The window manager's frame around a window (or the panel around the tray):
# the ancestor that is a child of the root window.
toplevel() {
  local w=$1 p
  while p=$(parent_of "$w") && [ -n "$p" ] && [ $((p)) -ne $((root)) ]; do w=$p; done
  printf '0x%x\n' $((w))
}
read -r screen_w screen_h < <(xwininfo -root | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
pid_of() { xprop -id "$1" _NET_WM_PID 2>/dev/null | awk '{print $3}'; }

start_icewm() {
  icewm >>"$out/icewm.log" 2>&1 &
  icewm_pid=$!
  spawned_pids+=("$icewm_pid")
  poll 10 eval 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"' \
    || fail "icewm did not start"
}
start_icewm

"$sim" serve --socket "$sock" >"$out/sim.log" 2>&1 &
spawned_pids+=($!)
poll 10 grep -qs '^ready' "$out/sim.log" || fail "the simulator did not start"

"$quorvane" --simulator="$sock" --config "$work/Quorvane.ini" --debug 2>"$out/quorvane.log" &
qpid=$!
spawned_pids+=("$qpid")

# The icon: a small window of the program inside icewm's tray embedder.
icon=""
find_icon() {
  local w
  icon=""
  for w in $(xdotool search --onlyvisible --classname '^quorvane$' 2>/dev/null || true); do
    read -r _ _ width _ < <(geometry "$w")
    if [ "${width:-0}" -lt 64 ] && [ "$(pid_of "$w")" = "$qpid" ] &&
       [ "$(parent_name "$w")" = YXTrayEmbedder ]; then
      icon=$w
      return 0
    fi
  done
  return 1
}
poll 10 find_icon || fail "the icon was not embedded into the tray"
poll 10 grep -qs 'start-up done' "$out/quorvane.log" || fail "start-up did not finish"

# The main window: the program's viewable window titled "Quorvane" (Qt
# creates it on first showing and keeps it while it is hidden).
main_window() {
  local w
  for w in $(xdotool search --onlyvisible --name '^Quorvane$' 2>/dev/null || true); do
    if [ "$(pid_of "$w")" = "$qpid" ]; then echo "$w"; return 0; fi
  done
  return 1
}
main_window >/dev/null && fail "the window is visible after start-up"
window=""

# The open pop-up menu: a viewable window of the program that the window
# manager does not frame (override-redirect, directly on the root window) and
# that is not the icon.
menu_window() {
  local w
  for w in $(xdotool search --onlyvisible --classname '^quorvane$' 2>/dev/null || true); do
    if [ "$w" != "$icon" ] && [ "$(pid_of "$w")" = "$qpid" ] &&
       info "$w" | grep -q 'Override Redirect State: yes' &&
       [ $(($(parent_of "$w"))) -eq $((root)) ]; then
      echo "$w"
      return 0
    fi
  done
  return 1
}
no_menu() { ! menu_window >/dev/null; }
# Clicks the icon with mouse button $1 and waits until the menu is open and
# takes the keyboard (it grabs it once it is mapped; keys sent before that
# would go elsewhere). Two presses on the icon within the double-click time
# make a double click, which opens no menu (Qt's default time is 400 ms):
# keep the clicks apart.
menu=""
last_click=0
open_menu() {
  local button=$1 wait_ms
  poll 5 no_menu || fail "a menu is still open"
  wait_ms=$((last_click + 600 - $(now_ms)))
  ((wait_ms <= 0)) || sleep "$(printf '0.%03d' "$wait_ms")"
  xdotool mousemove --window "$icon" 12 12 click "$button"
  last_click=$(now_ms)
  poll 20 eval 'menu=$(menu_window)' || fail "button $button on the icon did not open the menu"
  poll 10 "$keyboard_grabbed" || fail "the menu opened by button $button never took the keyboard"
}
# Chooses the menu's item $1 (1 "設定", 2 "終了") with the keyboard.
choose() {
  local keys=()
  for ((i = 0; i < $1; i++)); do keys+=(Down); done
  xdotool key "${keys[@]}" Return
  poll 5 no_menu || fail "the menu did not close after choosing item $1"
}

# The panel that holds the tray, and where the notification area is.
read -r icon_x icon_y icon_w icon_h < <(geometry "$icon")
panel=$(toplevel "$icon")
read -r panel_x panel_y panel_w panel_h < <(geometry "$panel")
echo "screen ${screen_w}x${screen_h}; panel $panel at $panel_x,$panel_y ${panel_w}x${panel_h};" \
  "icon at $icon_x,$icon_y ${icon_w}x${icon_h}"
if [ $((panel_y + panel_h)) -ne "$screen_h" ] || [ "$panel_w" -lt "$screen_w" ]; then
  fail "icewm's panel is not along the bottom of the screen"
fi

# The window's frame is where icewm put the window; Qt places the window by
# its frame, so that is what must touch the panel.
frame_geometry() { geometry "$(toplevel "$window")"; }
beside_tray() {
  local x y w h
  read -r x y w h < <(frame_geometry)
  placed="$x,$y ${w}x${h}"
  # Bottom on the panel's top, right edge at the screen's right edge, and
  # the window stands over the notification area.
  [ $((y + h)) -le "$panel_y" ] && [ $((y + h)) -ge $((panel_y - 2)) ] &&
    [ $((x + w)) -le "$screen_w" ] && [ $((x + w)) -ge $((screen_w - 2)) ] &&
    [ "$x" -le "$icon_x" ]
}
# Chooses "設定" while the window is hidden: it opens beside the tray in
# normal size.
# A second argument is run while the menu is open, before the choice.
open_window() {
  open_menu 3
  [ -z "${2:-}" ] || "$2" "$1"
  choose 1
  if [ -z "$window" ]; then
    poll 5 eval 'window=$(main_window)' || fail "設定 did not show the window ($1)"
  else
    poll 5 viewable "$window" || fail "設定 did not show the window ($1)"
  fi
  # The window is placed once more when its frame is known.
  placed=""
  poll 5 beside_tray || fail "the window is not beside the tray ($1): frame at $placed"
  if [ -n "${normal_size:-}" ]; then
    [ "$(client_size)" = "$normal_size" ] ||
      fail "the window came back as $(client_size), not in its normal size $normal_size ($1)"
  fi
  ! xprop -id "$window" _NET_WM_STATE | grep -qE 'HIDDEN|MAXIMIZED' ||
    fail "the window is not in the normal state ($1): $(xprop -id "$window" _NET_WM_STATE)"
}
client_size() { geometry "$window" | awk '{print $3 "x" $4}'; }
hidden() {
  if [ -z "$window" ]; then ! main_window >/dev/null; else ! viewable "$window"; fi
}
# The window stays off the screen for half a second: later reports of its
# state must not bring it back.
stays_hidden() {
  local until=$(($(now_ms) + 500))
  while (($(now_ms) < until)); do
    hidden || return 1
    sleep 0.05
  done
}

# The menu's own picture, to compare the check mark of "設定" between openings.
snap_menu() { import -window "$menu" "$out/$1.png" || fail "screenshot of the menu failed"; }
# How many pixels two pictures differ in.
differing_pixels() { compare -metric AE "$out/$1.png" "$out/$2.png" null: 2>&1 || true; }
# The menu now open shows "設定" without its check mark: it looks like the
# first menu, not like the one opened while the window was shown.
menu_unchecked() {
  snap_menu menu-now
  [ "$(differing_pixels menu-now menu-unchecked)" = 0 ] ||
    fail "設定 is still checked ($1): the menu differs from the first one"
  [ "$(differing_pixels menu-now menu-checked)" != 0 ] ||
    fail "設定 is still checked ($1): the menu looks like the one with the check mark"
}

step "any button opens the menu"
open_menu 3
import -window root "$out/menu.png" || fail "screenshot of the menu failed"
snap_menu menu-unchecked
read -r mx my mw mh < <(geometry "$menu")
echo "menu at $mx,$my ${mw}x${mh}"
xdotool key Escape
poll 5 no_menu || fail "Escape did not close the menu"
hidden || fail "the window opened although the menu was closed without a choice"
open_menu 1
xdotool key Escape
poll 5 no_menu || fail "Escape did not close the menu opened by the left button"
open_menu 2
xdotool key Escape
poll 5 no_menu || fail "Escape did not close the menu opened by the middle button"
hidden || fail "the window opened although no item was chosen"

step "設定 opens the window beside the tray"
open_window "first time"
normal_size=$(client_size)
echo "window frame at $placed, client ${normal_size}"
# The picture once the window has painted its controls (more than a couple
# of colours in it).
painted() { [ "$(import -window "$window" png:- 2>/dev/null | identify -format %k - 2>/dev/null)" -gt 8 ]; }
poll 10 painted || fail "the window did not paint itself"
import -window root "$out/window-beside-tray.png" || fail "screenshot of the window failed"

step "設定 while the window is shown hides it"
open_menu 3
snap_menu menu-checked
[ "$(differing_pixels menu-checked menu-unchecked)" != 0 ] ||
  fail "設定 has no check mark while the window is shown"
choose 1
poll 5 hidden || fail "設定 did not hide the shown window"

step "minimising hides the window and clears the check mark"
# Three times: the window manager's reports of the state can come in
# different orders.
for round in 1 2 3; do
  ((round > 1)) || open_window "before minimising"
  xdotool windowminimize "$window"
  poll 5 hidden || fail "minimising did not hide the window (round $round)"
  stays_hidden || fail "the window came back on the screen after minimising (round $round)"
  # With the mark left set, this "設定" would hide the window instead.
  open_window "after minimising, round $round" menu_unchecked
done

step "maximising hides the window and clears the check mark"
# icewm maximises the focused window on Alt+F10.
xdotool windowactivate "$window" 2>/dev/null || true
poll 5 eval '[ "$(xdotool getactivewindow 2>/dev/null)" = "$window" ]' ||
  fail "the window cannot be made active"
xdotool key alt+F10
poll 5 hidden || fail "maximising did not hide the window"
stays_hidden || fail "the window came back on the screen after maximising"
open_window "after maximising" menu_unchecked

step "トレイに戻す hides the window and clears the check mark"
# The button sits at the bottom right of the window's client area (282,388
# 120x30 in the window's layout). The window is made active first: a click
# on an inactive window can go to the window manager's focus handling.
xdotool windowactivate "$window" 2>/dev/null || true
poll 5 eval '[ "$(xdotool getactivewindow 2>/dev/null)" = "$window" ]' ||
  fail "the window cannot be made active"
xdotool mousemove --window "$window" 342 403 click 1
poll 5 hidden || true
hidden || fail "トレイに戻す did not hide the window"
open_window "after トレイに戻す" menu_unchecked
open_menu 3
choose 1
poll 5 hidden || fail "設定 did not hide the window"

step "the tray host ends and a new one starts"
old_icon=$icon
kill "$icewm_pid"
wait "$icewm_pid" 2>/dev/null || true
unembedded() { [ "$(parent_name "$old_icon")" != YXTrayEmbedder ] || ! viewable "$old_icon"; }
poll 5 unembedded || fail "the icon stayed in the tray after icewm ended"
start_icewm
poll 10 find_icon || fail "the icon was not embedded into the new tray"
echo "icon embedded again: $icon (was $old_icon)"
open_menu 3
xdotool key Escape
poll 5 no_menu || fail "Escape did not close the menu after the restart"
hidden || fail "the window opened after the restart"

step "終了 ends the program"
open_menu 3
xdotool key Down Down Return
poll 10 eval '! kill -0 "$qpid" 2>/dev/null' || fail "終了 did not end the program"
wait "$qpid" || fail "the program ended with status $?"
grep -q 'WindowChangeTime=0' "$work/Quorvane.ini" || fail "WindowChangeTime was not written"
step PASS
