#!/bin/bash
# frame_cost.sh -- the processor time of one frame of the real program, the
# way a player runs it: the program draws in its window under a private Xvfb,
# one field view selected by its key, flat out (frame_rate 0, or the rate -f
# sets: 60 is the shipped one), and the figure is the processor time the
# process used (all threads, from /proc/PID/stat) over the buffer swaps it
# made (counted by the preloaded swap counter, not by the program). The X
# server's own time is not counted.
#
#   bench/frame_cost.sh [-g GRID] [-f FRAME_RATE] [-s SECONDS] [-r RUNS] [-k "KEYS"] [-m] [-l] NAME=PROGRAM ...
#
# -k picks views by their keys (default all seven: "0 1 3 4 5 6 2"); -m
# measures the solver mode (F1 first) instead of the game's title screen. Runs are
# alternated between the programs; the table gives the median of
# the runs for each view, in milliseconds of processor time a frame, and
# frames a second. The drawing is dropped (GALLIUM_NOOP=1, what a hardware
# driver leaves on the processor) unless -l asks for software GL (llvmpipe).
# Needs Xvfb, xdotool and the swap counter built beside this script's
# build (SWAP_COUNTER, default build/bench/libswap_count.so). The window
# and X server handling is the end-to-end tests' harness.

GRID=200
FRAME_RATE=0
SECONDS_MEASURED=6
RUNS=3
SOFTWARE_GL=0
SOLVER_MODE=0
WARM_UP=2                       # seconds after the key before measuring
VIEW_KEYS="0 1 3 4 5 6 2"       # plasma, 3-D density, velocity, pressure, divergence, curl, dye
VIEW_NAMES=(plasma "3-D density" dye velocity pressure divergence curl)   # by key
HERE=$(cd "$(dirname "$0")" && pwd)
COUNTER=${SWAP_COUNTER:-$HERE/../build/bench/libswap_count.so}

while getopts "g:f:s:r:k:ml" opt; do
    case $opt in
        g) GRID=$OPTARG ;;
        f) FRAME_RATE=$OPTARG ;;
        s) SECONDS_MEASURED=$OPTARG ;;
        r) RUNS=$OPTARG ;;
        k) VIEW_KEYS=$OPTARG ;;
        m) SOLVER_MODE=1 ;;
        l) SOFTWARE_GL=1 ;;
        *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
[ $# -ge 1 ] || { echo "usage: $0 [-g GRID] [-f FRAME_RATE] [-s SECONDS] [-r RUNS] [-k KEYS] [-m] [-l] NAME=PROGRAM ..." >&2; exit 2; }
[ -f "$COUNTER" ] || { echo "frame_cost: no swap counter at $COUNTER" >&2; exit 2; }
COUNTER=$(readlink -f "$COUNTER")

# shellcheck source=../tests/e2e/harness.sh
source "$HERE/../tests/e2e/harness.sh" "${1#*=}" "$HERE/.."
start_xvfb
[ "$SOFTWARE_GL" = 1 ] || export GALLIUM_NOOP=1
TICKS=$(getconf CLK_TCK)
SWAPS="$WORK.swaps"

# Processor ticks (user and system, all threads) of a process.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
swaps() { od -An -tu8 -N8 "$SWAPS" 2>/dev/null | tr -d ' '; }

# measure PROGRAM KEY: sets FIGURE to "ms_a_frame frames_a_second".
measure() {
    local t0 t1 s0 s1
    FLUXBALL_BIN=$1
    rm -rf "${WORK:?}"/* "$SWAPS"
    printf 'grid_res = %s\nframe_rate = %s\n' "$GRID" "$FRAME_RATE" >"$WORK/params.txt"
    copy_sounds
    export SWAP_COUNT_FILE="$SWAPS" LD_PRELOAD="$COUNTER"
    start_fluxball
    unset SWAP_COUNT_FILE LD_PRELOAD
    [ "$SOLVER_MODE" = 1 ] && key F1
    # The program starts in the plasma view, which its key would switch off.
    [ "$2" = 0 ] || key "$2"
    sleep "$WARM_UP"
    t0=$(cpu_ticks "$APP_PID"); s0=$(swaps)
    sleep "$SECONDS_MEASURED"
    t1=$(cpu_ticks "$APP_PID"); s1=$(swaps)
    kill -9 "$APP_PID" 2>/dev/null
    wait "$APP_PID" 2>/dev/null
    APP_PID=
    FIGURE=$(awk -v t="$((t1 - t0))" -v s="$((s1 - s0))" -v hz="$TICKS" -v sec="$SECONDS_MEASURED" \
        'BEGIN { if (s < 1) { print "nan nan"; exit } printf "%.2f %.1f\n", 1000 * t / hz / s, s / sec }')
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

declare -A RESULT
for run in $(seq 1 "$RUNS"); do
    for view_key in $VIEW_KEYS; do
        for entry in "$@"; do
            measure "$(readlink -f "${entry#*=}")" "$view_key"
            RESULT["${entry%%=*}/$view_key"]+="$FIGURE"$'\n'
        done
    done
done

driver=$([ "$SOFTWARE_GL" = 1 ] && echo llvmpipe || echo noop)
mode=$([ "$SOLVER_MODE" = 1 ] && echo "solver mode" || echo "title screen")
echo "grid $GRID, frame_rate $FRAME_RATE, $driver driver, $mode, medians of $RUNS runs of $SECONDS_MEASURED s: processor ms a frame (frames a second)"
printf '%-12s' view
for entry in "$@"; do printf '%22s' "${entry%%=*}"; done
echo
for view_key in $VIEW_KEYS; do
    printf '%-12s' "${VIEW_NAMES[$view_key]}"
    for entry in "$@"; do
        figures=${RESULT["${entry%%=*}/$view_key"]}
        ms=$(printf '%s' "$figures" | awk 'NF {print $1}' | median)
        fps=$(printf '%s' "$figures" | awk 'NF {print $2}' | median)
        printf '%22s' "$ms ($fps)"
    done
    echo
done
rm -f "$SWAPS"
