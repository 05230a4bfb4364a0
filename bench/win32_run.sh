#!/usr/bin/env bash
# Figures of the Windows program under Wine, with the Linux program's beside
# them, measured in one run:
#  - latency from a simulated button press to the key in the target window,
#    200 presses, target already in front (Windows: quorvane.exe under Wine on
#    the Linux simulator over TCP; Linux: quorvane under icewm);
#  - size of quorvane.exe (as built, and stripped as in the zip);
#  - start-up time of quorvane.exe under Wine (start of the Wine process to the end
#    of start-up, the tray icon added), 10 runs.
# Usage: bench/win32_run.sh [LINUX_BUILD] [WINDOWS_BUILD]   (defaults build, build-windows;
# the Linux build needs quorvane, quorvane-sim, quorvane-keytarget, quorvane-app-bench
# and quorvane-win32-latency, the Windows build quorvane.exe and win32_keytarget.exe).
set -euo pipefail
cd "$(dirname "$0")/.."
linux=$(cd "${1:-build}" && pwd)
windows=$(cd "${2:-build-windows}" && pwd)
here=$(pwd)
sim=$linux/sim/quorvane-sim
bench=$linux/bench/quorvane-app-bench
latency=$linux/bench/quorvane-win32-latency
exe=$(find "$windows" -name quorvane.exe -type f -not -path '*/CMakeFiles/*' | head -n 1)
keytarget=$windows/tests/win32/win32_keytarget.exe
wine_run=$here/cmake/wine-run.sh

case "${QV_BENCH_PART:-}" in
  windows)
    work=$(mktemp -d)
    # shellcheck source=tests/support/procs.sh
    source tests/support/procs.sh
    remove_on_exit "$work"
    "$sim" serve --socket "$work/sim.sock" --tcp 127.0.0.1:0 >"$work/sim.log" 2>&1 &
    spawned_pids+=($!)
    wait_for_line "$work/sim.log" '^ready' || { echo "the simulator did not start" >&2; exit 1; }
    tcp="tcp:$(awk '/^tcp / {print $2; exit}' "$work/sim.log")"
    printf '%s\r\n' '[General]' 'WindowChangeTime=0' '[Remote1]' 'Pulse=12,34,56' 'Comment=bench' \
      'WindowName=QvBenchTarget' 'KeyList=DA, UA' >"$work/Quorvane.ini"
    "$wine_run" "$exe" --simulator="$tcp" --config "Z:$work/Quorvane.ini" --debug 2>"$work/quorvane.log" &
    qpid=$!
    spawned_pids+=("$qpid")
    wait_for_line "$work/quorvane.log" 'start-up done' || { echo "quorvane.exe did not start" >&2; exit 1; }
    echo "== Windows (Wine 8): target already in the foreground"
    "$latency" "$work/sim.sock" 200 -- "$wine_run" "$keytarget" QvBenchTarget --foreground
    "$wine_run" taskkill /im quorvane.exe >/dev/null 2>&1 || true
    wait "$qpid" || true
    echo "== Windows (Wine 8): start-up (start of the Wine process to the end of start-up), 10 runs"
    # Each run is ended as a user would (WM_CLOSE), so the next one starts clean;
    # the log is looked at every 5 ms.
    times=()
    for _ in $(seq 1 10); do
      rm -f "$work/startup.log"
      start=$EPOCHREALTIME
      "$wine_run" "$exe" --simulator="$tcp" --config "Z:$work/Quorvane.ini" --debug 2>"$work/startup.log" &
      pid=$!
      for _ in $(seq 1 2000); do
        grep -q 'start-up done' "$work/startup.log" 2>/dev/null && break
        sleep 0.005
      done
      times+=("$(awk -v s="$start" -v e="$EPOCHREALTIME" 'BEGIN { printf "%.0f", (e - s) * 1000 }')")
      "$wine_run" taskkill /im quorvane.exe >/dev/null 2>&1 || true
      wait "$pid" || true
    done
    printf '%s\n' "${times[@]}" | sort -n |
      awk '{ v[NR] = $1 } END { printf "  min %d ms  p50 %d ms  max %d ms\n", v[1], v[int((NR + 1) / 2)], v[NR] }'
    ;;
  linux)
    work=$(mktemp -d)
    # shellcheck source=tests/support/procs.sh
    source tests/support/procs.sh
    remove_on_exit "$work"
    sock=$XDG_RUNTIME_DIR/sim.sock
    "$sim" serve --socket "$sock" >"$work/sim.log" 2>&1 &
    spawned_pids+=($!)
    wait_for_line "$work/sim.log" '^ready' || exit 1
    "$linux/tools/quorvane-keytarget" --class QvBenchTarget --output "$work/target.log" &
    spawned_pids+=($!)
    wait_for_line "$work/target.log" '^ready' || exit 1
    target=$(awk '/^ready/ {print $2; exit}' "$work/target.log")
    printf '%s\r\n' '[General]' 'WindowChangeTime=0' '[Remote1]' 'Pulse=12,34,56' 'Comment=bench' \
      'WindowName=QvBenchTarget' 'KeyList=DA, UA' >"$work/Quorvane.ini"
    "$linux/src/app/quorvane" --simulator="$sock" --config "$work/Quorvane.ini" --debug 2>"$work/quorvane.log" &
    spawned_pids+=($!)
    wait_for_line "$work/quorvane.log" 'start-up done' || exit 1
    xdotool windowactivate --sync "$target"
    echo "== Linux (X11, icewm): target already in the foreground"
    "$bench" latency "$sock" "$work/target.log" 200
    ;;
  *)
    [ -n "$exe" ] || { echo "no quorvane.exe in $windows" >&2; exit 1; }
    stripped=$(mktemp)
    x86_64-w64-mingw32-strip -o "$stripped" "$exe"
    echo "== quorvane.exe: $(stat -c %s "$exe") bytes as built, $(stat -c %s "$stripped") bytes stripped"
    rm -f "$stripped"
    QV_BENCH_PART=windows tests/support/with-xvfb.sh -- tests/win32/with-wine.sh "$0" "$linux" "$windows"
    QV_BENCH_PART=linux tests/support/with-xvfb.sh --wm icewm -- "$0" "$linux" "$windows"
    ;;
esac
