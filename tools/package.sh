#!/usr/bin/env bash
# package.sh -- makes the Debian package: a build in Debian's layout for
# games, with the flags dpkg-buildflags gives a hardened build (fortify,
# stack protector, relro, bindnow), packed by cpack. The package is written
# into the build folder.
# Usage: tools/package.sh [build folder, default build-deb] [extra cmake options]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(realpath -m "${1:-$ROOT/build-deb}")
[ $# -gt 0 ] && shift
cd "$ROOT"   # the flags map this folder's paths to "."

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# CMake has no place for the preprocessor's flags (fortify is one): they go
# with the compiler's. The build type None adds no flags of its own.
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
# The package is made from the game alone, whatever else the build holds.
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=None \
      -DCMAKE_CXX_FLAGS="$CXXFLAGS" -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" \
      -DFLUXBALL_GAMES_LAYOUT=ON -DFLUXBALL_TESTS=OFF -DFLUXBALL_BENCH=OFF \
      -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON "$@" >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target fluxball
(cd "$BUILD" && cpack -G DEB)
