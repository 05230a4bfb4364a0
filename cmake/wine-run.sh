#!/usr/bin/env bash
# Runs a Windows program of the build under Wine (CMake's cross-compiling emulator).
# Uses $WINEPREFIX when set (tests/win32/with-wine.sh gives each test run a fresh
# one); otherwise a prefix kept in the user's cache folder, created on first use.
set -euo pipefail
tests="$(cd "$(dirname "$0")/../tests/win32" && pwd)"
# shellcheck source=tests/win32/wine-env.sh
. "$tests/wine-env.sh"

if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX="${XDG_CACHE_HOME:-$HOME/.cache}/quorvane/wineprefix"
  "$tests/wine-prefix.sh" ensure "$WINEPREFIX" >&2
  export WINEPREFIX
fi
exec wine "$@"
