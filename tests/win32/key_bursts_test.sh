#!/usr/bin/env bash
# Keys intact across the window switch, under Wine: quorvane.exe on the Linux
# simulator over TCP (run this under tests/win32/with-sim.sh) fires one slot
# COUNT times, one press after the other. Its key list is
#   D[SHIFT], DQ, UQ, U[SHIFT], D[CTRL], DC, UC, U[CTRL]
# and its target is a window of the test that is either minimised or behind the
# window the user works in (PLACEMENT minimized|behind). Each firing brings the
# target forward, sends the keys, puts the target back and gives the foreground
# back to the user's window. A burst is intact when the target received exactly
# those eight key messages as WM_KEYDOWN/WM_KEYUP (never WM_SYSKEYDOWN, which a
# window gets when it is minimised or no longer has the focus when it reads its
# keys), with Ctrl+C as the character 0x03; the user's window must receive no
# key at all and be in front again at the end.
#   key_bursts_test.sh WINE-RUNNER QUORVANE.EXE WIN32_KEYTARGET.EXE QUORVANE-SIM \
#                      PLACEMENT WINDOWCHANGETIME COUNT
set -euo pipefail
wine_run=$1 quorvane=$2 keytarget=$3 sim=$4 placement=$5 change_time=$6 count=$7
: "${QV_SIM_TCP:?run under with-sim.sh}" "${QV_SIM_SOCKET:?run under with-sim.sh}"
case $placement in
  minimized) target_option=--minimized ;;
  behind) target_option= ;;
  *) echo "usage: PLACEMENT is minimized or behind" >&2; exit 2 ;;
esac
# shellcheck source=tests/support/procs.sh
source "$(dirname "$0")/../support/procs.sh"
work=$(mktemp -d)
remove_on_exit "$work"

fail() {
  echo "FAIL: $*"
  for f in "$work"/*.log; do echo "--- $f"; tail -n 60 "$f"; done
  exit 1
}
wait_for() { wait_for_line "$1" "$2" || fail "timed out waiting for '$2' in $1"; }

mkfifo "$work/hold"
exec 9<>"$work/hold"
start_target() { # CLASS LOG [OPTIONS...]
  local class=$1 log=$2
  shift 2
  "$wine_run" "$keytarget" "$class" "$@" <"$work/hold" >"$log" 2>&1 &
  spawned_pids+=($!)
  wait_for "$log" '^ready'
}

# shellcheck disable=SC2086 # no option for a target behind the user's window
start_target QvBurstTarget "$work/target.log" $target_option
printf '%s\r\n' '[General]' "WindowChangeTime=$change_time" '[Remote1]' 'Pulse=12,34,58' \
  'Comment=burst' 'AdjustTime=0' 'WindowName=QvBurstTarget' \
  'KeyList=D[SHIFT], DQ, UQ, U[SHIFT], D[CTRL], DC, UC, U[CTRL]' >"$work/Quorvane.ini"
"$wine_run" "$quorvane" --simulator="$QV_SIM_TCP" --config "Z:$work/Quorvane.ini" --debug \
  >"$work/quorvane.log" 2>&1 &
qpid=$!
spawned_pids+=("$qpid")
wait_for "$work/quorvane.log" 'start-up done'
start_target QvBurstUser "$work/user.log" --foreground
wait_for "$work/user.log" '^active 1'

# What the target reported before the first firing is left out of the count.
skip=$(wc -l <"$work/target.log")

# One press at a time, as a hand on the remote gives them: the next one once
# the program fired the slot and the user's window is in front again. The
# program polls the receiver every 50 ms, so the next firing follows soon after.
fired() { grep -c 'receive-list: burst' "$work/quorvane.log" || true; }
user_activations() { tr -d '\r' <"$work/user.log" | grep -c '^active 1' || true; }
before=$(user_activations)
for i in $(seq 1 "$count"); do
  "$sim" --socket "$QV_SIM_SOCKET" press 12 34 58 >/dev/null
  # Bounded by the slowest case: two window switches of up to 1 s each.
  for _ in $(seq 1 100); do
    [ "$(fired)" -ge "$i" ] && [ "$(user_activations)" -ge $((before + i)) ] && break
    sleep 0.02
  done
done
[ "$(fired)" -ge "$count" ] || fail "only $(fired) of $count firings"
user_active_at_end() { [ "$(tr -d '\r' <"$work/user.log" | grep '^active ' | tail -n 1 | cut -d' ' -f1-2)" = "active 1" ]; }
user_in_front=no
for _ in $(seq 1 100); do
  user_active_at_end && user_in_front=yes && break
  sleep 0.05
done
sleep 0.5

# A burst starts where the target becomes active (a minimised one may be
# activated twice on its way forward); what it reads until it becomes active the
# next time belongs to it, however late it reads it. An activation without keys
# (Wine's own back and forth while the foreground moves) is no burst.
result=$(tail -n +$((skip + 1)) "$work/target.log" | tr -d '\r' | awk -v count="$count" '
  /^active 1/ { if (!active) n++; active = 1; next }
  /^active 0/ { active = 0; next }
  /^key / {
    split($3, vk, "="); split($7, sys, "=")
    keys[n] = keys[n] sprintf("%s%s %s", keys[n] == "" ? "" : " ", $2, vk[2])
    if (sys[2] != 0) system_keys[n] = 1
    next
  }
  /^char / { split($3, sys, "="); chars[n] = chars[n] " " $2 (sys[2] != 0 ? "s" : ""); next }
  END {
    want = "down 0x10 down 0x51 up 0x51 up 0x10 down 0x11 down 0x43 up 0x43 up 0x11"
    for (i = 1; i <= n; i++) {
      if (keys[i] == "" && chars[i] == "") { empty++; continue }
      bursts++
      if (keys[i] == want && !system_keys[i] && index(chars[i] " ", " 0x03 ") > 0) intact++
      else if (shown++ < 5) printf "damaged burst %d: keys [%s]%s chars [%s]\n", bursts, keys[i],
        system_keys[i] ? " (system keys)" : "", chars[i]
    }
    if (keys[0] != "") printf "keys before the first activation: [%s]\n", keys[0]
    printf "intact %d/%d (%d bursts, %d activations without keys)\n", intact, count, bursts, empty
  }')
echo "$result"
user_keys=$(tr -d '\r' <"$work/user.log" | grep -c '^key ' || true)
echo "keys in the user's window: $user_keys"
user_active_at_end || user_in_front=no

"$wine_run" taskkill /im quorvane.exe >/dev/null 2>&1 || true
wait "$qpid" || fail "quorvane.exe ended with status $?"

grep -q "^intact $count/$count " <<<"$result" || fail "not every burst arrived intact"
[ "$user_keys" = 0 ] || fail "the user's window received keys"
[ "$user_in_front" = yes ] || fail "the user's window is not in front again"
if [ "$placement" = minimized ]; then
  [ "$(tr -d '\r' <"$work/target.log" | grep '^size ' | tail -n 1)" = "size minimized" ] ||
    fail "the target is not minimised again"
fi
echo PASS
