#!/usr/bin/env bash
# Builds Quorvane with warnings as errors and runs every test: unit tests,
# integration tests (Qt offscreen + the receiver simulator) and system tests
# (each on its own Xvfb; the Wayland ones in a headless sway session of their
# own, reported as skipped where sway cannot run). Installs missing build
# dependencies first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
# Style first: clang-format and shellcheck findings fail the run.
scripts/lint.sh
build=${QUORVANE_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DQUORVANE_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure --timeout 300 -j "$(nproc)" "$@"
