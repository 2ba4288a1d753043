#!/bin/bash
# frame_cost.sh -- the processor time of one frame of the real program, the
# way a player runs it: the program draws in its window under a private Xvfb,
# one field view selected by its key, flat out (frame_rate 0, or the rate -f
# sets: 60 is the shipped one), and the
# figure is the processor time the process used (all threads, from
# /proc/PID/stat) over the buffer swaps it made (counted by the preloaded
# swap counter, not by the program). The X server's own time is not counted.
#
#   bench/frame_cost.sh [-g GRID] [-f FRAME_RATE] [-s SECONDS] [-r RUNS] [-l] NAME=PROGRAM ...
#
# Runs are alternated between the programs; the table gives the median of
# the runs for each view, in milliseconds of processor time a frame, and
# frames a second. The drawing is dropped (GALLIUM_NOOP=1, what a hardware
# driver leaves on the processor) unless -l asks for software GL (llvmpipe).
# Needs Xvfb, xdotool and the swap counter built beside this script's
# build (SWAP_COUNTER, default build/bench/libswap_count.so).
set -u
GRID=200
FRAME_RATE=0
SECONDS_MEASURED=6
RUNS=3
SOFTWARE_GL=0
WARM_UP=2                       # seconds after the key before measuring
VIEW_KEYS="0 1 3 4 5 6 2"       # plasma, 3-D density, velocity, pressure, divergence, curl, dye
VIEW_NAMES=(plasma "3-D density" dye velocity pressure divergence curl)   # by key
HERE=$(cd "$(dirname "$0")" && pwd)
COUNTER=${SWAP_COUNTER:-$HERE/../build/bench/libswap_count.so}

while getopts "g:f:s:r:l" opt; do
    case $opt in
        g) GRID=$OPTARG ;;
        f) FRAME_RATE=$OPTARG ;;
        s) SECONDS_MEASURED=$OPTARG ;;
        r) RUNS=$OPTARG ;;
        l) SOFTWARE_GL=1 ;;
        *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
[ $# -ge 1 ] || { echo "usage: $0 [-g GRID] [-f FRAME_RATE] [-s SECONDS] [-r RUNS] [-l] NAME=PROGRAM ..." >&2; exit 2; }
[ -f "$COUNTER" ] || { echo "frame_cost: no swap counter at $COUNTER" >&2; exit 2; }

WORK=$(mktemp -d /tmp/frame_cost.XXXXXX)
XVFB_PID=
APP_PID=
cleanup() {
    [ -n "$APP_PID" ] && kill -9 "$APP_PID" 2>/dev/null
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

mkfifo "$WORK/displayfd"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$WORK/displayfd" >/dev/null 2>&1 &
XVFB_PID=$!
read -r -t 20 number <"$WORK/displayfd" || { echo "frame_cost: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$number"
[ "$SOFTWARE_GL" = 1 ] || export GALLIUM_NOOP=1
TICKS=$(getconf CLK_TCK)

# Processor ticks (user and system, all threads) of a process.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
swaps() { od -An -tu8 -N8 "$WORK/swaps" 2>/dev/null | tr -d ' '; }

# measure PROGRAM KEY: sets FIGURE to "ms_a_frame frames_a_second".
measure() {
    local program=$1 view_key=$2 wid= i t0 t1 s0 s1
    rm -rf "$WORK/run" "$WORK/swaps"
    mkdir "$WORK/run"
    printf 'grid_res = %s\nframe_rate = %s\n' "$GRID" "$FRAME_RATE" >"$WORK/run/params.txt"
    [ -d "$HERE/../sounds" ] && cp -r "$HERE/../sounds" "$WORK/run/"
    (cd "$WORK/run" && SWAP_COUNT_FILE="$WORK/swaps" LD_PRELOAD="$COUNTER" exec "$program" \
        >"$WORK/console.txt" 2>&1 </dev/null) &
    APP_PID=$!
    for i in $(seq 1 100); do
        wid=$(xdotool search --name "^Fluxball" 2>/dev/null | head -n 1)
        [ -n "$wid" ] && break
        kill -0 "$APP_PID" 2>/dev/null || break
        sleep 0.1
    done
    [ -n "$wid" ] || { echo "frame_cost: no window from $program:" >&2; cat "$WORK/console.txt" >&2; exit 1; }
    xdotool windowfocus --sync "$wid" 2>/dev/null
    # The program starts in the plasma view, which its key would switch off.
    [ "$view_key" = 0 ] || xdotool key --window "$wid" "$view_key"
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
        for spec in "$@"; do
            name=${spec%%=*}
            measure "$(readlink -f "${spec#*=}")" "$view_key"
            RESULT["$name/$view_key"]+="$FIGURE"$'\n'
        done
    done
done

driver=$([ "$SOFTWARE_GL" = 1 ] && echo llvmpipe || echo noop)
echo "grid $GRID, frame_rate $FRAME_RATE, $driver driver, medians of $RUNS runs of $SECONDS_MEASURED s: processor ms a frame (frames a second)"
printf '%-12s' view
for spec in "$@"; do printf '%22s' "${spec%%=*}"; done
echo
for view_key in $VIEW_KEYS; do
    printf '%-12s' "${VIEW_NAMES[$view_key]}"
    for spec in "$@"; do
        name=${spec%%=*}
        ms=$(printf '%s' "${RESULT["$name/$view_key"]}" | awk 'NF {print $1}' | median)
        fps=$(printf '%s' "${RESULT["$name/$view_key"]}" | awk 'NF {print $2}' | median)
        printf '%22s' "$ms ($fps)"
    done
    echo
done
