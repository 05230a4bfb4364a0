#!/usr/bin/env bash
# The Windows program: cross-builds it with MinGW-w64 into build-windows/ (warnings
# as errors), runs its tests under Wine (a fresh prefix, on a private Xvfb for the
# tests that open windows) and makes the zip. Extra arguments go to ctest.
# scripts/test.sh runs this after the Linux tests; install-deps.sh has run then.
set -euo pipefail
cd "$(dirname "$0")/.."

# The Windows tests talk to the Linux simulator: build it when the Linux build
# (scripts/test.sh makes it first) does not have it yet.
linux_build=${QUORVANE_BUILD_DIR:-build}
if [ ! -x "$linux_build/sim/quorvane-sim" ]; then
  cmake -S . -B "$linux_build" -G Ninja -DQUORVANE_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build "$linux_build" --target quorvane-sim
fi

build=${QUORVANE_WINDOWS_BUILD_DIR:-build-windows}
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DQUORVANE_WERROR=ON -DQUORVANE_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVANE_LINUX_SIM="$(cd "$linux_build" && pwd)/sim/quorvane-sim"
cmake --build "$build"
tests/support/with-xvfb.sh -- tests/win32/with-wine.sh \
  ctest --test-dir "$build" --output-on-failure --timeout 300 -j "$(nproc)" "$@"

# The zip, once the build has the Windows program.
# (The target list is read whole first: grep -q ending the pipe early would fail it.)
targets=$(ninja -C "$build" -t targets all)
if grep -Eq '(^|/)quorvane\.exe:' <<<"$targets"; then
  scripts/windows-zip.sh "$build"
else
  echo "windows-test: this tree has no quorvane.exe target yet; the zip is left out"
fi
