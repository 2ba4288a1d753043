# hostile_params.sh -- shared by the hostile parameter tests: each case runs
# the real program with one parameter file, drives it for a few seconds with
# every key and drags with every button, and expects it either to play on and
# quit cleanly (status 1), or to stop at once with an error line and status
# -1. Never a crash, a hang or a sanitizer report.
# Sourced after harness.sh.

KEYS="0 1 2 3 4 5 6 7 8 9 b c d e f g l m p r s t v w bracketleft bracketright Left Right Up Down"

# Plays a short scripted session against the running program.
exercise() {
    key F1
    drag 1 100 100 400 300
    drag 3 400 300 200 500
    move 300 300; press 2; move 350 250; press 1; release 2; release 1
    move 500 200; press 2; move 450 250; press 3; release 2; release 3
    key w; drag 1 200 200 260 260; drag 3 200 200 260 260; key w
    key s; drag 1 300 100 320 120; drag 3 300 100 320 120; key s
    key $KEYS
    key space; key space
    key F1; key space
    drag 1 50 500 60 100
    move 60 300; press 3; sleep 0.3; release 3
    key l t
}

# run_case NAME TEXT: one parameter file.
run_case() {
    printf '%s\n' "$2" > "$WORK/params.txt"
    (cd "$WORK" && exec "$FLUXBALL_BIN" >"$OUT" 2>&1 </dev/null) &
    APP_PID=$!
    WID=
    local i
    for i in $(seq 1 100); do
        WID=$(xdotool search --name "^Fluxball Prototype$" 2>/dev/null | head -n 1)
        [ -n "$WID" ] && break
        kill -0 "$APP_PID" 2>/dev/null || break
        sleep 0.1
    done
    if [ -z "$WID" ]; then
        wait "$APP_PID"; APP_STATUS=$?; APP_PID=
        check_no_sanitizer_report
        [ "$APP_STATUS" = 255 ] || fail "$1: ended with status $APP_STATUS before its window"
        grep -q "^Error" "$OUT" || fail "$1: ended without an error line"
        echo "  $1: refused at start-up (status -1)"
        return
    fi
    focus
    exercise
    key Escape
    expect_exit 1
    echo "  $1: played and quit"
    tried=$((tried + 1))
}

all_keys() {
    local value=$1
    for k in fullscreen full_res grid_res win_width win_height iterations timestep diffusion \
             viscosity dissipation turbulance velocity_force density_source gravity_force \
             buoyancy_force jet_force emitter_rate max_jets max_particles block_size max_lives \
             paddle_width paddle_height paddle_force paddle_suck paddle_blast ball_top_speed ball_accel \
             frame_rate help_hint auto_pause fullscreen_window; do
        [ "$k" = fullscreen ] && continue
        echo "$k = $value"
    done
}

tried=0
