#!/usr/bin/env bash
# fuzz.sh -- builds the libFuzzer targets with clang (in build-fuzz/) and runs
# each for a bounded time from its committed seed corpus, two at a time (one
# a core). A crash fails.
# Usage: tools/fuzz.sh [seconds per target, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
SECONDS_EACH=${1:-60}
TARGETS=(params scores input replay)
AT_ONCE=2
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DFLUXBALL_FUZZ=ON -DFLUXBALL_BENCH=OFF \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target "${TARGETS[@]/%/_fuzz}"

# run_target NAME WORK: fuzzes NAME in the folder WORK (new inputs in
# WORK/corpus, the output in WORK/log.txt); the fuzzer's status.
run_target() {
  local target=$1 work=$2 extra=()
  case "$target" in
    # Each input event of the input target may run a whole frame: keep inputs short.
    input) extra=(-max_len=128) ;;
    # Records a replay's fuzzing would rarely make by flipping bits.
    replay) extra=(-dict="$ROOT/tests/fuzz/replay.dict") ;;
  esac
  (cd "$work" && "$ROOT/build-fuzz/tests/${target}_fuzz" -max_total_time="$SECONDS_EACH" \
      -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 "${extra[@]}" \
      "$work/corpus" "$ROOT/tests/fuzz/corpus/$target" >"$work/log.txt" 2>&1)
}

status=0
for ((first = 0; first < ${#TARGETS[@]}; first += AT_ONCE)); do
  batch=("${TARGETS[@]:first:AT_ONCE}")
  pids=()
  works=()
  for target in "${batch[@]}"; do
    work=$(mktemp -d /tmp/fluxball_fuzz.XXXXXX)
    mkdir "$work/corpus"
    echo "== fuzzing $target for ${SECONDS_EACH}s"
    run_target "$target" "$work" &
    pids+=($!)
    works+=("$work")
  done
  for k in "${!batch[@]}"; do
    target=${batch[$k]}
    work=${works[$k]}
    if wait "${pids[$k]}"; then
      grep -E "stat::number_of_executed_units|Done" "$work/log.txt" | sed "s/^/  $target: /"
      echo "fuzz.$target: 1 passed, 0 failed"
    else
      tail -n 40 "$work/log.txt"
      echo "fuzz.$target: 0 passed, 1 failed"
      status=1
    fi
    rm -rf "$work"
  done
done
exit $status
