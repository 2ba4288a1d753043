#!/usr/bin/env bash
# screenshots.sh -- plays Fluxball under a private X server with real input
# and saves small pictures for the README into docs/screenshots/: the title
# page, the help page and the options page over it, a game in play, the name
# entry, the scoreboard, the scoreboard after a save that failed, and the solver mode
# with ink and several field views and overlays.
# Usage: tools/screenshots.sh [program]   (default: build/fluxball)
# Needs Xvfb, xdotool and ImageMagick (tools/setup.sh installs them).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=$(readlink -f "${1:-$ROOT/build/fluxball}")
OUT_DIR="$ROOT/docs/screenshots"
SIZE=400x300
WORK=$(mktemp -d /tmp/fluxball_shots.XXXXXX)
XVFB_PID=
APP_PID=

cleanup() {
    [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
    wait 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

[ -x "$BIN" ] || { echo "no program at $BIN (build it first)"; exit 1; }
mkdir -p "$OUT_DIR"

# A private X server; it picks a free display number.
mkfifo "$WORK/displayfd"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$WORK/displayfd" >/dev/null 2>&1 &
XVFB_PID=$!
read -r -t 20 number <"$WORK/displayfd" || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=":$number"

# The working directory: the sounds, two lives per game so that the game
# ends soon, and a table with a few rows so that the scoreboard has content.
[ -d "$ROOT/sounds" ] && cp -r "$ROOT/sounds" "$WORK/"
printf 'max_lives = 2\n' >"$WORK/params.txt"
printf 'Grace = 9\nAlan = 7\nEdsger = 4\nBarbara = 3\n' >"$WORK/scores.txt"

(cd "$WORK" && exec "$BIN" >"$WORK/console.txt" 2>&1 </dev/null) &
APP_PID=$!
WID=
for _ in $(seq 1 100); do
    WID=$(xdotool search --name "^Fluxball Prototype$" 2>/dev/null | head -n 1) && [ -n "$WID" ] && break
    sleep 0.1
done
[ -n "$WID" ] || { echo "the window did not appear"; cat "$WORK/console.txt"; exit 1; }

focus() { xdotool windowfocus --sync "$WID" 2>/dev/null || true; }
key() { focus; xdotool key --delay 60 "$@"; sleep 0.2; }
move() { xdotool mousemove --window "$WID" "$1" "$2"; sleep 0.05; }
# drag BUTTON X0 Y0 X1 Y1 [STEPS]: press, move in steps (one every 50 ms or
# so), release. Ink gathers while the button is held, so ink drags are slow.
drag() {
    local b=$1 x0=$2 y0=$3 x1=$4 y1=$5 n=${6:-20} s
    move "$x0" "$y0"
    xdotool mousedown "$b"
    for s in $(seq 1 "$n"); do move $((x0 + (x1 - x0) * s / n)) $((y0 + (y1 - y0) * s / n)); done
    xdotool mouseup "$b"
}
# shot NAME: the window, shrunk, as docs/screenshots/NAME.png.
shot() {
    import -window "$WID" "$WORK/full.png"
    convert "$WORK/full.png" -resize "$SIZE" -strip -colors 128 "PNG8:$OUT_DIR/$1.png"
    echo "saved docs/screenshots/$1.png"
}
# The congratulation page's headline, in (0.9, 0.9, 1), is on screen.
congratulated() {
    import -window "$WID" "$WORK/poll.png"
    local n
    n=$(convert "$WORK/poll.png" -crop 200x22+334+42 +repage \
        \( +clone -fill "rgb(229,229,255)" -colorize 100 \) \
        -compose difference -composite -colorspace Gray -threshold 2% -negate \
        -format '%[fx:round(mean*w*h)]' info:)
    [ "$n" -gt 30 ]
}

sleep 2
shot title

# The help page (h) over the title page, at full size so that it can be
# read; Esc closes it.
key h
sleep 0.5
import -window "$WID" "$WORK/full.png"
convert "$WORK/full.png" -strip -colors 128 "PNG8:$OUT_DIR/help.png"
echo "saved docs/screenshots/help.png"
key Escape

# The options page (o) over the title page, at full size, with the grid's
# resolution chosen (its account of itself below the list); Esc closes it
# without changing anything.
key o Down Down Down Down Down
sleep 0.5
import -window "$WID" "$WORK/full.png"
convert "$WORK/full.png" -strip -colors 128 "PNG8:$OUT_DIR/options.png"
echo "saved docs/screenshots/options.png"
key Escape

# A game: the paddle waits high up while the ball is served in the middle.
move 400 150
key space
sleep 3.5
shot game

# wait_for_name_entry: until the game has ended in the top ten.
wait_for_name_entry() {
    local over=
    for _ in $(seq 1 200); do
        congratulated && { over=1; break; }
        sleep 0.5
    done
    [ -n "$over" ] || { echo "the game did not end; no name entry"; exit 1; }
}
wait_for_name_entry
focus
xdotool type --delay 80 "Ada"
sleep 0.5
shot name_entry
key Return
sleep 1.5
shot scoreboard

# A second game whose entry cannot be saved: a folder takes the table's
# place, so neither a new file nor the old one can be written.
key space
wait_for_name_entry
rm -f "$WORK/scores.txt"
mkdir "$WORK/scores.txt"
focus
xdotool type --delay 80 "Linus"
key Return
sleep 1.5
shot scoreboard_not_saved
grep -q "Error: Could not open score file." "$WORK/console.txt" ||
    { echo "the save did not fail"; exit 1; }

# The solver mode (it opens in the 3-D density view): ink, the dye view,
# then the velocity, pressure and curl views and the velocity lines, each
# after a stir.
key F1
sleep 0.3
drag 3 150 300 650 300 80
drag 3 400 120 400 480 80
drag 1 250 380 550 220
sleep 0.8
shot solver_density_3d
key 2
sleep 0.3
shot solver_dye
key 3
drag 1 300 200 500 400
sleep 0.5
shot solver_velocity
key 4
drag 1 500 200 300 400
sleep 0.3
shot solver_pressure
key 6
drag 1 200 400 600 200
sleep 0.5
shot solver_curl
key 2 8
drag 1 300 300 500 320
sleep 0.5
shot solver_velocity_lines
key q
wait "$APP_PID" 2>/dev/null || true
APP_PID=
