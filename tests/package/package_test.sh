#!/usr/bin/env bash
# Builds the Debian package, checks it with lintian, installs it on this
# machine, tests the installed programs from their installed paths, removes
# the package and checks that nothing of it is left.
#   tests/package/package_test.sh [BUILD-DIR]     (default: build/deb)
# It changes the machine (dpkg -i / dpkg -r, as root or through sudo): CI runs
# it on a throw-away machine from scripts/test.sh; set QUORVANE_SKIP_PACKAGE_TEST=1
# there to leave it out on your own machine. A quorvane package installed
# before is replaced and then removed.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/deb}
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

passed=0 failed=0
check() {
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1)); echo "ok: $what"
  else
    failed=$((failed + 1)); echo "FAIL: $what"
  fi
}
finish() {
  echo "package: $passed passed, $failed failed"
  ((failed == 0))
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# --- Build and lint --------------------------------------------------------------
deb=$(QUORVANE_SKIP_DEPS=1 scripts/package.sh "$build" | tail -n 1)
version=$(dpkg-deb -f "$deb" Version)
echo "package: $deb"
echo "package: $(stat -c %s "$deb") bytes, Installed-Size $(dpkg-deb -f "$deb" Installed-Size) KiB"
echo "package: Depends: $(dpkg-deb -f "$deb" Depends)"
check "the package is named quorvane and carries the project's version" \
  test "$(dpkg-deb -f "$deb" Package)" = quorvane -a "$version" = "$(sed -n 's/^project(Quorvane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
check "its dependencies are computed (libQt6Widgets, libX11, libudev)" \
  eval 'dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 && dpkg-deb -f "$deb" Depends | grep -q libx11 && dpkg-deb -f "$deb" Depends | grep -q libudev'
# Warnings are printed and kept (the README lists them with their reasons);
# an error fails the test.
lintian_ok() { lintian --fail-on error --info "$deb" | tee "$work/lintian.txt"; }
check "lintian finds no error" lintian_ok

# The files of the package, for the check after its removal.
dpkg-deb -c "$deb" | awk '{print substr($6, 2)}' | sed 's#/$##' | grep -v '^$' >"$work/files"

# --- Install ----------------------------------------------------------------------
check "dpkg -i installs it (its maintainer script copes without udevd)" $SUDO dpkg -i "$deb"
check "/usr/bin/quorvane --version prints the version" \
  test "$(/usr/bin/quorvane --version)" = "quorvane $version"
check "quorvane-sim and quorvane-inicheck run from /usr/bin" \
  eval '/usr/bin/quorvane-sim --help >/dev/null && /usr/bin/quorvane-inicheck /usr/share/doc/quorvane/Quorvane.ini.sample >/dev/null'
check "the udev rule is where udev reads packaged rules" \
  test -f /usr/lib/udev/rules.d/70-quorvane-receiver.rules
check "the installed desktop entry validates" desktop-file-validate /usr/share/applications/quorvane.desktop
desktop_entry_ok() {
  local entry=/usr/share/applications/quorvane.desktop
  grep -qx 'Exec=/usr/bin/quorvane' "$entry" &&
    grep -qx 'X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input,org_kde_plasma_window_management' "$entry"
}
check "the desktop entry asks KWin for fake input and its window list for /usr/bin/quorvane" \
  desktop_entry_ok
extension_ok() {
  local dir=/usr/share/gnome-shell/extensions/quorvane-windows@quorvane
  grep -q '"uuid": "quorvane-windows@quorvane"' "$dir/metadata.json" && test -f "$dir/extension.js"
}
check "the GNOME Shell extension is where GNOME looks, under its uuid" extension_ok
check "the package recommends the AppIndicator extension for GNOME's tray" \
  eval 'dpkg-deb -f "$deb" Recommends | grep -q gnome-shell-extension-appindicator'
check "the installed metainfo validates" \
  appstreamcli validate --no-net /usr/share/metainfo/org.quorvane.Quorvane.metainfo.xml
icons_ok() {
  local s
  test -f /usr/share/icons/hicolor/scalable/apps/quorvane.svg || return 1
  for s in 16 22 24 32 48 64 128 256; do
    file -b "/usr/share/icons/hicolor/${s}x${s}/apps/quorvane.png" | grep -q "PNG image data, $s x $s" || return 1
  done
}
check "the icon theme has the SVG and every PNG size" icons_ok
man_ok() {
  local p warnings
  for p in quorvane quorvane-sim quorvane-inicheck; do
    [ "$(man -w "$p")" = "/usr/share/man/man1/$p.1.gz" ] || return 1
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "/usr/share/man/man1/$p.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || { echo "$p: $warnings"; return 1; }
    lexgrog "/usr/share/man/man1/$p.1.gz" >/dev/null || return 1
  done
}
check "man finds the three man pages and renders them without warnings" man_ok
autostart_ok() {
  local entry=$work/config/autostart/quorvane.desktop
  XDG_CONFIG_HOME=$work/config /usr/bin/quorvane --autostart on >/dev/null &&
    desktop-file-validate "$entry" && grep -qx 'Exec=/usr/bin/quorvane' "$entry" &&
    XDG_CONFIG_HOME=$work/config /usr/bin/quorvane --autostart off >/dev/null && test ! -e "$entry"
}
check "quorvane --autostart on writes a valid entry for /usr/bin/quorvane, off removes it" autostart_ok
check "the installed program's main job, its file under XDG_CONFIG_HOME (Xvfb, openbox)" \
  tests/support/with-xvfb.sh --wm openbox -- tests/package/installed_smoke_test.sh \
  /usr/bin/quorvane /usr/bin/quorvane-sim "$build/tools/quorvane-keytarget"

# --- Remove -------------------------------------------------------------------------
check "dpkg -r removes it" $SUDO dpkg -r quorvane
leftovers() {
  local f left=0
  [ "$(wc -l <"$work/files")" -gt 20 ] || { echo "the package's file list is too short"; return 1; }
  while read -r f; do
    # Folders the package shares with others (/usr/bin, the icon theme) stay.
    if [ -e "$f" ] && [ ! -d "$f" ]; then echo "left: $f"; left=1; fi
  done <"$work/files"
  for f in /usr/share/doc/quorvane /usr/bin/Quorvane.ini; do
    if [ -e "$f" ]; then echo "left: $f"; left=1; fi
  done
  return "$left"
}
check "nothing of the package is left" leftovers
check "dpkg --purge forgets it" $SUDO dpkg --purge quorvane
forgotten() {
  local status
  status=$(dpkg-query -W -f='${Status}' quorvane 2>/dev/null || true)
  case "$status" in
    "" | *not-installed) return 0 ;;
    *) echo "status: $status"; return 1 ;;
  esac
}
check "dpkg knows no quorvane any more" forgotten

finish
