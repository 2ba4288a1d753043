#!/usr/bin/env bash
# test.sh -- sets everything up (tools/setup.sh installs every package the
# tests need) and runs the whole test suite: the tests of the normal build
# (among them the package test, which makes the Debian package from a
# hardened build of its own in build/hardened and runs the fluid tests
# there), the same tests again in a build with AddressSanitizer and
# UndefinedBehaviorSanitizer (where the hostile-input runs also take place),
# and a bounded run of each fuzz target. Tests that draw start their own
# private X servers (Xvfb), so no display is needed.
# Usage: tools/test.sh [seconds per fuzz target, default 60]
set -uo pipefail
cd "$(dirname "$0")/.."
FUZZ_SECONDS=${1:-60}
JOBS=$(nproc)
START=$(date +%s)
stage() { echo "== $* (at $(( $(date +%s) - START ))s)"; }

stage "set-up and build"
tools/setup.sh || exit 1

failed=0
stages=0

stage "tests, normal build"
stages=$((stages + 1))
(cd build && ctest --output-on-failure -j "$JOBS" --timeout 600 -LE hostile) || failed=$((failed + 1))

stage "sanitizer build"
stages=$((stages + 1))
if cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Sanitize -DCMAKE_CXX_FLAGS_SANITIZE="-O1 -g1" \
         -DFLUXBALL_SANITIZE=ON -DFLUXBALL_BENCH=OFF >/dev/null &&
   cmake --build build-asan -j "$JOBS" >/dev/null; then
  stage "tests, AddressSanitizer and UndefinedBehaviorSanitizer build, hostile inputs included"
  (cd build-asan && UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
     ctest --output-on-failure -j "$JOBS" --timeout 900) || failed=$((failed + 1))
else
  echo "sanitizer build failed"
  failed=$((failed + 1))
fi

stage "fuzzing"
stages=$((stages + 1))
tools/fuzz.sh "$FUZZ_SECONDS" || failed=$((failed + 1))

stage "done"
echo "suite: $((stages - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
