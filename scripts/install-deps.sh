#!/usr/bin/env bash
# Installs, from Debian's packages, everything the build, the tests, the
# system tests and the demo need on a fresh Debian 12 machine; with --demo
# only what building the programs and scripts/demo.sh need (the headless
# desktops, Wine and the other test tools are large). Packages that are
# already present are skipped, so a second run costs a second.
set -euo pipefail

# What building the programs needs (every configure of build/ also builds the
# tests and benchmarks, and renders the icon and the man pages).
build_packages=(
  # toolchain
  cmake ninja-build g++ pkg-config
  # libraries
  qt6-base-dev libxtst-dev libx11-dev libudev-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # Wayland: client libraries, protocol XML (KDE's too) and scanner, keymaps,
  # JSON for sway's IPC and KWin's scripts, XInput for XWayland's keys,
  # sd-bus for KWin's and GNOME's interfaces on the session bus
  libwayland-dev wayland-protocols plasma-wayland-protocols libxkbcommon-dev xkb-data
  nlohmann-json3-dev libxcb1-dev libxcb-xinput-dev libsystemd-dev
  # the icon renderer (every build renders the icon) and the man pages
  librsvg2-bin help2man gzip
)

# What scripts/demo.sh needs besides: an X server, a window manager with a
# tray, the tools that drive and photograph it, a Japanese font and Qt's texts.
demo_packages=(
  xvfb xauth xdotool x11-utils icewm imagemagick
  fonts-ipafont-gothic qt6-translations-l10n
)

# What the tests, the package and the Windows tree need besides. The headless
# desktops (KWin, gnome-shell) are the large part: some 290 packages.
test_packages=(
  # style checks (scripts/lint.sh): formatting, shell scripts, names
  clang-format shellcheck clang-tidy
  # fuzzers: clang with libFuzzer and the sanitizer runtimes, and the symbolizer
  # that turns their stack traces into file:line
  clang libclang-rt-14-dev llvm-14
  # fake sysfs, device nodes and uevents for the hotplug tests
  umockdev libumockdev-dev
  # window managers and tools for the X11 system tests
  x11-xserver-utils openbox
  # setxkbmap: the keyboard-layout system tests switch Xvfb to jp106
  x11-xkb-utils
  # the ja_JP.UTF-8 locale for the test of the Japanese desktop (Qt's はい/いいえ)
  # and for Wine at ANSI code page 932
  locales
  # headless sway with XWayland, wtype, waybar and a session bus for the
  # Wayland system tests; the Qt window on Wayland
  sway xwayland wtype waybar dbus-daemon qt6-wayland
  # headless KDE Plasma (KWin, with its service cache builder) and GNOME
  # (gnome-shell with the AppIndicator extension for the tray); setpriv,
  # unshare (util-linux) for the private sessions
  kwin-wayland libkf5service-bin gnome-shell mutter gnome-shell-extension-appindicator
  util-linux
  # Windows: the MinGW-w64 cross compiler (posix threads), GoogleTest's sources to
  # build with it, Wine to run the tests, icotool for the program's icon and
  # wrestool to read it back
  g++-mingw-w64-x86-64-posix googletest wine wine64 icoutils
  # the Debian package and the checks of its files
  man-db dpkg-dev file lintian desktop-file-utils appstream
)

usage="usage: $0 [--demo]   (--demo: only what building and scripts/demo.sh need)"
demo_only=""
case "${1:-}" in
  "") ;;
  --demo) demo_only=1 ;;
  -h | --help) echo "$usage"; exit 0 ;;
  *) echo "$usage" >&2; exit 2 ;;
esac
packages=("${build_packages[@]}" "${demo_packages[@]}")
if [ -z "$demo_only" ]; then
  packages+=("${test_packages[@]}")
fi

# A Japanese desktop for the system test of Qt's Japanese texts and for Wine's
# code page 932: ja_JP.UTF-8, generated from the locales package's sources.
ensure_japanese_locale() {
  if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
    echo "install-deps: generating the ja_JP.UTF-8 locale"
    $SUDO localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
  fi
}
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

japanese_locale() {
  # Only the tests need the locale generated.
  [ -n "$demo_only" ] || ensure_japanese_locale
}

if ((${#missing[@]} == 0)); then
  japanese_locale
  echo "install-deps: everything is present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
japanese_locale
