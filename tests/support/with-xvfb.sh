#!/usr/bin/env bash
# Runs a command on a private X server.
#   with-xvfb.sh [--wm openbox|icewm|none] [--screen WxHxD] -- command [args...]
# Starts Xvfb on a free display (-displayfd), a private 0700 XDG_RUNTIME_DIR,
# and the chosen window manager, runs the command with DISPLAY set, and tears
# everything down again. The command's exit code is returned.
set -euo pipefail

wm=none
screen=1280x1024x24
while (($#)); do
  case "$1" in
    --wm) wm="$2"; shift 2 ;;
    --screen) screen="$2"; shift 2 ;;
    --) shift; break ;;
    *) break ;;
  esac
done
(($#)) || { echo "usage: $0 [--wm openbox|icewm|none] [--screen WxHxD] -- command..." >&2; exit 2; }

workdir=$(mktemp -d "${TMPDIR:-/tmp}/qv-xvfb.XXXXXX")
chmod 0700 "$workdir"
pids=()
cleanup() {
  for ((i=${#pids[@]}-1; i>=0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  for ((i=${#pids[@]}-1; i>=0; i--)); do wait "${pids[i]}" 2>/dev/null || true; done
  rm -rf "$workdir"
}
trap cleanup EXIT

# Two servers started at the same moment can pick the same free display and
# one of them then gives up ("server already running"): try again.
display=""
for attempt in 1 2 3 4 5; do
  exec {fd}<> <(:)
  Xvfb -displayfd "$fd" -screen 0 "$screen" -nolisten tcp -noreset >"$workdir/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 100); do
    if read -r -t 0.1 -u "$fd" display && [ -n "$display" ]; then break; fi
    kill -0 "$xvfb_pid" 2>/dev/null || break
  done
  exec {fd}<&-
  if [ -n "$display" ] && kill -0 "$xvfb_pid" 2>/dev/null; then
    pids+=("$xvfb_pid")
    break
  fi
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  display=""
  sleep "0.$((RANDOM % 5 + 1))"
done
[ -n "$display" ] || { echo "with-xvfb: Xvfb did not start" >&2; cat "$workdir/xvfb.log" >&2; exit 1; }
export DISPLAY=":$display"
export XDG_RUNTIME_DIR="$workdir/runtime"
mkdir -m 0700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY

case "$wm" in
  none) ;;
  openbox)
    openbox --sm-disable >"$workdir/wm.log" 2>&1 &
    pids+=($!) ;;
  icewm)
    icewm >"$workdir/wm.log" 2>&1 &
    pids+=($!) ;;
  *) echo "with-xvfb: unknown window manager $wm" >&2; exit 2 ;;
esac
if [ "$wm" != none ]; then
  # Wait until the window manager has claimed the screen.
  for _ in $(seq 1 50); do
    if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then break; fi
    sleep 0.05
  done
fi

set +e
"$@"
rc=$?
set -e
exit "$rc"
