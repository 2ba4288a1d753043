# harness.sh -- end-to-end test helpers: run the real program under a private
# Xvfb in a fresh working directory and drive it with XTEST input (xdotool).
#
# Usage in a test script:
#   source "$(dirname "$0")/harness.sh" "$1" "$2"   # program, source tree
#   start_fluxball                                   # waits for the window
#   key q; expect_exit 1
# Every test ends with `pass` (prints the closing line, exits 0); `fail MSG`
# prints the program's console and exits 1.

FLUXBALL_BIN=$(readlink -f "$1")
SOURCE_DIR=$(readlink -f "$2")
WORK=$(mktemp -d /tmp/fluxball_e2e.XXXXXX)
OUT="$WORK/console.txt"
APP_PID=
XVFB_PID=
WID=
APP_STATUS=

cleanup() {
    [ -n "$APP_PID" ] && kill -9 "$APP_PID" 2>/dev/null
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
    wait 2>/dev/null
    if [ -z "$KEEP_WORK" ]; then rm -rf "$WORK"; fi
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    if [ -f "$OUT" ]; then echo "--- console (last 40 lines) ---"; tail -n 40 "$OUT"; fi
    if [ -f "$WORK/xvfb.log" ] && [ -s "$WORK/xvfb.log" ]; then
        echo "--- X server ---"; tail -n 20 "$WORK/xvfb.log"
    fi
    echo "0 passed, 1 failed"
    exit 1
}

pass() {
    echo "1 passed, 0 failed"
    exit 0
}

# Starts a private X server; the server picks a free display number. Tries
# again when the new display does not answer (several suites may race for
# numbers at once).
start_xvfb() {
    local attempt number
    for attempt in 1 2 3 4 5; do
        local fifo="$WORK/displayfd.$attempt"
        mkfifo "$fifo"
        Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$fifo" >"$WORK/xvfb.log" 2>&1 &
        XVFB_PID=$!
        number=
        read -r -t 20 number <"$fifo"
        if [ -n "$number" ] && DISPLAY=":$number" xdpyinfo >/dev/null 2>&1; then
            export DISPLAY=":$number"
            return 0
        fi
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
        XVFB_PID=
        sleep 0.5
    done
    fail "Xvfb did not start"
}

# Copies the shipped sound files into the working directory (the program
# reads them relative to it).
copy_sounds() {
    [ -d "$SOURCE_DIR/sounds" ] && cp -r "$SOURCE_DIR/sounds" "$WORK/"
}

# Starts the program in $WORK (console to $OUT, stdin not a terminal) and
# waits for its window.
start_fluxball() {
    [ -n "$DISPLAY" ] && [ -n "$XVFB_PID" ] || start_xvfb
    (cd "$WORK" && exec "$FLUXBALL_BIN" "$@" >"$OUT" 2>&1 </dev/null) &
    APP_PID=$!
    wait_for_window
}

# The same in a private mount namespace prepared by the shell commands $1,
# in which "$1" is the working directory; fails when this machine cannot
# make mount namespaces (check can_mount_readonly first). The program's view
# of its files stays reachable under /proc/$APP_PID/root.
start_fluxball_mounted() {
    [ -n "$DISPLAY" ] && [ -n "$XVFB_PID" ] || start_xvfb
    (cd "$WORK" && exec unshare -m sh -c "$1"' && cd "$1" && exec "$2"' \
        sh "$WORK" "$FLUXBALL_BIN" >"$OUT" 2>&1 </dev/null) &
    APP_PID=$!
    wait_for_window
}
# With $WORK read-only (a private read-only bind mount).
start_fluxball_readonly() {
    start_fluxball_mounted 'mount --bind "$1" "$1" && mount -o remount,bind,ro "$1"'
}
can_mount_readonly() { unshare -m sh -c 'mount --bind /tmp /tmp' 2>/dev/null; }

wait_for_window() {
    local i
    WID=
    for i in $(seq 1 100); do
        WID=$(xdotool search --name "^Fluxball Prototype$" 2>/dev/null | head -n 1)
        [ -n "$WID" ] && break
        kill -0 "$APP_PID" 2>/dev/null || fail "program ended before its window opened"
        sleep 0.1
    done
    [ -n "$WID" ] || fail "window 'Fluxball Prototype' did not appear"
    xdotool windowfocus --sync "$WID" 2>/dev/null
    sleep 0.3
}

# Runs the program without waiting for a window (for start-up failures).
run_fluxball_to_end() {
    [ -n "$XVFB_PID" ] || start_xvfb
    (cd "$WORK" && timeout 30 "$FLUXBALL_BIN" "$@" >"$OUT" 2>&1 </dev/null)
    APP_STATUS=$?
    check_no_sanitizer_report
}

# Sanitizer builds report into the console; any report fails the test.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0:exitcode=86}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
check_no_sanitizer_report() {
    if grep -qE "ERROR: (Address|Leak)Sanitizer|runtime error:" "$OUT" 2>/dev/null; then
        fail "sanitizer report"
    fi
}

# Waits up to 20 s for the program to end; fails unless its status is $1.
expect_exit() {
    local want=$1 i
    for i in $(seq 1 200); do
        kill -0 "$APP_PID" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$APP_PID" 2>/dev/null && fail "program still running"
    wait "$APP_PID"
    APP_STATUS=$?
    APP_PID=
    check_no_sanitizer_report
    [ "$APP_STATUS" = "$want" ] || fail "exit status $APP_STATUS, expected $want"
}

focus() { xdotool windowfocus --sync "$WID" 2>/dev/null; }
# key NAME...: X key names (q, space, F1, Return, BackSpace, bracketleft, ...)
key() { focus; xdotool key --delay 60 "$@"; sleep 0.15; }
type_text() { focus; xdotool type --delay 60 "$1"; sleep 0.15; }
# Pointer position in window pixels.
move() { xdotool mousemove --window "$WID" "$1" "$2"; sleep 0.05; }
press() { xdotool mousedown "$1"; sleep 0.05; }      # 1 left, 2 middle, 3 right
release() { xdotool mouseup "$1"; sleep 0.05; }
# drag BUTTON X0 Y0 X1 Y1: press at the start, move in steps, release.
drag() {
    local b=$1 x0=$2 y0=$3 x1=$4 y1=$5 s
    move "$x0" "$y0"; press "$b"
    for s in 1 2 3 4 5 6 7 8 9 10; do
        move $((x0 + (x1 - x0) * s / 10)) $((y0 + (y1 - y0) * s / 10))
    done
    release "$b"
}

# screenshot FILE: the program's window as a PNG.
screenshot() { import -window "$WID" "$1" 2>/dev/null || fail "screenshot failed"; }
# pixel FILE X Y: prints "R G B" (0..255) of one pixel.
pixel() {
    convert "$1" -format '%[fx:int(255*p{'"$2"','"$3"'}.r)] %[fx:int(255*p{'"$2"','"$3"'}.g)] %[fx:int(255*p{'"$2"','"$3"'}.b)]' info:
}
# count_color FILE WxH+X+Y R G B: pixels of about that colour (0..255) in the
# region.
count_color() {
    convert "$1" -crop "$2" +repage \( +clone -fill "rgb($3,$4,$5)" -colorize 100 \) \
        -compose difference -composite -colorspace Gray -threshold 3% -negate \
        -format '%[fx:round(mean*w*h)]' info:
}
# mean FILE: mean brightness of the image, 0..1.
mean() { convert "$1" -colorspace Gray -format '%[fx:mean]' info:; }
# differ A B: mean absolute difference of two images, 0..1.
differ() { compare -metric MAE "$1" "$2" null: 2>&1 | sed -E 's/.*\((.*)\).*/\1/'; }
# ge A B: succeeds when the number A >= B.
ge() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a >= b) }'; }

console_has() { grep -qF -- "$1" "$OUT"; }

# The program's window size, WxH.
geometry() { xdotool getwindowgeometry "$WID" | awk '/Geometry/ {print $2}'; }
# wait_geometry WxH: waits up to 3 s for the window to take that size.
wait_geometry() {
    local i
    for i in $(seq 1 30); do
        [ "$(geometry)" = "$1" ] && return 0
        sleep 0.1
    done
    return 1
}

# installed_tree: an installed tree around the built program in $WORK/prefix,
# in the build's own layout (bin/, lib/fluxball, share/fluxball), with the
# launcher the build made, which finds the program and its data relative to
# itself. Sets LAUNCHER, a private HOME and TMPDIR, and PLAYER, the player's
# folder (not made).
installed_tree() {
    PREFIX="$WORK/prefix"
    mkdir -p "$PREFIX/bin" "$PREFIX/lib/fluxball" "$PREFIX/share/fluxball"
    grep -q '^program="$prefix/lib/fluxball/fluxball"$' "$(dirname "$FLUXBALL_BIN")/fluxball.sh" ||
        fail "the build's launcher is not for the bin/, lib/fluxball layout"
    cp "$(dirname "$FLUXBALL_BIN")/fluxball.sh" "$PREFIX/bin/fluxball"
    ln -s "$FLUXBALL_BIN" "$PREFIX/lib/fluxball/fluxball"
    ln -s "$SOURCE_DIR/sounds" "$PREFIX/share/fluxball/sounds"
    cp "$SOURCE_DIR/params.txt" "$PREFIX/share/fluxball/params.txt"
    LAUNCHER="$PREFIX/bin/fluxball"
    export HOME="$WORK/home"
    unset XDG_DATA_HOME
    export TMPDIR="$WORK/tmp"
    mkdir -p "$TMPDIR"
    PLAYER="$HOME/.local/share/fluxball"
}
