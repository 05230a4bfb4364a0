#!/usr/bin/env bash
# Tray system test, run inside with-xvfb.sh --wm icewm:
#   shell_tray.sh <shell_tray_probe> <output dir>
# or, with the tray host starting after the program (inside --wm none):
#   shell_tray.sh --late-host <shell_tray_probe> <output dir>
# 1. the icon is embedded into icewm's system tray,
# 2. the panel's rectangle gives the window a place above the tray,
# 3. a click opens the menu "設定" / "終了" with "終了" as the default (bold)
#    item; a screenshot of the open menu is kept as <output dir>/menu.png,
# 4. after icewm restarts, the program is told that the tray host came back,
#    shows its icon again with its tooltip, and the icon is embedded into the
#    new tray,
# 5. "終了" from the menu ends the program cleanly and deletes the icon.
set -euo pipefail

late=0
if [ "$1" = --late-host ]; then late=1; shift; fi
probe=$1
out=$2
rm -rf "$out"
mkdir -p "$out"
log=$out/probe.log

fail() {
  echo "FAIL: $*" >&2
  echo "--- probe output ---" >&2
  cat "$log" >&2 || true
  exit 1
}

now_ms() { date +%s%3N; }

# Waits until the probe has written at least $3 (default 1) lines matching
# $1, at most $2 seconds.
wait_line() {
  local pattern=$1 limit=$2 count=${3:-1} start
  start=$(now_ms)
  until [ "$(grep -c -- "$pattern" "$log")" -ge "$count" ]; do
    (( $(now_ms) - start < limit * 1000 )) || fail "no '$pattern' (x$count) within ${limit}s"
    kill -0 "$probe_pid" 2>/dev/null || fail "probe ended while waiting for '$pattern'"
    sleep 0.02
  done
}

# The icon's X window as last reported by the probe.
icon_window() { { grep '^ICON_WINDOW ' "$log" || true; } | tail -1 | awk '{print $2}'; }

# True when window $1 is viewable and sits inside icewm's tray.
embedded() {
  local id=$1
  xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable' || return 1
  xwininfo -children -id "$id" 2>/dev/null | grep -q 'Parent window id: .*"YXTrayEmbedder"'
}

# Waits until the icon is embedded; prints the milliseconds it took from $1.
wait_embedded() {
  local since=$1 limit_ms=$2 id
  while :; do
    id=$(icon_window)
    if [ -n "$id" ] && embedded "$id"; then
      echo $(( $(now_ms) - since ))
      return 0
    fi
    (( $(now_ms) - since < limit_ms )) || return 1
    sleep 0.01
  done
}

# "X Y W H" of the icon's window on the screen.
icon_geometry() {
  local geo
  geo=$(xwininfo -id "$(icon_window)")
  awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
       /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}' <<<"$geo"
}

# Waits until the icon stays put for 100 ms: a tray that has just taken it in
# may still be laying out its icons (the 30 s limit only turns a hang into a
# failure).
wait_icon_settled() {
  local start previous="" current
  start=$(now_ms)
  while :; do
    current=$(icon_geometry)
    [ "$current" = "$previous" ] && return 0
    (( $(now_ms) - start < 30000 )) || fail "icon keeps moving: $current"
    previous=$current
    sleep 0.1
  done
}

click_icon() {
  local x y w h
  read -r x y w h <<<"$(icon_geometry)"
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
}

if ((late)); then
  # The program starts while there is no tray; icewm comes later and the
  # icon must be embedded then, after the program was told the host came.
  "$probe" >"$log" 2>"$out/probe.err" &
  probe_pid=$!
  icewm_pid=
  trap 'kill "$probe_pid" 2>/dev/null || true; [ -z "$icewm_pid" ] || kill "$icewm_pid" 2>/dev/null || true' EXIT
  wait_line '^ICON_ADDED' 30
  grep -q '^SHOW tip=Remote Receiver ok=0' "$log" || fail "the icon was not refused without a tray"
  id=$(icon_window)
  if [ -n "$id" ] && embedded "$id"; then fail "icon embedded without a tray"; fi
  icewm >"$out/icewm.log" 2>&1 &
  icewm_pid=$!
  started=$(now_ms)
  wait_line '^HOST_RESTARTED' 30
  wait_line '^SHOW tip=Remote Receiver' 30 2
  ms=$(wait_embedded "$started" 30000) || fail "icon not embedded after the tray host started"
  echo "icon embedded ${ms} ms after icewm was started"
  echo "late_embed_ms=$ms" >"$out/figures.txt"
  kill "$probe_pid"
  wait "$probe_pid" 2>/dev/null || true
  echo "PASS"
  exit 0
fi

# icewm must run with its tray.
xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' || fail "icewm is not running"

"$probe" >"$log" 2>"$out/probe.err" &
probe_pid=$!
trap 'kill "$probe_pid" 2>/dev/null || true' EXIT

wait_line '^ICON_ADDED' 30
added=$(now_ms)
wait_line '^ICON_WINDOW ' 30
ms=$(wait_embedded "$added" 30000) || fail "icon not embedded into the tray"
echo "icon embedded ${ms} ms after it was added"
echo "embed_ms=$ms" >"$out/figures.txt"
grep -q '^WATCH on' "$log" || fail "tray restart watch did not start"

# Placement: icewm's taskbar is at the bottom; the window goes right above it,
# flush with the right edge.
wait_line '^PLACEMENT ' 30
placement=$(grep '^PLACEMENT ' "$log")
echo "$placement"
field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<"$placement"; }
[ "$(field edge)" = 3 ] || fail "taskbar edge is not the bottom"
bar_top=$(field bar | cut -d, -f2)
[ "$(field y)" -eq $((bar_top - 200)) ] || fail "window not right above the taskbar"
[ "$(field x)" -eq $((1280 - 300)) ] || fail "window not at the right edge"

# A click opens the menu.
wait_icon_settled
click_icon
wait_line '^MENU_OPEN ' 30
menu=$(grep '^MENU_OPEN ' "$log" | tail -1)
echo "$menu"
grep -q 'items=設定\[checkable\]|終了|' <<<"$menu" || fail "menu items wrong"
grep -q ' default=終了 ' <<<"$menu" || fail "終了 is not the default item"
grep -q '^ACTIVATED 1' "$log" || fail "left click did not activate the icon with button 1"
import -window root "$out/menu.png" || fail "screenshot failed"
xdotool key Escape
wait_line '^MENU_CLOSED -1' 30

# Restart the panel: the tray goes away and comes back.
icewm -r
restarted=$(now_ms)
wait_line '^HOST_RESTARTED' 30
wait_line '^SHOW tip=' 30 2
grep '^SHOW tip=' "$log" | tail -1 | grep -q 'tip=Remote Receiver' || fail "tooltip lost"
ms=$(wait_embedded "$restarted" 30000) || fail "icon not back in the tray after the restart"
echo "icon back in the tray ${ms} ms after the restart request"
echo "reembed_ms=$ms" >>"$out/figures.txt"

# "終了" ends the program.
wait_icon_settled
click_icon
wait_line '^MENU_OPEN ' 30 2
menu=$(grep '^MENU_OPEN ' "$log" | tail -1)
exit_at=$(sed -n 's/.* at_終了=\([0-9]*\),\([0-9]*\).*/\1 \2/p' <<<"$menu")
[ -n "$exit_at" ] || fail "no position for 終了"
# shellcheck disable=SC2086 # two words: x and y
xdotool mousemove $exit_at click 1
rc=0
for _ in $(seq 1 1500); do
  kill -0 "$probe_pid" 2>/dev/null || break
  sleep 0.02
done
kill -0 "$probe_pid" 2>/dev/null && fail "probe still running after 終了"
wait "$probe_pid" || rc=$?
[ "$rc" = 0 ] || fail "probe exit code $rc"
grep -q '^EXIT' "$log" || fail "終了 did not run"
grep -q '^HIDE' "$log" || fail "icon not deleted at exit"
echo "PASS"
