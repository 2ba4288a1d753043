#!/usr/bin/env bash
# soak.sh -- leaves the program running unattended and watches its memory:
# once in the game-over autopilot and once in the solver mode with jets
# running, side by side, each under its own Xvfb. Prints the resident memory
# at the start and at the end of each run; fails on a crash, a sanitizer
# report or memory that grows by more than a tenth.
# Usage: tools/soak.sh [program, default build-asan/fluxball] [seconds, default 300]
set -uo pipefail
cd "$(dirname "$0")/.."
BIN=$(readlink -f "${1:-build-asan/fluxball}")
SECONDS_EACH=${2:-300}
SRC=$(pwd)
export ASAN_OPTIONS="detect_leaks=0:exitcode=86"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null; }

# soak NAME PARAMS SETUP: SETUP is a function that drives the window.
soak() {
    local name=$1 params=$2 setup=$3
    local work; work=$(mktemp -d /tmp/fluxball_soak.XXXXXX)
    cp -r "$SRC/sounds" "$work/"
    printf '%s\n' "$params" > "$work/params.txt"
    mkfifo "$work/fd"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/fd" >/dev/null 2>&1 &
    local xvfb=$! number
    read -r -t 20 number <"$work/fd"
    export DISPLAY=":$number"
    (cd "$work" && exec "$BIN" >"$work/console.txt" 2>&1 </dev/null) &
    local pid=$! wid= i
    for i in $(seq 1 100); do
        wid=$(xdotool search --name "^Fluxball Prototype$" 2>/dev/null | head -n 1)
        [ -n "$wid" ] && break
        sleep 0.1
    done
    [ -n "$wid" ] || { echo "$name: no window"; kill $xvfb; return 1; }
    xdotool windowfocus --sync "$wid"
    $setup "$wid"
    sleep 10
    local start; start=$(rss_kb $pid)
    local t=10
    while [ $t -lt "$SECONDS_EACH" ]; do
        sleep 10; t=$((t + 10))
        kill -0 $pid 2>/dev/null || break
    done
    local end; end=$(rss_kb $pid)
    local status=0
    if ! kill -0 $pid 2>/dev/null; then
        echo "$name: the program ended during the soak"; status=1
    else
        xdotool key --window "$wid" Escape; sleep 2
        kill -0 $pid 2>/dev/null && { kill -9 $pid; echo "$name: did not quit"; status=1; }
    fi
    wait $pid 2>/dev/null
    if grep -qE "ERROR: (Address|Leak)Sanitizer|runtime error:" "$work/console.txt"; then
        echo "$name: sanitizer report"; tail -n 30 "$work/console.txt"; status=1
    fi
    echo "$name: ${SECONDS_EACH}s, resident memory ${start} kB at start, ${end} kB at end"
    if [ -n "$start" ] && [ -n "$end" ] && [ "$end" -gt $((start + start / 10)) ]; then
        echo "$name: memory grew"; status=1
    fi
    kill $xvfb 2>/dev/null
    rm -rf "$work"
    return $status
}

autopilot() {   # max_lives 0: a new game ends at once and the autopilot plays on
    xdotool key --window "$1" space
}
jets() {        # solver mode with four particle-and-ink jets
    local wid=$1 x
    xdotool key --window "$wid" F1
    sleep 0.5
    for x in 150 300 450 600; do
        xdotool mousemove --window "$wid" $x 450 mousedown 2
        sleep 0.2
        xdotool mousemove --window "$wid" $((x + 40)) 350 mousedown 1 mousedown 3
        sleep 0.3
        xdotool mouseup 2; sleep 0.3; xdotool mouseup 1 mouseup 3; sleep 0.2
    done
}

soak "game-over autopilot" "max_lives = 0" autopilot & a=$!
soak "solver mode with jets" "grid_res = 100" jets & b=$!
wait $a; sa=$?
wait $b; sb=$?
[ $sa -eq 0 ] && [ $sb -eq 0 ] && echo "soak: 2 passed, 0 failed" || { echo "soak: failed"; exit 1; }
