#!/usr/bin/env bash
# The installed program's main job, run under tests/support/with-xvfb.sh with
# a window manager, with a private HOME and XDG_CONFIG_HOME:
#   installed_smoke_test.sh QUORVANE QUORVANE-SIM QUORVANE-KEYTARGET
# 1. The first start finds no file: the program names
#    $XDG_CONFIG_HOME/quorvane/Quorvane.ini (the executable's folder is a
#    system folder) and writes it there when it ends; nothing appears beside
#    the executable.
# 2. A button taught in that file: a simulated press ends as the button's keys
#    in the target window and nowhere else. (The focus going back is the
#    system tests' job: tests/system/app_dispatch_test.sh.)
set -euo pipefail
quorvane=$1 sim=$2 keytarget=$3
work=$(mktemp -d)
# shellcheck source=/dev/null
source "$(dirname "$0")/../support/procs.sh"
remove_on_exit "$work"
export HOME=$work/home XDG_CONFIG_HOME=$work/config
mkdir -p "$HOME"
ini=$XDG_CONFIG_HOME/quorvane/Quorvane.ini
beside=$(dirname "$(realpath "$quorvane")")/Quorvane.ini
sock=$XDG_RUNTIME_DIR/sim.sock

fail() { echo "FAIL: $*"; for f in "$work"/*.log; do echo "--- $f"; cat "$f"; done; exit 1; }
wait_for() { wait_for_line "$1" "$2" || fail "timed out waiting for '$2' in $1"; }
keys_of() { awk '/^(press|release) / {printf "%s%s %s", sep, $1, $2; sep=" "}' "$1"; }

[ ! -e "$beside" ] || fail "$beside exists before the test"
"$sim" serve --socket "$sock" >"$work/sim.log" 2>&1 &
spawned_pids+=($!)
wait_for "$work/sim.log" '^ready'

# 1. First start.
"$quorvane" --simulator="$sock" --debug 2>"$work/first.log" &
qpid=$!
spawned_pids+=("$qpid")
wait_for "$work/first.log" 'start-up done'
kill -TERM "$qpid"
wait "$qpid" || fail "quorvane ended with status $? after its first start"
[ -f "$ini" ] || fail "no $ini after the first start"
grep -q '^WindowChangeTime=' "$ini" || fail "$ini holds no WindowChangeTime"
[ ! -e "$beside" ] || fail "the program wrote $beside"
echo "ok: the first start wrote $ini"

# 2. A taught button.
"$keytarget" --class QvPkgTarget --output "$work/target.log" &
spawned_pids+=($!)
wait_for "$work/target.log" '^ready'
"$keytarget" --class QvPkgOther --output "$work/other.log" &
spawned_pids+=($!)
wait_for "$work/other.log" '^ready'
other=$(awk '/^ready/ {print $2; exit}' "$work/other.log")
xdotool windowactivate --sync "$other"

printf '%s\r\n' '[Remote1]' 'Pulse=21,43,65' 'Comment=installed' 'AdjustTime=0' \
  'WindowName=QvPkgTarget' 'KeyList=D[SHIFT], DQ, UQ, U[SHIFT], D[RETURN], U[RETURN]' >>"$ini"
"$quorvane" --simulator="$sock" --debug 2>"$work/second.log" &
qpid=$!
spawned_pids+=("$qpid")
wait_for "$work/second.log" 'start-up done'
"$sim" --socket "$sock" press 21 43 65 >/dev/null
wait_for "$work/second.log" 'receive-list: installed'
wait_for "$work/target.log" 'release Return'
[ "$(keys_of "$work/target.log")" = "press Shift_L press Q release Q release Shift_L press Return release Return" ] ||
  fail "the target got: $(keys_of "$work/target.log")"
[ -z "$(keys_of "$work/other.log")" ] || fail "the other window got keys: $(keys_of "$work/other.log")"
kill -TERM "$qpid"
wait "$qpid" || fail "quorvane ended with status $?"
echo "ok: a pressed button's keys arrived in the target window"
echo PASS
