#!/usr/bin/env bash
# Prepares and removes the Wine prefixes the Windows tests run in.
#   wine-prefix.sh create DIR    a fresh prefix in DIR (absent or empty), with a
#                                persistent wineserver running for it
#   wine-prefix.sh ensure DIR    the same, unless DIR already holds a ready prefix
#                                (several callers at once: the first creates it)
#   wine-prefix.sh destroy DIR   ends the prefix's wineserver and removes DIR
#
# A fresh prefix costs a few seconds. Two things keep the tests fast and headless:
# the prefix's services are started once up front (wineboot, its output in
# DIR.wineboot.log) and a persistent wineserver keeps them, so a test process does
# not wait for them to start and close; and the registry switches off the crash
# dialog (a crash prints a backtrace and exits) and the window manager hand-over
# that waits for a manager when none runs.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/win32/wine-env.sh
. "$here/wine-env.sh"

ready_marker() { printf '%s/.quorvane-ready' "$1"; }

create() {
  local dir=$1
  mkdir -p "$dir"
  if [ -n "$(ls -A "$dir")" ]; then
    echo "wine-prefix: $dir is not empty" >&2
    return 1
  fi
  dir=$(cd "$dir" && pwd)
  export WINEPREFIX=$dir
  local log="$dir.wineboot.log"
  # The persistent server first: wineboot and every later process then use it.
  # Its own messages (a dump of what was left when it is killed) go to the log.
  wineserver -p >"$log" 2>&1
  if ! wineboot -i >>"$log" 2>&1; then
    echo "wine-prefix: wineboot failed, see $log" >&2
    return 1
  fi
  local reg="$dir.quorvane.reg"
  printf '%s\r\n' 'REGEDIT4' '' \
    '[HKEY_CURRENT_USER\Software\Wine\WineDbg]' '"ShowCrashDialog"=dword:00000000' '' \
    '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Managed"="N"' '' >"$reg"
  if ! wine regedit /S "$(winepath -w "$reg" 2>/dev/null)" >>"$log" 2>&1; then
    echo "wine-prefix: regedit failed, see $log" >&2
    return 1
  fi
  rm -f "$reg"
  touch "$(ready_marker "$dir")"
}

ensure() {
  local dir=$1
  mkdir -p "$(dirname "$dir")"
  exec {lock}>"$dir.lock"
  flock "$lock"
  if [ ! -e "$(ready_marker "$dir")" ]; then
    rm -rf "$dir"
    create "$dir"
  else
      WINEPREFIX=$(cd "$dir" && pwd) wineserver -p
  fi
  exec {lock}>&-
}

destroy() {
  local dir=$1
  [ -d "$dir" ] || return 0
  WINEPREFIX=$(cd "$dir" && pwd) wineserver -k 2>/dev/null || true
  WINEPREFIX=$(cd "$dir" && pwd) wineserver -w 2>/dev/null || true
  rm -rf "$dir" "$dir.wineboot.log" "$dir.lock"
}

case "${1:-}" in
  create) create "$2" ;;
  ensure) ensure "$2" ;;
  destroy) destroy "$2" ;;
  *) echo "usage: $0 create|ensure|destroy DIR" >&2; exit 2 ;;
esac
