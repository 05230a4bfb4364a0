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
for _ in 1 2 3 4 5; do
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
    wm_pid=$!
    pids+=("$wm_pid") ;;
  icewm)
    icewm >"$workdir/wm.log" 2>&1 &
    wm_pid=$!
    pids+=("$wm_pid") ;;
  *) echo "with-xvfb: unknown window manager $wm" >&2; exit 2 ;;
esac

wm_failed() {
  echo "with-xvfb: $wm $1" >&2
  cat "$workdir/wm.log" >&2
  exit 1
}

# Waits (up to 20 s, the bound for a loaded machine) until the window manager
# has claimed the screen and manages new windows.
#
# Claiming the screen (_NET_SUPPORTING_WM_CHECK on the root) is not yet
# serving it: openbox sets the property before it loads its configuration and
# theme, and a window mapped in that gap stays unmapped until some later event
# happens to reach openbox, which on an idle private server may be never (its
# MapRequest has been read from the connection but is not dispatched). So a
# probe window is mapped and the root is touched until the manager has taken
# the probe on; touching the root each round wakes a manager that sits on
# requests it read during its start. The probe is then closed again, and the
# manager given the time to let it go, so the command starts with no clients.
wait_for_wm() {
  local i probe probe_win="" managed=""
  for ((i = 0; i < 400; i++)); do
    if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then break; fi
    kill -0 "$wm_pid" 2>/dev/null || wm_failed "ended while starting"
    sleep 0.05
  done
  ((i < 400)) || wm_failed "did not claim the screen within 20 s"

  xmessage -name qv-xvfb-probe -geometry +0+0 "with-xvfb probe" >/dev/null 2>&1 &
  probe=$!
  pids+=("$probe")
  for ((i = 0; i < 400; i++)); do
    kill -0 "$wm_pid" 2>/dev/null || wm_failed "ended while starting"
    xprop -root -f _QV_XVFB_NUDGE 32c -set _QV_XVFB_NUDGE "$i" 2>/dev/null || true
    if [ -z "$probe_win" ]; then
      probe_win=$(xdotool search --classname '^qv-xvfb-probe$' 2>/dev/null | head -n 1 || true)
    fi
    if [ -n "$probe_win" ] && xprop -id "$probe_win" WM_STATE 2>/dev/null | grep -q 'window state'; then
      managed=1
      break
    fi
    sleep 0.05
  done
  kill "$probe" 2>/dev/null || true
  wait "$probe" 2>/dev/null || true
  unset 'pids[-1]'
  xprop -root -remove _QV_XVFB_NUDGE 2>/dev/null || true
  [ -n "$managed" ] || wm_failed "did not manage a window within 20 s"

  local hex
  hex=$(printf '0x%x' "$probe_win")
  for ((i = 0; i < 400; i++)); do
    if ! xprop -root _NET_CLIENT_LIST 2>/dev/null | grep -qw -- "$hex"; then return 0; fi
    sleep 0.05
  done
  wm_failed "did not let the probe window go within 20 s"
}
[ "$wm" = none ] || wait_for_wm

set +e
"$@"
rc=$?
set -e
exit "$rc"
