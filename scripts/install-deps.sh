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
  # libraries
  qt6-base-dev libxtst-dev libx11-dev libudev-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # fake sysfs, device nodes and uevents for the hotplug tests
  umockdev libumockdev-dev
  # X server, window managers, tray host and tools for system tests and demo
  xvfb xauth xdotool x11-utils x11-xserver-utils openbox icewm imagemagick
  # a font that renders the Japanese user interface
  fonts-ipafont-gothic
  # Windows: the MinGW-w64 cross compiler (posix threads), GoogleTest's sources to
  # build with it, Wine to run the tests, locales for a code page 932 Wine
  locales g++-mingw-w64-x86-64-posix googletest wine wine64
)

# Windows: Wine takes the ANSI code page from the locale; ja_JP.UTF-8 gives 932.
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
