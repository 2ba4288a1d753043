# The seven field views of the real program: F1 into the solver mode, ink
# injected with the right button and the fluid stirred with the left, one
# screenshot per view key 0..6. Every view shows something in the field
# area, and no two views look the same.
source "$(dirname "$0")/harness.sh" "$1" "$2"
copy_sounds

start_fluxball
key F1
sleep 0.3

# Ink held for a moment at three places of the still fluid.
ink_at() { move "$1" "$2"; press 3; sleep 1.5; release 3; }
ink_at 300 300
ink_at 400 250
ink_at 500 300

# The field area: the window without the text lines along its top and
# bottom edges.
FIELD_CROP="600x500+100+50"

# A quick stroke with the left button: a stir of the fluid.
stir() {
    move "$1" "$2"; press 1
    move $((($1 + $3) / 2)) $((($2 + $4) / 2))
    move "$3" "$4"; release 1
}

views="0 1 2 3 4 5 6"
names=(plasma density-depth dye velocity pressure divergence curl)
for k in $views; do
    # The ink views first, while the ink still lies where it was put; then
    # the velocity, pressure, divergence and curl views of a stirred fluid,
    # stirred again before each.
    [ "$k" = 3 ] && stir 400 150 400 450
    [ "$k" -ge 3 ] && stir 150 550 250 480
    key "$k"
    sleep 0.4
    screenshot "$WORK/view$k.png"
done

for k in $views; do
    # Not black: some light in the brightest channel of the brightest pixel,
    # and a little on average.
    read -r m max < <(convert "$WORK/view$k.png" -crop "$FIELD_CROP" +repage \
        -write "$WORK/field$k.png" -separate -append -format '%[fx:mean] %[fx:maxima]' info:)
    # A quarter-size copy for the comparisons below.
    convert "$WORK/field$k.png" -resize 25% "$WORK/small$k.png"
    echo "view $k (${names[$k]}): mean $m, brightest $max"
    ge "$max" 0.03 || fail "view $k (${names[$k]}) is black in the field area (brightest $max)"
    ge "$m" 0.001 || fail "view $k (${names[$k]}) shows almost nothing (mean $m)"
done

# Pairwise different.
for a in $views; do
    for b in $views; do
        [ "$a" -lt "$b" ] || continue
        d=$(differ "$WORK/small$a.png" "$WORK/small$b.png")
        ge "$d" 0.0005 || fail "views $a (${names[$a]}) and $b (${names[$b]}) look the same (difference $d)"
    done
done

key q
expect_exit 1
pass
