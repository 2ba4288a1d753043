#!/usr/bin/env bash
# fuzz.sh -- builds the libFuzzer targets with clang (in build-fuzz/) and runs
# each for a bounded time from its committed seed corpus. A crash fails.
# Usage: tools/fuzz.sh [seconds per target, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-60}
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DFLUXBALL_FUZZ=ON -DFLUXBALL_BENCH=OFF \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target params_fuzz scores_fuzz input_fuzz
status=0
for target in params scores input; do
  work=$(mktemp -d /tmp/fluxball_fuzz.XXXXXX)
  # Each input event of the input target may run a whole frame: keep inputs short.
  extra=
  [ "$target" = input ] && extra=-max_len=128
  echo "== fuzzing $target for ${SECONDS_EACH}s"
  if (cd "$work" && "$OLDPWD/build-fuzz/tests/${target}_fuzz" -max_total_time="$SECONDS_EACH" \
        -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 $extra \
        "$work" "$OLDPWD/tests/fuzz/corpus/$target" >"$work/log.txt" 2>&1); then
    grep -E "stat::number_of_executed_units|Done" "$work/log.txt" | sed "s/^/  $target: /"
    echo "fuzz.$target: 1 passed, 0 failed"
  else
    tail -n 40 "$work/log.txt"
    echo "fuzz.$target: 0 passed, 1 failed"
    status=1
  fi
  rm -rf "$work"
done
exit $status
