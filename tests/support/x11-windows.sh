# shellcheck shell=bash
# Shared by the system tests that look at the program's windows on X. Source it
# after procs.sh:
#   poll [--limit SECONDS] CMD...   runs CMD until it succeeds; 1 after SECONDS (10)
#   frame_geometry WINDOW           "x y width height" of the window's frame on the
#                                   screen (its ancestor that is a child of the root)

poll() {
  local limit=10 _
  if [ "$1" = --limit ]; then
    limit=$2
    shift 2
  fi
  for _ in $(seq 1 $((limit * 20))); do
    if "$@"; then return 0; fi
    sleep 0.05
  done
  return 1
}

frame_geometry() {
  local w=$1 p root
  root=$(xwininfo -root | awk '/Window id:/ {print $4}')
  while p=$(xwininfo -children -id "$w" | awk '/Parent window id:/ {print $4; exit}') &&
    [ -n "$p" ] && [ $((p)) -ne $((root)) ]; do
    w=$p
  done
  xwininfo -id "$w" | awk '/Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4}
                          /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}'
}
