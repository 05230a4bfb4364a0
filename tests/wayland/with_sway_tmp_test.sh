#!/usr/bin/env bash
# with-sway.sh from a folder under /tmp, as a checkout or build tree there
# would be: the script, the command and the output folder all live below
# /tmp, which the session covers with a private tmpfs. The command must still
# run (and see sway), the host's other /tmp entries must stay hidden, the
# output must be copied out, and a command that is out of reach is a skip.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

dir=$(mktemp -d /tmp/qv-harness.XXXXXX)
marker=$(mktemp /tmp/qv-harness-marker.XXXXXX)
trap 'rm -rf "$dir" "$marker"' EXIT
chmod 0755 "$dir"
cp "$here/with-sway.sh" "$dir/with-sway.sh"
echo "data beside the command" >"$dir/data.txt"
cat >"$dir/probe.sh" <<PROBE
#!/usr/bin/env bash
set -eu
grep -q 'data beside the command' "$dir/data.txt"
[ ! -e "$marker" ] || { echo "probe: the host's /tmp is visible inside" >&2; exit 3; }
swaymsg -t get_version >/dev/null
echo "reached sway at \$WAYLAND_DISPLAY" >"\$QV_TEST_WORKDIR/probe.txt"
PROBE
chmod 0755 "$dir/probe.sh"

set +e
"$dir/with-sway.sh" --output "$dir/out" -- "$dir/probe.sh"
rc=$?
set -e
if ((rc == 77)); then
  exit 77  # no sway or no namespaces here: the session's own reason is printed
fi
if ((rc != 0)); then
  echo "FAIL: a command under /tmp ended with $rc inside the session" >&2
  exit 1
fi
grep -q 'reached sway at' "$dir/out/probe.txt" || {
  echo "FAIL: the command's output was not copied out of the session" >&2
  exit 1
}

set +e
"$dir/with-sway.sh" -- "$dir/missing/command" 2>"$dir/missing.err"
rc=$?
set -e
if ((rc != 77)) || ! grep -q 'not reachable' "$dir/missing.err"; then
  echo "FAIL: an unreachable command gave $rc, not a skip with its reason:" >&2
  cat "$dir/missing.err" >&2
  exit 1
fi
echo "PASS: with-sway.sh runs a command under /tmp and skips one out of reach"
