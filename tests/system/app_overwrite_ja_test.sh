#!/usr/bin/env bash
# System test of the overwrite question on a Japanese desktop, run under
# tests/support/with-xvfb.sh --wm openbox: the real program started with
# LANG=ja_JP.UTF-8 loads Qt's Japanese texts, and storing a slot a second time
# asks "既に記録されています。上書きしますか？". A picture of the window with the
# question is kept as OUTPUT-DIR/overwrite-question-ja.png (the README shows
# it as docs/overwrite-question-ja.png). Enter takes the default answer,
# いいえ, and the file stays as it was. The buttons' texts are read by the Qt
# window test (tests/integration), which can see them.
#   app_overwrite_ja_test.sh QUORVANE QUORVANE-SIM OUTPUT-DIR
set -euo pipefail
quorvane=$1 sim=$2 out=$3
rm -rf "$out"
mkdir -p "$out"
work=$(mktemp -d)
# shellcheck source=/dev/null
source "$(dirname "$0")/../support/procs.sh"
# shellcheck source=/dev/null
source "$(dirname "$0")/../support/x11-windows.sh"
remove_on_exit "$work"
sock=$XDG_RUNTIME_DIR/sim.sock
ini=$work/Quorvane.ini

fail() {
  echo "FAIL: $*"
  for f in "$work"/*.log; do echo "--- $f"; cat "$f"; done
  [ ! -f "$ini" ] || { echo "--- $ini"; cat "$ini"; }
  import -window root "$out/failure.png" 2>/dev/null || true
  exit 1
}
wait_for() { wait_for_line "$1" "$2" || fail "timed out waiting for '$2' in $1"; }

locale -a 2>/dev/null | grep -qix 'ja_JP.utf8' ||
  fail "the ja_JP.UTF-8 locale is missing (scripts/install-deps.sh generates it)"

# Slot 1 as a user might have stored it; the key list written without
# blanks, which storing it again would change.
printf '%s\r\n' '[Remote1]' 'Pulse=10,20,01' 'Comment=入力切替して決定' 'AdjustTime=1' \
  'WindowName=gedit' 'KeyList=D[KANJI],U[KANJI],D[RETURN],U[RETURN]' |
  iconv -f UTF-8 -t CP932 >"$ini"
cp "$ini" "$work/before.ini"

"$sim" serve --socket "$sock" >"$work/sim.log" 2>&1 &
spawned_pids+=($!)
wait_for "$work/sim.log" '^ready'

# A Japanese desktop: nothing but LANG speaks for the language.
env -u LC_ALL -u LC_MESSAGES -u LANGUAGE LANG=ja_JP.UTF-8 \
  "$quorvane" --simulator="$sock" --config "$ini" --show --tab 2 --debug 2>"$work/quorvane.log" &
qpid=$!
spawned_pids+=("$qpid")
wait_for "$work/quorvane.log" 'start-up done'
grep -q 'Qt translations: .*qtbase_ja\.qm' "$work/quorvane.log" ||
  fail "Qt's Japanese translations were not loaded"

# The program's viewable windows titled Quorvane: the main window, and the
# message box while it is open.
windows_of_program() {
  local w
  for w in $(xdotool search --onlyvisible --name '^Quorvane$' 2>/dev/null || true); do
    [ "$(xprop -id "$w" _NET_WM_PID 2>/dev/null | awk '{print $3}')" = "$qpid" ] && echo "$w"
  done
  return 0
}
main=""
poll eval 'main=$(windows_of_program | head -n 1); [ -n "$main" ]' || fail "the window did not show"
# The store button "追加 / 変更" (at 265,268 115x28 on the page at 10,36).
store() { xdotool mousemove --window "$main" 332 318 click 1; }

# The stored slot 1, shown by the step back from the first free slot, and
# stored again. A pulse is captured first: had the step back been lost, the
# free slot would be stored without a question (and the test fail), where the
# warning about a missing pulse would look like a question here.
"$sim" --socket "$sock" press 10 20 2 >/dev/null
wait_for "$work/quorvane.log" 'learning mode: pulse 10,20,02'
back() { xdotool mousemove --window "$main" 233 58 click 1; }
back
store
box=""
poll eval 'box=$(windows_of_program | grep -vx "$main" | head -n 1); [ -n "$box" ]' ||
  fail "storing the slot again asked nothing"
poll eval '[ "$(xdotool getactivewindow 2>/dev/null)" = "$box" ]' || fail "the question is not active"

# The box has painted once its picture holds its text and icon, not one
# plain colour.
painted() {
  import -window "$box" "$work/box.png" 2>/dev/null &&
    [ "$(identify -format '%k' "$work/box.png")" -gt 16 ]
}
poll painted || fail "the question was not painted"
read -r mx my mw mh < <(frame_geometry "$main")
read -r bx by bw bh < <(frame_geometry "$box")
x0=$((mx < bx ? mx : bx)) y0=$((my < by ? my : by))
x1=$((mx + mw > bx + bw ? mx + mw : bx + bw)) y1=$((my + mh > by + bh ? my + mh : by + bh))
import -window root -crop "$((x1 - x0))x$((y1 - y0))+$x0+$y0" +repage "$out/overwrite-question-ja.png" ||
  fail "the screenshot failed"
echo "screenshot: $out/overwrite-question-ja.png ($((x1 - x0))x$((y1 - y0)))"

# Enter answers with the default button, いいえ: the box closes and the file
# is as it was.
xdotool key Return
poll eval '[ -z "$(windows_of_program | grep -vx "$main")" ]' || fail "Enter did not close the question"
cmp -s "$ini" "$work/before.ini" || fail "いいえ still wrote the slot"

kill -TERM "$qpid"
wait "$qpid" || fail "quorvane ended with status $?"
echo PASS
