#!/usr/bin/env bash
# Installs, from Debian's packages, everything the build, the tests, the
# system tests and the demo need on a fresh Debian 12 machine. Packages that
# are already present are skipped, so a second run costs a second.
set -euo pipefail

packages=(
  # toolchain
  cmake ninja-build g++ pkg-config
  # style checks (scripts/lint.sh)
  clang-format shellcheck
  # fuzzers: clang with libFuzzer and the sanitizer runtimes, and the symbolizer
  # that turns their stack traces into file:line
  clang libclang-rt-14-dev llvm-14
  # libraries
  qt6-base-dev libxtst-dev libx11-dev libudev-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # fake sysfs, device nodes and uevents for the hotplug tests
  umockdev libumockdev-dev
  # X server, window managers, tray host and tools for system tests and demo
  xvfb xauth xdotool x11-utils x11-xserver-utils openbox icewm imagemagick
  # a font that renders the Japanese user interface, and Qt's own texts
  # (standard buttons) in the desktop's language
  fonts-ipafont-gothic qt6-translations-l10n
  # setxkbmap: the keyboard-layout system tests switch Xvfb to jp106
  x11-xkb-utils
  # the ja_JP.UTF-8 locale for the test of the Japanese desktop (Qt's はい/いいえ)
  # and for Wine at ANSI code page 932
  locales
  # Wayland: client libraries, protocol XML and scanner, keymaps, JSON for
  # sway's IPC; headless sway with XWayland, wtype, waybar and a session bus
  # for the Wayland system tests; the Qt window on Wayland
  libwayland-dev wayland-protocols libxkbcommon-dev xkb-data nlohmann-json3-dev libxcb1-dev
  sway xwayland wtype waybar dbus-daemon qt6-wayland
  # Windows: the MinGW-w64 cross compiler (posix threads), GoogleTest's sources to
  # build with it, Wine to run the tests, icotool for the program's icon and
  # wrestool to read it back
  g++-mingw-w64-x86-64-posix googletest wine wine64 icoutils
)

# Installation and the Debian package: the icon renderer (every build renders
# the icon), man pages, the package and the checks of its files.
packages+=(
  librsvg2-bin help2man gzip man-db
  dpkg-dev file lintian desktop-file-utils appstream
)

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

if ((${#missing[@]} == 0)); then
  ensure_japanese_locale
  echo "install-deps: everything is present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
ensure_japanese_locale
