#!/usr/bin/env bash
# Builds Quorvane with warnings as errors and runs every test: unit tests,
# integration tests (Qt offscreen + the receiver simulator) and system tests
# (each on its own Xvfb; the Wayland ones in a headless sway session of their
# own, reported as skipped where sway cannot run), a short run of every fuzzer,
# and the Debian package: built, installed, tested and removed (below). Installs
# missing build dependencies first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
# Style first: clang-format and shellcheck findings fail the run.
scripts/lint.sh
build=${QUORVANE_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DQUORVANE_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure --timeout 300 -j "$(nproc)" "$@"

# Every fuzzer for a short while from its seed corpus: a regression in a parser of
# outside input shows up here (scripts/fuzz.sh TARGET SECONDS runs longer).
scripts/fuzz.sh all 10

# The Debian package: built, linted, installed, smoke-tested from /usr/bin and
# removed again (tests/package/package_test.sh). It installs and removes a
# package on this machine: CI runs it on a throw-away machine; set
# QUORVANE_SKIP_PACKAGE_TEST=1 to leave it out on your own.
if [ -z "${QUORVANE_SKIP_PACKAGE_TEST:-}" ]; then
  tests/package/package_test.sh
else
  echo "test: the package test is left out (QUORVANE_SKIP_PACKAGE_TEST is set)"
fi

# ---- Windows ----------------------------------------------------------------
# quorvane.exe cross-built with MinGW-w64, its tests under Wine, the zip.
# QUORVANE_WINDOWS=0 leaves it out (a quick Linux-only run).
if [ "${QUORVANE_WINDOWS:-1}" != 0 ]; then
  scripts/windows-test.sh
fi
