#!/usr/bin/env bash
# Builds the Debian package of Quorvane: quorvane_<version>_<arch>.deb, with
# Debian's compiler flags (dpkg-buildflags: hardening, fortify), stripped
# programs and the dependencies dpkg-shlibdeps computes.
#   scripts/package.sh [BUILD-DIR]     (default: build/deb)
# Prints the package's path as its last line. Installs missing build
# dependencies first (scripts/install-deps.sh) unless QUORVANE_SKIP_DEPS is set.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build/deb}

[ -n "${QUORVANE_SKIP_DEPS:-}" ] || scripts/install-deps.sh >&2

# Dates inside the package (man pages) follow the last commit, so the same
# sources give the same files.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct)
  export SOURCE_DATE_EPOCH
fi

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
# Build paths stay out of the debugging information (stripped anyway) and of
# any assertion text.
cxxflags="$cxxflags -ffile-prefix-map=$root=."

cmake -S . -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=None \
  -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_CXX_FLAGS="$cxxflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  -DQUORVANE_BUILD_TESTS=OFF \
  -DQUORVANE_BUILD_BENCH=OFF >&2
cmake --build "$build" --parallel "${QUORVANE_JOBS:-2}" >&2
rm -f "$build"/package/*.deb
(cd "$build" && cpack -G DEB >&2)

debs=("$build"/package/*.deb)
[ -f "${debs[0]}" ] || { echo "package: cpack made no .deb" >&2; exit 1; }
echo "package: $(dpkg-deb -f "${debs[0]}" Package Version Architecture | paste -sd' ')" >&2
echo "package: Depends: $(dpkg-deb -f "${debs[0]}" Depends)" >&2
realpath "${debs[0]}"
