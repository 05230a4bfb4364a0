#!/usr/bin/env bash
# quorvane.exe in a folder it cannot write (as under C:\Program Files) with a
# Quorvane.ini beside it, under Wine (run this under tests/win32/with-sim.sh and
# tests/win32/with-wine.sh, with a Japanese locale: the file is Shift-JIS):
#   - the file beside the program is read (a press of its slot fires it, the
#     debug log names that file and where changes will go);
#   - the first change (the program writes WindowChangeTime, which the file
#     does not hold, when it ends) copies it to %APPDATA%\Quorvane\ and goes
#     there: the Shift-JIS text and the comment line arrive unchanged, the
#     original stays as it was;
#   - the next start reads the copy.
# It makes a Wine prefix of its own (tests/win32/with-wine.sh): as root it runs
# in it, Wine's server included (which opens the files), without the
# capabilities that let root write anywhere, so the folder's permission bits
# hold for the program too.
#   readonly_folder_test.sh WINE-RUNNER QUORVANE.EXE QUORVANE-SIM
set -euo pipefail
wine_run=$1 quorvane=$2 sim=$3
: "${QV_SIM_TCP:?run under with-sim.sh}" "${QV_SIM_SOCKET:?run under with-sim.sh}"
here=$(cd "$(dirname "$0")" && pwd)
if [ "${QV_IN_OWN_PREFIX:-}" != 1 ]; then
  unprivileged=()
  if [ "$(id -u)" -eq 0 ]; then
    unprivileged=(setpriv "--bounding-set=-dac_override,-dac_read_search"
      "--inh-caps=-dac_override,-dac_read_search" --)
  fi
  QV_IN_OWN_PREFIX=1 exec "${unprivileged[@]}" "$here/with-wine.sh" "$0" "$@"
fi
# shellcheck source=tests/support/procs.sh
source "$here/../support/procs.sh"
work=$(mktemp -d)
remove_on_exit "$work"

fail() {
  chmod 0755 "$work/Program" 2>/dev/null || true
  echo "FAIL: $*"
  for f in "$work"/*.log; do echo "--- $f"; cat "$f"; done
  exit 1
}
wait_for() { wait_for_line "$1" "$2" || fail "timed out waiting for '$2' in $1"; }

program=$work/Program
mkdir "$program"
cp "$quorvane" "$program/quorvane.exe"
# [Remote1] with the comment 表示の切替 in Shift-JIS, a comment line and LF line
# ends: a rewrite would turn them into CR LF, a copy keeps them.
printf '; settings\n[Remote1]\nPulse=12,34,59\nComment=\x95\x5c\x8e\xa6\x82\xcc\x90\xd8\x91\xd6\nKeyList=\n' \
  >"$program/Quorvane.ini"
cp "$program/Quorvane.ini" "$work/original.ini"
chmod 0555 "$program"
touch "$program/probe" 2>/dev/null && fail "the program folder is writable"

start() { # LOG
  "$wine_run" "$program/quorvane.exe" --simulator="$QV_SIM_TCP" --debug \
    >"$1" 2>&1 &
  qpid=$!
  spawned_pids+=("$qpid")
  wait_for "$1" 'start-up done'
}
stop() {
  "$wine_run" taskkill /im quorvane.exe >/dev/null 2>&1 || true
  wait "$qpid" || fail "quorvane.exe ended with status $?"
}

start "$work/first.log"
grep -Eq 'configuration: Z:.*\\Program\\Quorvane\.ini \(its folder cannot be written: the first change goes into a copy, .*\\Quorvane\\Quorvane\.ini\)' \
  "$work/first.log" || fail "the debug log does not name the file beside the program"
"$sim" --socket "$QV_SIM_SOCKET" press 12 34 59 >/dev/null
wait_for "$work/first.log" 'receive-list: 表示の切替'
stop
grep -q 'configuration: copied .*Program\\Quorvane.ini to ' "$work/first.log" ||
  fail "no copy was made at the first change"

cmp -s "$program/Quorvane.ini" "$work/original.ini" || fail "the file beside the program changed"
copy=$(find "$WINEPREFIX/drive_c/users" -path '*/Roaming/Quorvane/Quorvane.ini' | head -n 1)
[ -n "$copy" ] || fail "no Quorvane.ini under %APPDATA%\\Quorvane"
# The change goes into the copy, which otherwise reads as the original does.
copied=$(tr -d '\r' <"$copy")
LC_ALL=C grep -qxF 'WindowChangeTime=0' <<<"$copied" || fail "the change is not in the copy"
LC_ALL=C grep -qxF $'Comment=\x95\x5c\x8e\xa6\x82\xcc\x90\xd8\x91\xd6' <<<"$copied" ||
  fail "the Shift-JIS comment did not arrive unchanged"
grep -q '^; settings' "$copy" || fail "the comment line was lost"

start "$work/second.log"
grep -Eq 'configuration: [A-Z]:.*\\Quorvane\\Quorvane\.ini$' <(tr -d '\r' <"$work/second.log") ||
  fail "the next start does not read the copy"
"$sim" --socket "$QV_SIM_SOCKET" press 12 34 59 >/dev/null
wait_for "$work/second.log" 'receive-list: 表示の切替'
stop
cmp -s "$program/Quorvane.ini" "$work/original.ini" || fail "the file beside the program changed"
chmod 0755 "$program"
echo PASS
