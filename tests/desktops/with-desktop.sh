#!/usr/bin/env bash
# Runs a command inside a private headless KDE Plasma (KWin) or GNOME
# (gnome-shell) Wayland session.
#   with-desktop.sh kde|gnome [--output DIR] [--grant PATH]... [--extension DIR]
#                   [--icons DIR] [--tray] -- command [args...]
#
# As with-sway.sh: private mount, network and PID namespaces with a tmpfs of
# their own on /tmp (XWayland gets :0 there), as an unprivileged user (the
# system user quorvane-test when started as root), a private
# XDG_RUNTIME_DIR and HOME; the top-level /tmp folders that hold the
# command, the working folder, the output folder, this script and any
# absolute path among the arguments are bound back into the private /tmp.
# Each session has a private session bus; GNOME also gets a stand-in system
# bus (gnome-shell ends without one).
#
# What each desktop needs in place before it starts:
#   --grant PATH   (kde) a desktop entry whose absolute Exec= is PATH and that
#                  asks for KWin's fake input and window management, as the
#                  package's entry does for the installed program
#   --extension DIR (gnome) a GNOME Shell extension folder, installed for the
#                  user and enabled; the session is ready once the
#                  extension's bus name (in its metadata, "dbus-name") is there
#   --icons DIR    DIR/icons joins the desktop's icon themes (XDG_DATA_DIRS),
#                  as the package's icons in /usr/share/icons would
#   --tray         a StatusNotifierItem watcher and host: waybar's tray on kde
#                  (Plasma's needs plasma-workspace), the AppIndicator
#                  extension on gnome
# kwin_wayland carries a file capability that a container's bounding set may
# not allow (exec then fails, for root too): a copy of the binary runs.
#
# The command sees WAYLAND_DISPLAY, DISPLAY and XAUTHORITY (XWayland),
# DBUS_SESSION_BUS_ADDRESS, XDG_CURRENT_DESKTOP, XDG_SESSION_TYPE,
# KDE_FULL_SESSION (kde), QV_DESKTOP (kde or gnome) and QV_TEST_WORKDIR, a
# folder it may write to; that folder and the desktop's log are copied to
# DIR at the end when --output is given.
#
# Exit code: the command's; 77 (ctest's SKIP_RETURN_CODE) with the reason on
# standard error when the session cannot be set up on this machine.
set -euo pipefail

readonly skip_code=77
readonly test_user=quorvane-test

skip() {
  echo "with-desktop: SKIPPED: $*" >&2
  exit "$skip_code"
}

desktop=${1:-}
case "$desktop" in
  kde | gnome) shift ;;
  *) echo "usage: $0 kde|gnome [--output DIR] [--grant PATH]... [--extension DIR] [--tray] -- command..." >&2; exit 2 ;;
esac
output=""
inner=""
grants=()
extension=""
tray=""
icons=""
while (($#)); do
  case "$1" in
    --icons) icons="$2"; shift 2 ;;
    --output) output="$2"; shift 2 ;;
    --grant) grants+=("$2"); shift 2 ;;
    --extension) extension="$2"; shift 2 ;;
    --tray) tray=1; shift ;;
    --inner) inner=1; shift ;;
    --) shift; break ;;
    *) break ;;
  esac
done
(($#)) || { echo "usage: $0 kde|gnome [options] -- command..." >&2; exit 2; }

# --- outside: enter the namespaces ------------------------------------------
if [ -z "$inner" ]; then
  if [ "$desktop" = kde ]; then
    tools=(kwin_wayland Xwayland dbus-daemon)
    [ -n "$tray" ] && tools+=(waybar)
  else
    tools=(gnome-shell Xwayland dbus-daemon gsettings)
  fi
  for tool in "${tools[@]}" unshare; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed (scripts/install-deps.sh)"
  done
  if [ "$desktop" = gnome ] && [ -n "$tray" ] &&
     [ ! -d /usr/share/gnome-shell/extensions/ubuntu-appindicators@ubuntu.com ]; then
    skip "the AppIndicator extension is not installed (scripts/install-deps.sh)"
  fi
  ns_args=(--mount --net --pid --fork --kill-child --mount-proc)
  if [ "$(id -u)" -eq 0 ]; then
    command -v setpriv >/dev/null 2>&1 || skip "setpriv is not installed"
    if ! id -u "$test_user" >/dev/null 2>&1; then
      useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin \
        "$test_user" >/dev/null 2>&1 || true
      id -u "$test_user" >/dev/null 2>&1 || skip "cannot create the unprivileged user $test_user"
    fi
  else
    ns_args=(--map-root-user "${ns_args[@]}")
    export QV_DESKTOP_UID QV_DESKTOP_GID
    QV_DESKTOP_UID=$(id -u)
    QV_DESKTOP_GID=$(id -g)
  fi
  if ! unshare "${ns_args[@]}" true 2>/dev/null; then
    skip "cannot create private namespaces: $(unshare "${ns_args[@]}" true 2>&1 | head -n 1)"
  fi
  extra=()
  [ -n "$output" ] && extra+=(--output "$output")
  for g in "${grants[@]}"; do extra+=(--grant "$g"); done
  [ -n "$extension" ] && extra+=(--extension "$extension")
  [ -n "$tray" ] && extra+=(--tray)
  [ -n "$icons" ] && extra+=(--icons "$icons")
  exec unshare "${ns_args[@]}" -- "$0" "$desktop" --inner "${extra[@]}" -- "$@"
fi

# --- inside: a private /tmp ---------------------------------------------------
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
for path in "$command_path" "$PWD" "$output" "$(dirname -- "$0")" "$extension" "$icons" "${grants[@]}" "${@:2}"; do
  [ -n "$path" ] || continue
  top=$(tmp_top "$path")
  case "$top" in "" | .X11-unix | .X*-lock | .qv-desktop) continue ;; esac
  [ -e "/tmp/$top" ] || continue
  keep+=("$top")
done
exec {host_tmp}</tmp
mount -t tmpfs -o mode=1777,size=256m qv-desktop-tmp /tmp
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
# XWayland's sockets: KWin aborts without the folder.
mkdir -m 1777 /tmp/.X11-unix
if ! command -v -- "$1" >/dev/null 2>&1; then
  skip "the command $1 is not reachable inside the private namespace"
fi
if [ -n "${QV_DESKTOP_UID:-}" ]; then
  user=$(id -un "$QV_DESKTOP_UID" 2>/dev/null || echo "$QV_DESKTOP_UID")
  owner="$QV_DESKTOP_UID:$QV_DESKTOP_GID"
  as_user=(unshare --user --map-user="$QV_DESKTOP_UID" --map-group="$QV_DESKTOP_GID")
else
  user=$test_user
  owner="$test_user:"
  uid=$(id -u "$test_user")
  gid=$(id -g "$test_user")
  # Unlike with-sway.sh, the command gets no capability to read through
  # folders only root may enter: KWin reads the client's /proc/PID/exe to
  # grant its protocols, which a process with more capabilities than KWin
  # does not allow.
  as_user=(setpriv --reuid="$uid" --regid="$gid" --init-groups --inh-caps=-all)
fi
if ! "${as_user[@]}" test -x "$(command -v -- "$1")"; then
  skip "the command $1 cannot be run by the unprivileged user $user (a checkout only root may enter?)"
fi

session=/tmp/.qv-desktop
mkdir -m 0700 "$session" "$session/runtime" "$session/work" "$session/home"
log=$session/desktop.log
# A plain PATH: an entry the user cannot enter breaks some of GNOME's helpers.
plain_path=/usr/local/bin:/usr/bin:/bin
base_env=(PATH="$plain_path" HOME="$session/home" USER="$user" LANG="${LANG:-C.UTF-8}"
          XDG_RUNTIME_DIR="$session/runtime" XDG_CONFIG_HOME="$session/home/.config"
          XDG_DATA_HOME="$session/home/.local/share" XDG_SESSION_TYPE=wayland)
if [ -n "$icons" ]; then
  base_env+=(XDG_DATA_DIRS="$(realpath -m -- "$icons"):/usr/local/share:/usr/share")
fi

# --- what the desktop finds when it starts ----------------------------------
applications=$session/home/.local/share/applications
mkdir -p "$applications"
n=0
for g in "${grants[@]}"; do
  n=$((n + 1))
  cat >"$applications/quorvane-test-$n.desktop" <<EOF
[Desktop Entry]
Type=Application
Name=Quorvane test $n
Exec=$(realpath -m -- "$g")
X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input,org_kde_plasma_window_management
EOF
done
extension_name=""
if [ -n "$extension" ]; then
  uuid=$(sed -n 's/.*"uuid" *: *"\([^"]*\)".*/\1/p' "$extension/metadata.json")
  extension_name=$(sed -n 's/.*"dbus-name" *: *"\([^"]*\)".*/\1/p' "$extension/metadata.json")
  [ -n "$uuid" ] || { echo "with-desktop: no uuid in $extension/metadata.json" >&2; exit 2; }
  mkdir -p "$session/home/.local/share/gnome-shell/extensions/$uuid"
  cp -r "$extension/." "$session/home/.local/share/gnome-shell/extensions/$uuid/"
fi
chown -R "$owner" "$session"

pids=()
finish() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  if [ -n "$output" ]; then
    mkdir -p "$output"
    cp -r "$session/work/." "$output/" 2>/dev/null || true
    cp "$log" "$output/desktop.log" 2>/dev/null || true
  fi
}
trap finish EXIT

# Waits up to 30 s (a loaded machine) for a condition; fails with the log's end.
wait_for() {
  local what=$1; shift
  local i
  for ((i = 0; i < 600; i++)); do
    if "$@"; then return 0; fi
    if ! kill -0 "${pids[-1]}" 2>/dev/null; then
      skip "the $desktop session ended while starting ($what): $(grep -v '^$' "$log" | tail -n 3 | tr '\n' ' ')"
    fi
    sleep 0.05
  done
  echo "with-desktop: $what did not happen within 30 s" >&2
  tail -n 30 "$log" >&2
  exit 1
}

# The socket is there before XWayland serves it (the compositor starts it
# beside itself, and on a loaded machine that takes a while): the X targets
# of a test start once an X client gets an answer.
x_answers() {
  "${as_session[@]}" "${desktop_env[@]}" "${as_user[@]}" xdpyinfo >/dev/null 2>&1
}

# --- buses -------------------------------------------------------------------
bus_address=unix:path=$session/runtime/bus
env -i "${base_env[@]}" "${as_user[@]}" dbus-daemon --session --nofork --nopidfile \
  --address="$bus_address" >>"$log" 2>&1 &
pids+=($!)
wait_for "the session bus" test -S "$session/runtime/bus"
session_env=(DBUS_SESSION_BUS_ADDRESS="$bus_address")
as_session=(env -i "${base_env[@]}" "${session_env[@]}")
has_name() {
  "${as_session[@]}" "${as_user[@]}" dbus-send --session --print-reply --dest=org.freedesktop.DBus \
    /org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null |
    grep -q 'boolean true'
}

if [ "$desktop" = gnome ]; then
  cat >"$session/system.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$session/system_bus</listen>
  <policy context="default">
    <allow user="*"/> <allow own="*"/>
    <allow send_type="method_call"/> <allow send_type="method_return"/>
    <allow send_type="signal"/> <allow send_type="error"/>
    <allow receive_type="method_call"/> <allow receive_type="method_return"/>
    <allow receive_type="signal"/> <allow receive_type="error"/>
  </policy>
</busconfig>
EOF
  env -i "${base_env[@]}" "${as_user[@]}" dbus-daemon --config-file="$session/system.conf" \
    --nofork --nopidfile >>"$log" 2>&1 &
  pids+=($!)
  wait_for "the stand-in system bus" test -S "$session/system_bus"
  session_env+=(DBUS_SYSTEM_BUS_ADDRESS="unix:path=$session/system_bus")
  as_session=(env -i "${base_env[@]}" "${session_env[@]}")
  enabled=()
  [ -n "$extension" ] && enabled+=("'$uuid'")
  [ -n "$tray" ] && enabled+=("'ubuntu-appindicators@ubuntu.com'")
  list=$(IFS=,; echo "[${enabled[*]}]")
  "${as_session[@]}" "${as_user[@]}" gsettings set org.gnome.shell enabled-extensions "$list"
  "${as_session[@]}" "${as_user[@]}" gsettings set org.gnome.shell welcome-dialog-last-shown-version '999'
fi

# --- the desktop ---------------------------------------------------------------
display=qv-desktop-wayland
if [ "$desktop" = kde ]; then
  # KWin finds the entries through KDE's service cache; a user's first
  # session builds it, here it is built before KWin starts.
  if command -v kbuildsycoca5 >/dev/null 2>&1; then
    "${as_session[@]}" "${as_user[@]}" kbuildsycoca5 --noincremental >>"$log" 2>&1 || true
  fi
  cp /usr/bin/kwin_wayland "$session/kwin_wayland"
  chown "$owner" "$session/kwin_wayland"
  "${as_session[@]}" XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true "${as_user[@]}" \
    "$session/kwin_wayland" --virtual --no-lockscreen --no-global-shortcuts --no-kactivities \
    --socket "$display" --width 1280 --height 800 --xwayland >>"$log" 2>&1 &
  pids+=($!)
  wait_for "KWin on the bus" has_name org.kde.KWin
  wait_for "XWayland" test -S /tmp/.X11-unix/X0
  desktop_env=(XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true DISPLAY=:0)
  wait_for "XWayland answering" x_answers
  if [ -n "$tray" ]; then
    # Plasma's own watcher (kded's statusnotifierwatcher module) comes with
    # plasma-workspace, some 215 packages; waybar's tray, a watcher and host
    # of its own, runs on KWin's layer shell.
    printf '%s\n' '{"layer": "top", "modules-right": ["tray"], "tray": {}}' >"$session/waybar.json"
    "${as_session[@]}" WAYLAND_DISPLAY="$display" XDG_CURRENT_DESKTOP=KDE "${as_user[@]}" \
      waybar --config "$session/waybar.json" >>"$log" 2>&1 &
    pids+=($!)
    wait_for "waybar's StatusNotifierWatcher" has_name org.kde.StatusNotifierWatcher
  fi
else
  "${as_session[@]}" XDG_CURRENT_DESKTOP=GNOME "${as_user[@]}" \
    gnome-shell --wayland --headless --virtual-monitor 1280x800 --wayland-display "$display" \
    >>"$log" 2>&1 &
  pids+=($!)
  if [ -n "$extension_name" ]; then
    wait_for "the extension's bus name $extension_name" has_name "$extension_name"
  else
    wait_for "gnome-shell on the bus" has_name org.gnome.Shell
  fi
  if [ -n "$tray" ]; then
    wait_for "the AppIndicator extension's watcher" has_name org.kde.StatusNotifierWatcher
  fi
  wait_for "XWayland" test -S /tmp/.X11-unix/X0
  xauth=$(find "$session/runtime" -maxdepth 1 -name '.mutter-Xwaylandauth.*' | head -n 1)
  desktop_env=(XDG_CURRENT_DESKTOP=GNOME DISPLAY=:0 XAUTHORITY="$xauth")
  wait_for "XWayland answering" x_answers
fi
wait_for "the Wayland socket" test -S "$session/runtime/$display"

passed=()
while IFS= read -r name; do
  passed+=("$name=${!name}")
done < <(compgen -e | grep -E '^(QV_|GTEST_)' || true)

set +e
env -i "${base_env[@]}" PATH="$PATH" "${session_env[@]}" "${desktop_env[@]}" "${passed[@]}" \
  WAYLAND_DISPLAY="$display" QV_DESKTOP="$desktop" QV_TEST_WORKDIR="$session/work" \
  "${as_user[@]}" "$@"
rc=$?
set -e
if ((rc != 0)); then
  echo "with-desktop: the command ended with $rc; the end of the $desktop log:" >&2
  tail -n 30 "$log" >&2
fi
exit "$rc"
