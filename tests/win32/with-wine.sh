#!/usr/bin/env bash
# Runs a command with a fresh Wine prefix of its own:
#   with-wine.sh command [args...]
# The prefix lives in a temporary folder; its wineserver runs for the whole
# command and is ended, and the folder removed, afterwards. The command's exit
# code is returned. Windows and the tray need an X server: run this under
# tests/support/with-xvfb.sh.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/win32/wine-env.sh
. "$here/wine-env.sh"
(($#)) || { echo "usage: $0 command [args...]" >&2; exit 2; }

workdir=$(mktemp -d "${TMPDIR:-/tmp}/qv-wine.XXXXXX")
cleanup() {
  exec {keep_desktop}>&- 2>/dev/null || true
  "$here/wine-prefix.sh" destroy "$workdir/prefix"
  rm -rf "$workdir"
}
trap cleanup EXIT

start=$EPOCHREALTIME
"$here/wine-prefix.sh" create "$workdir/prefix"
awk -v s="$start" -v e="$EPOCHREALTIME" 'BEGIN { printf "with-wine: prefix ready in %.1f s\n", e - s }'
export WINEPREFIX="$workdir/prefix"

# Wine ends an idle desktop process a few seconds after the last program ended; a
# program that started meanwhile waited about 25 s for it. A program that waits
# for the end of this script keeps the one desktop alive: cmd.exe reading a pipe
# that closes when the script ends.
exec {keep_desktop}> >(exec wine cmd.exe >/dev/null 2>&1)

set +e
"$@"
rc=$?
set -e
exit "$rc"
