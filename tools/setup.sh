#!/usr/bin/env bash
# setup.sh -- installs everything Fluxball's development needs on a Debian
# machine (only the packages that are missing; as root, or through sudo) and
# builds the game, the tests and the benchmarks in build/.
# Usage: tools/setup.sh [extra cmake options]
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install_packages.sh all
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFLUXBALL_TESTS=ON -DFLUXBALL_BENCH=ON "$@" >/dev/null
cmake --build build -j "$(nproc)"
