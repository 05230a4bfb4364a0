#!/usr/bin/env bash
# KDE Plasma (KWin) and GNOME (gnome-shell), headless, one after the other:
# bursts of 255 events (exact of total, send -> last key), activation time,
# and the program's press -> first key with a window switch per press.
#   bench/desktops_run.sh [BUILD_DIR] [PRESSES]
# Figures on standard output and in BUILD_DIR/bench/desktops_<desktop>_output/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
export QV_BENCH_PRESSES=${2:-100}
bench=$build/bench/bench_desktops_latency
rc=0
tests/desktops/with-desktop.sh kde --output "$build/bench/desktops_kde_output" \
  --grant "$bench" --grant "$build/src/app/quorvane" -- "$bench" || rc=$?
tests/desktops/with-desktop.sh gnome --output "$build/bench/desktops_gnome_output" \
  --extension data/gnome-shell/quorvane-windows@quorvane --tray --icons "$build/data" \
  -- "$bench" || rc=$?
exit "$rc"
