#!/usr/bin/env bash
# Runs a command with a receiver simulator of its own serving on loopback TCP:
#   with-sim.sh QUORVANE-SIM [SERVE-OPTIONS...] -- command [args...]
# Starts `QUORVANE-SIM serve --socket <private> --tcp 127.0.0.1:0 SERVE-OPTIONS`,
# waits until it is ready, runs the command with QV_SIM_TCP=tcp:127.0.0.1:PORT and
# QV_SIM_SOCKET=<the Unix socket> in its environment, then ends the simulator.
# The command's exit code is returned.
set -euo pipefail
(($# >= 3)) || { echo "usage: $0 QUORVANE-SIM [SERVE-OPTIONS...] -- command..." >&2; exit 2; }
sim=$1
shift
options=()
while (($#)) && [ "$1" != -- ]; do
  options+=("$1")
  shift
done
[ "${1:-}" = -- ] || { echo "with-sim: -- and a command expected" >&2; exit 2; }
shift

workdir=$(mktemp -d "${TMPDIR:-/tmp}/qv-sim.XXXXXX")
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$workdir"
}
trap cleanup EXIT

"$sim" serve --socket "$workdir/sim.sock" --tcp 127.0.0.1:0 "${options[@]}" \
  >"$workdir/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 1 200); do
  grep -q '^ready$' "$workdir/sim.log" && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.05
done
if ! grep -q '^ready$' "$workdir/sim.log"; then
  echo "with-sim: the simulator did not start" >&2
  cat "$workdir/sim.log" >&2
  exit 1
fi
endpoint=$(awk '/^tcp / {print $2; exit}' "$workdir/sim.log")
export QV_SIM_TCP="tcp:$endpoint"
export QV_SIM_SOCKET="$workdir/sim.sock"

set +e
"$@"
rc=$?
set -e
exit "$rc"
