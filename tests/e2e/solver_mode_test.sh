# The solver mode driven with real input: F1 into the mode, ink from a
# right-button drag, clearing with c, a particle jet placed with the middle
# button, pausing with the spacebar, walls drawn in the wall mode, and
# quitting with q.
source "$(dirname "$0")/harness.sh" "$1" "$2"
copy_sounds

# lit FILE WxH+X+Y: share (0..1) of the pixels of a part of a screenshot
# brighter than a tenth of full scale.
lit() {
    convert "$1" -crop "$2" +repage -colorspace Gray -threshold 10% -format '%[fx:mean]' info:
}
# region_differ A B WxH+X+Y: mean absolute difference of the same part of two images.
region_differ() {
    convert "$1" -crop "$3" +repage "$WORK/a.png"
    convert "$2" -crop "$3" +repage "$WORK/b.png"
    differ "$WORK/a.png" "$WORK/b.png"
}
# lit_within FILE REGION MIN: takes screenshots into FILE for up to 10 s
# until the lit share of REGION reaches MIN (frames may come slowly); prints
# the last share and succeeds when it was reached.
lit_within() {
    local i share
    for i in $(seq 1 20); do
        screenshot "$1"
        share=$(lit "$1" "$2")
        ge "$share" "$3" && { echo "$share"; return 0; }
        sleep 0.5
    done
    echo "$share"
    return 1
}
# The field without the text rows at the top and bottom of the window.
FIELD=800x540+0+30
INK=300x140+250+230
JET_BAND=160x24+185+438

start_fluxball
key F1
sleep 0.5
screenshot "$WORK/base.png"
base=$(lit "$WORK/base.png" "$INK")
ge 0.001 "$base" || fail "the solver mode does not start on an empty grid ($base)"

# Ink: a right-button drag across the middle of the window, slow enough for
# a few frames at each stop even when frames come slowly.
move 300 300
press 3
for x in 300 340 380 420 460 500; do move "$x" 300; sleep 0.15; done
release 3
ink=$(lit_within "$WORK/ink.png" "$INK" 0.01) || fail "no ink after a right-button drag (lit $ink)"

# c empties the grid.
key c
sleep 0.5
screenshot "$WORK/cleared.png"
cleared=$(lit "$WORK/cleared.png" "$INK")
ge 0.001 "$cleared" || fail "c did not clear the ink ($cleared)"

# A particle jet: middle button down at the origin, drag to the right, hold
# the left button, release the middle one.
move 200 450
press 2
for x in 220 240 260 280 300; do move "$x" 450; done
# The buttons are held for a while: the tools look at them once per frame.
sleep 0.4
press 1
sleep 0.4
release 2
sleep 0.4
release 1
move 700 100
jet=$(lit_within "$WORK/jet.png" "$JET_BAND" 0.004) || fail "no particles from the jet (lit $jet)"
elsewhere=$(lit "$WORK/jet.png" "360x40+180+200")
ge 0.001 "$elsewhere" || fail "particles far from the jet ($elsewhere)"

# The jet keeps the picture moving; paused, two screenshots are alike.
sleep 0.5
screenshot "$WORK/running.png"
moving=$(region_differ "$WORK/jet.png" "$WORK/running.png" "400x60+170+420")
ge "$moving" 0.0001 || fail "the jet's particles do not move ($moving)"
key space
sleep 0.5
screenshot "$WORK/paused1.png"
sleep 1.0
screenshot "$WORK/paused2.png"
still=$(region_differ "$WORK/paused1.png" "$WORK/paused2.png" "$FIELD")
[ "$still" = 0 ] || fail "the picture changed while paused (difference $still)"
key space

# Walls: w, a left click, w again (the brush cursor goes away, the walls stay).
key c
sleep 0.3
key w
move 600 150
press 1
sleep 0.4
release 1
move 100 500
key w
sleep 0.5
screenshot "$WORK/wall.png"
read -r r g b <<<"$(pixel "$WORK/wall.png" 616 138)"
[ "$r" -ge 150 ] && [ "$r" -ge "$g" ] && [ "$b" -lt 60 ] ||
    fail "no orange wall at the click (pixel $r $g $b)"
read -r r g b <<<"$(pixel "$WORK/wall.png" 400 300)"
[ $((r + g + b)) -lt 30 ] || fail "wall colour far from the click ($r $g $b)"
key c
sleep 0.5
screenshot "$WORK/nowall.png"
read -r r g b <<<"$(pixel "$WORK/nowall.png" 616 138)"
[ $((r + g + b)) -lt 30 ] || fail "c did not clear the wall ($r $g $b)"

key q
expect_exit 1
pass
