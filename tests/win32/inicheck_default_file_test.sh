#!/usr/bin/env bash
# quorvane-inicheck.exe without a file, under Wine: it checks the file of the
# quorvane.exe beside it (that folder is writable here, so Quorvane.ini there),
# and says which; with no program beside it or on PATH, the file of an
# installed one (%APPDATA%\Quorvane\Quorvane.ini).
#   inicheck_default_file_test.sh WINE-RUNNER QUORVANE-INICHECK.EXE
set -euo pipefail
wine_run=$1 inicheck=$2
# shellcheck source=tests/support/procs.sh
source "$(dirname "$0")/../support/procs.sh"
work=$(mktemp -d)
remove_on_exit "$work"

fail() {
  echo "FAIL: $*"
  exit 1
}

mkdir "$work/zip" "$work/alone"
cp "$inicheck" "$work/zip/quorvane-inicheck.exe"
cp "$inicheck" "$work/alone/quorvane-inicheck.exe"
: >"$work/zip/quorvane.exe"  # only its presence matters
printf '[General]\r\nWindowChangeTime=3\r\n' >"$work/zip/Quorvane.ini"

"$wine_run" "$work/zip/quorvane-inicheck.exe" >"$work/zip.out" 2>&1 ||
  fail "beside the program: exit status $? ($(cat "$work/zip.out"))"
out=$(tr -d '\r' <"$work/zip.out")
grep -q '^The file .*\\zip\\quorvane\.exe uses without --config: .*\\zip\\Quorvane\.ini$' <<<"$out" ||
  fail "beside the program, the first line names another file: $out"
grep -q 'WindowChangeTime = "3" -> 3' <<<"$out" || fail "the program's file was not read: $out"

status=0
"$wine_run" "$work/alone/quorvane-inicheck.exe" >"$work/alone.out" 2>&1 || status=$?
out=$(tr -d '\r' <"$work/alone.out")
grep -q '^No quorvane\.exe beside quorvane-inicheck or on PATH; the file an installed one uses without --config: .*\\Quorvane\\Quorvane\.ini$' <<<"$out" ||
  fail "alone, the first line names another file: $out"
# A fresh prefix has no such file; a prefix that has one is read.
case $status in
  0 | 1) ;;
  *) fail "alone: exit status $status ($out)" ;;
esac
echo "inicheck without a file: the program's file beside it, else an installed one's"
