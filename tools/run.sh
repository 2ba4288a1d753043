#!/usr/bin/env bash
# run.sh -- sets everything up and starts the game (from the repository root,
# which is the program's working directory).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
exec build/fluxball "$@"
