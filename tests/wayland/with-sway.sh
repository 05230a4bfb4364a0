#!/usr/bin/env bash
# Runs a command inside a private headless sway session.
#   with-sway.sh [--output DIR] -- command [args...]
#
# sway refuses to run as root, and wlroots gives XWayland the first free X
# display from :0 on, which would collide with other tests' X servers. So the
# session runs in private mount, network and PID namespaces with a tmpfs of
# its own on /tmp (XWayland then gets :0 there, its abstract socket lives in
# the private network namespace), as an unprivileged user: the system user
# quorvane-test, created on first use, when started as root; the calling
# user otherwise (through user namespaces). sway, XWayland and the command
# all run as that user, with a private XDG_RUNTIME_DIR.
#
# The private /tmp hides whatever the host keeps there, a checkout or build
# tree under /tmp among them. So the top-level /tmp folders that hold the
# command, the working folder, the output folder, this script and any
# absolute path among the arguments are bound back into the private /tmp
# before the session starts; a command that is still out of reach inside is
# a skip (77) with that reason.
#
# The command sees WAYLAND_DISPLAY, SWAYSOCK, DISPLAY (XWayland, started on
# first use) and QV_TEST_WORKDIR, a folder it may write to; that folder and
# sway's log are copied to DIR at the end when --output is given.
#
# Exit code: the command's; 77 (ctest's SKIP_RETURN_CODE) with the reason on
# standard error when the session cannot be set up on this machine (no sway,
# no namespaces, sway ends while starting).
set -euo pipefail

readonly skip_code=77
readonly test_user=quorvane-test

skip() {
  echo "with-sway: SKIPPED: $*" >&2
  exit "$skip_code"
}

output=""
inner=""
while (($#)); do
  case "$1" in
    --output) output="$2"; shift 2 ;;
    --inner) inner=1; shift ;;
    --) shift; break ;;
    *) break ;;
  esac
done
(($#)) || { echo "usage: $0 [--output DIR] -- command..." >&2; exit 2; }

# --- outside: enter the namespaces ------------------------------------------
if [ -z "$inner" ]; then
  for tool in sway swaymsg Xwayland unshare; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed (scripts/install-deps.sh)"
  done
  ns_args=(--mount --net --pid --fork --kill-child --mount-proc)
  if [ "$(id -u)" -eq 0 ]; then
    command -v setpriv >/dev/null 2>&1 || skip "setpriv is not installed"
    if ! id -u "$test_user" >/dev/null 2>&1; then
      # Two tests may get here at the same moment: the loser's useradd fails
      # because the user now exists, which is fine.
      useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin \
        "$test_user" >/dev/null 2>&1 || true
      id -u "$test_user" >/dev/null 2>&1 || skip "cannot create the unprivileged user $test_user"
    fi
  else
    # Root inside a user namespace may mount; sway and the command then run
    # in a nested one as the caller's own uid again.
    ns_args=(--map-root-user "${ns_args[@]}")
    export QV_SWAY_UID QV_SWAY_GID
    QV_SWAY_UID=$(id -u)
    QV_SWAY_GID=$(id -g)
  fi
  if ! unshare "${ns_args[@]}" true 2>/dev/null; then
    skip "cannot create private namespaces: $(unshare "${ns_args[@]}" true 2>&1 | head -n 1)"
  fi
  extra=()
  if [ -n "$output" ]; then extra=(--output "$output"); fi
  exec unshare "${ns_args[@]}" -- "$0" --inner "${extra[@]}" -- "$@"
fi

# --- inside: a private /tmp, the session and the command --------------------
# The top-level folder of /tmp that holds PATH, if any: /tmp/x for /tmp/x/build/t.
tmp_top() {
  local path
  path=$(realpath -m -- "$1" 2>/dev/null) || return 0
  case "$path" in
    /tmp/?*)
      path=${path#/tmp/}
      printf '%s\n' "${path%%/*}"
      ;;
  esac
}
keep=()
command_path=$1
case "$1" in */*) ;; *) command_path=$(command -v -- "$1" 2>/dev/null || true) ;; esac
for path in "$command_path" "$PWD" "$output" "$(dirname -- "$0")" "${@:2}"; do
  [ -n "$path" ] || continue
  top=$(tmp_top "$path")
  # X's own sockets and locks stay private: that is what the tmpfs is for.
  case "$top" in "" | .X11-unix | .X*-lock | .qv-sway) continue ;; esac
  [ -e "/tmp/$top" ] || continue
  keep+=("$top")
done
# The host's /tmp stays reachable through a descriptor while the tmpfs covers it.
exec {host_tmp}</tmp
mount -t tmpfs -o mode=1777,size=256m qv-sway-tmp /tmp
for top in "${keep[@]}"; do
  [ -e "/tmp/$top" ] && continue
  if [ -d "/proc/self/fd/$host_tmp/$top" ]; then
    mkdir "/tmp/$top"
  else
    : >"/tmp/$top"
  fi
  mount --no-canonicalize --bind "/proc/self/fd/$host_tmp/$top" "/tmp/$top" ||
    skip "cannot bind /tmp/$top back into the private /tmp"
done
exec {host_tmp}<&-
if ! command -v -- "$1" >/dev/null 2>&1; then
  skip "the command $1 is not reachable inside the private namespace"
fi
if [ -n "${QV_SWAY_UID:-}" ]; then
  user=$(id -un "$QV_SWAY_UID" 2>/dev/null || echo "$QV_SWAY_UID")
  as_user=(unshare --user --map-user="$QV_SWAY_UID" --map-group="$QV_SWAY_GID")
  as_user_reading=("${as_user[@]}")
else
  user=$test_user
  uid=$(id -u "$test_user")
  gid=$(id -g "$test_user")
  # sway and XWayland get nothing but the user; the command may also read
  # through folders only root can enter (a checkout below /root), so it gets
  # CAP_DAC_READ_SEARCH, which cannot regain root.
  as_user=(setpriv --reuid="$uid" --regid="$gid" --init-groups --inh-caps=-all)
  as_user_reading=(setpriv --reuid="$uid" --regid="$gid" --init-groups
                   "--inh-caps=-all,+dac_read_search" "--ambient-caps=-all,+dac_read_search")
fi

session=/tmp/.qv-sway
mkdir -m 0700 "$session" "$session/runtime" "$session/work"
cat >"$session/config" <<EOF
xwayland enable
output HEADLESS-1 resolution 1280x800
default_border none
focus_on_window_activation focus
exec $session/announce.sh
EOF
# sway's exec gives its children the session's variables: hand them out.
cat >"$session/announce.sh" <<EOF
#!/bin/sh
printf 'WAYLAND_DISPLAY=%s\nSWAYSOCK=%s\nDISPLAY=%s\n' "\$WAYLAND_DISPLAY" "\$SWAYSOCK" "\$DISPLAY" \
  >$session/session.env.part && mv $session/session.env.part $session/session.env
EOF
chmod 0755 "$session/announce.sh"
if [ -n "${QV_SWAY_UID:-}" ]; then
  chown -R "$QV_SWAY_UID:$QV_SWAY_GID" "$session" 2>/dev/null || true
else
  chown -R "$user:" "$session"
fi

base_env=(PATH="$PATH" HOME="$session" USER="$user" LANG="${LANG:-C.UTF-8}"
          XDG_RUNTIME_DIR="$session/runtime" XDG_CONFIG_HOME="$session/config.d")

copy_output() {
  if [ -n "$output" ]; then
    mkdir -p "$output"
    cp -r "$session/work/." "$output/" 2>/dev/null || true
    cp "$session/sway.log" "$output/sway.log" 2>/dev/null || true
  fi
}

sway_pid=""
finish() {
  if [ -n "$sway_pid" ]; then
    kill "$sway_pid" 2>/dev/null || true
    wait "$sway_pid" 2>/dev/null || true
  fi
  copy_output
}
trap finish EXIT

env -i "${base_env[@]}" WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
  WLR_HEADLESS_OUTPUTS=1 "${as_user[@]}" sway -c "$session/config" >"$session/sway.log" 2>&1 &
sway_pid=$!

# sway usually answers within 0.1 s; 20 s is the bound for a loaded machine.
for ((i = 0; i < 400; i++)); do
  [ -f "$session/session.env" ] && break
  if ! kill -0 "$sway_pid" 2>/dev/null; then
    wait "$sway_pid" 2>/dev/null || true
    sway_pid=""
    skip "sway ended while starting: $(grep -v 'drmGetDevices2\|DRM lease\|drm_lease' \
      "$session/sway.log" | tail -n 3 | tr '\n' ' ')"
  fi
  sleep 0.05
done
if [ ! -f "$session/session.env" ]; then
  echo "with-sway: sway did not start its session within 20 s" >&2
  tail -n 20 "$session/sway.log" >&2
  exit 1
fi
session_env=()
while IFS= read -r line; do session_env+=("$line"); done <"$session/session.env"

# The command gets the caller's QV_* and GTEST_* settings too.
passed=()
while IFS= read -r name; do
  passed+=("$name=${!name}")
done < <(compgen -e | grep -E '^(QV_|GTEST_)' || true)

set +e
env -i "${base_env[@]}" "${session_env[@]}" "${passed[@]}" QV_TEST_WORKDIR="$session/work" \
  "${as_user_reading[@]}" "$@"
rc=$?
set -e
if ((rc != 0)); then
  echo "with-sway: the command ended with $rc; the end of sway's log:" >&2
  tail -n 30 "$session/sway.log" >&2
fi
exit "$rc"
