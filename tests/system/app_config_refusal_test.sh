#!/usr/bin/env bash
# The program refuses a configuration path that is not a regular file (a
# FIFO, a character device, a socket, a folder): it says which path and what
# it is, ends with status 1 at once, and leaves the node as it was. No display
# is needed: the check comes before anything else.
#   app_config_refusal_test.sh QUORVANE
set -euo pipefail
quorvane=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 0700 "$XDG_RUNTIME_DIR"

fail() { echo "FAIL: $*"; exit 1; }

# expect_refused PATH WORD: the program ends with 1 within 5 s, naming PATH and WORD.
expect_refused() {
  local path=$1 word=$2 status=0
  timeout 5 "$quorvane" --config "$path" 2>"$work/err" </dev/null || status=$?
  [ "$status" -eq 1 ] || fail "$path: status $status (124 is a hang), stderr: $(cat "$work/err")"
  grep -q -- "$path" "$work/err" || fail "$path: the message does not name the path: $(cat "$work/err")"
  grep -qi -- "$word" "$work/err" || fail "$path: the message does not say it is a $word: $(cat "$work/err")"
  echo "refused: $(cat "$work/err")"
}

mkfifo "$work/fifo.ini"
expect_refused "$work/fifo.ini" fifo
[ -p "$work/fifo.ini" ] || fail "the FIFO was replaced"

mkdir "$work/folder.ini"
expect_refused "$work/folder.ini" folder
[ -d "$work/folder.ini" ] || fail "the folder was replaced"

# A link to a FIFO is no better than the FIFO.
ln -s fifo.ini "$work/link.ini"
expect_refused "$work/link.ini" fifo

if mknod "$work/null.ini" c 1 3 2>/dev/null; then
  expect_refused "$work/null.ini" device
  [ -c "$work/null.ini" ] || fail "the character device was replaced"
else
  echo "mknod is not permitted here: the character-device case is left out"
fi
echo PASS
