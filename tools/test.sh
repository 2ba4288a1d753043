#!/usr/bin/env bash
# test.sh -- sets everything up and runs the whole test suite. Tests that draw
# start their own private X servers (Xvfb), so no display is needed.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cd build
ctest --output-on-failure -j "$(nproc)" --timeout 600
