# shellcheck shell=bash
# Shared by the scripts that run the program's processes (demo, system tests,
# benchmarks). Source it after `set -euo pipefail`:
#   spawn CMD [ARGS...]        starts CMD in the background; it is ended on exit
#   remove_on_exit PATH...     paths removed on exit, after the processes ended
#   wait_for_line FILE REGEX   0 once FILE has a matching line, 1 after 10 s
# On exit every spawned process is ended, newest first, and waited for.

spawned_pids=()
exit_paths=()

spawn() {
  "$@" &
  spawned_pids+=($!)
}

remove_on_exit() {
  exit_paths+=("$@")
}

end_spawned() {
  local i
  for ((i = ${#spawned_pids[@]} - 1; i >= 0; i--)); do kill "${spawned_pids[i]}" 2>/dev/null || true; done
  for ((i = ${#spawned_pids[@]} - 1; i >= 0; i--)); do wait "${spawned_pids[i]}" 2>/dev/null || true; done
  spawned_pids=()
  if ((${#exit_paths[@]})); then rm -rf "${exit_paths[@]}"; fi
}
trap end_spawned EXIT

wait_for_line() {
  local _
  for _ in $(seq 1 200); do
    if grep -q -- "$2" "$1" 2>/dev/null; then return 0; fi
    sleep 0.05
  done
  return 1
}
