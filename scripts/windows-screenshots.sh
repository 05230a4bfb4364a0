#!/usr/bin/env bash
# Screenshots of the Windows program's window on both tabs, taken under Wine on
# a private Xvfb with the receiver simulator connected:
#   docs/windows-window-tab1.png  run mode, two slots fired
#   docs/windows-window-tab2.png  the entry editor on a stored slot
# The Japanese captions need the ja_JP.UTF-8 locale (install-deps.sh makes it).
#   scripts/windows-screenshots.sh [BUILD-WINDOWS [QUORVANE-SIM]]
# The Windows build must have quorvane.exe and win32_windowctl.exe; QUORVANE-SIM
# is the Linux build's simulator (default build/sim/quorvane-sim).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build-windows}" && pwd)
sim=$(cd "$(dirname "${2:-build/sim/quorvane-sim}")" && pwd)/$(basename "${2:-build/sim/quorvane-sim}")

if [ -z "${QV_SIM_TCP:-}" ]; then
  export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
  exec tests/support/with-xvfb.sh -- tests/win32/with-wine.sh \
    tests/win32/with-sim.sh "$sim" -- "$0" "$build" "$sim"
fi

# shellcheck source=tests/support/procs.sh
source tests/support/procs.sh
work=$(mktemp -d)
remove_on_exit "$work"
quorvane=$build/src/app/win32/quorvane.exe
windowctl=$build/tests/win32ui/win32_windowctl.exe
fail() { echo "windows-screenshots: $*" >&2; cat "$work/quorvane.log" >&2; exit 1; }
wait_for() { wait_for_line "$1" "$2" || fail "timed out waiting for '$2'"; }

printf '%s\r\n' '[General]' 'WindowChangeTime=2' \
  '[Remote1]' 'Pulse=12,34,56' 'Comment=音量アップ' 'KeyList=D[SHIFT], U[SHIFT]' \
  '[Remote2]' 'Pulse=12,34,57' 'Comment=再生 / 一時停止' 'AdjustTime=1' \
  'WindowName=MediaPlayerClass' 'KeyList=D[CTRL], DP, UP, U[CTRL]' \
  '[Remote3]' 'Pulse=12,34,58' 'Comment=チャンネル +' 'KeyList=D[SHIFT], U[SHIFT]' \
  >"$work/Quorvane.ini"

wine "$quorvane" --simulator="$QV_SIM_TCP" --config "$(winepath -w "$work/Quorvane.ini")" \
  --debug --show 2>"$work/quorvane.log" &
spawned_pids+=($!)
wait_for "$work/quorvane.log" 'start-up done'
"$sim" --socket "$QV_SIM_SOCKET" press 12 34 56 >/dev/null
wait_for "$work/quorvane.log" 'receive-list: 音量アップ'
"$sim" --socket "$QV_SIM_SOCKET" press 12 34 58 >/dev/null
wait_for "$work/quorvane.log" 'receive-list: チャンネル +'

window=$(xdotool search --name '^Quorvane$' | head -n 1)
[ -n "$window" ] || fail "no Quorvane window on the screen"
# A picture once the window has painted: two captures in a row alike.
capture() {
  local _
  for _ in $(seq 1 100); do
    import -window "$window" "$work/a.png"
    import -window "$window" "$work/b.png"
    if cmp -s "$work/a.png" "$work/b.png"; then
      cp "$work/b.png" "$1"
      return 0
    fi
  done
  fail "the window did not settle"
}
capture docs/windows-window-tab1.png

# The editor: the first free slot is 4; two steps back show slot 2.
wine "$windowctl" tab 2
wine "$windowctl" click 'previousSlotButton'
wine "$windowctl" click 'previousSlotButton'
for _ in $(seq 1 100); do
  [ "$(wine "$windowctl" text slotNumberBox | tr -d '\r')" = 2 ] && break
done
[ "$(wine "$windowctl" text slotNumberBox | tr -d '\r')" = 2 ] || fail "the editor did not step back to slot 2"
capture docs/windows-window-tab2.png

wine "$windowctl" menu 2
# The program ends before its Wine prefix goes.
for _ in $(seq 1 200); do
  kill -0 "${spawned_pids[0]}" 2>/dev/null || break
  sleep 0.05
done
echo "windows-screenshots: docs/windows-window-tab1.png docs/windows-window-tab2.png"
