#!/usr/bin/env bash
# A second quorvane ends at once, with status 0, without reading or writing its
# configuration file and without an X display; a lock file left behind by an
# ended instance blocks nothing.
set -euo pipefail
quorvane=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export XDG_RUNTIME_DIR=$dir
unset DISPLAY WAYLAND_DISPLAY

# Another instance holds the lock (flock keeps it while its command runs).
exec 9>"$dir/quorvane.lock"
flock -n 9
start=$(date +%s%N)
set +e
timeout 10 "$quorvane" --config "$dir/Quorvane.ini" --debug 2>"$dir/err"
rc=$?
set -e
elapsed_ms=$(( ($(date +%s%N) - start) / 1000000 ))
cat "$dir/err"
[ "$rc" -eq 0 ] || { echo "FAIL: second instance exit status $rc"; exit 1; }
[ ! -e "$dir/Quorvane.ini" ] || { echo "FAIL: the second instance touched the file"; exit 1; }
grep -q "another instance is running" "$dir/err" || { echo "FAIL: no debug line"; exit 1; }
[ "$elapsed_ms" -lt 2000 ] || { echo "FAIL: took ${elapsed_ms} ms"; exit 1; }
exec 9>&-

# The lock file stays behind; the next start gets past it (and here stops for
# want of an X display, with a clear message and status 1, which proves it was
# not taken for a running instance).
set +e
timeout 10 "$quorvane" --config "$dir/Quorvane.ini" 2>"$dir/err2"
rc=$?
set -e
cat "$dir/err2"
[ "$rc" -eq 1 ] || { echo "FAIL: start after a stale lock gave status $rc"; exit 1; }
grep -q "no X display" "$dir/err2" || { echo "FAIL: unexpected reason"; exit 1; }
echo "PASS (second instance ended in ${elapsed_ms} ms)"
