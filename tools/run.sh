#!/usr/bin/env bash
# run.sh -- installs what building and playing need, builds the game alone
# (no tests, benchmarks or fuzzers) and starts it with the repository root
# as its working directory.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install_packages.sh play
# A new build folder leaves out the tests and benchmarks, which need more
# packages (tools/setup.sh turns them on); an existing one keeps its choice.
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFLUXBALL_TESTS=OFF -DFLUXBALL_BENCH=OFF >/dev/null
fi
cmake --build build -j "$(nproc)" --target fluxball
exec build/fluxball "$@"
