# The game played with real input: the title page, a game started with the
# spacebar, the ball carried by the fluid, a game lost with one life while
# the paddle waits far from the ball, a name typed with real key presses and
# saved to "scores.txt", the table echoed by a restarted program, and F1
# twice back to the title page.
source "$(dirname "$0")/harness.sh" "$1" "$2"
copy_sounds

# color_count FILE WxH+X+Y R G B: pixels of a part of a screenshot within a
# few steps of the colour (text is drawn in exact colours).
color_count() {
    convert "$1" -crop "$2" +repage \
        \( +clone -fill "rgb($3,$4,$5)" -colorize 100 \) \
        -compose difference -composite -colorspace Gray -threshold 2% -negate \
        -format '%[fx:round(mean*w*h)]' info:
}
# ball_at FILE: "x y" of the ball's dark core (0.1, 0.2, 0.1), a round blob
# of about 20 pixels across, or "none".
ball_at() {
    local line
    line=$(convert "$1" -crop 800x560+0+20 +repage \
        \( +clone -fill "rgb(26,51,26)" -colorize 100 \) \
        -compose difference -composite -colorspace Gray -threshold 2% -negate \
        -define connected-components:verbose=true -connected-components 8 null: 2>/dev/null |
        awk '$NF == "gray(255)" {
                 split($2, box, /[x+]/)
                 if (box[1] >= 14 && box[1] <= 26 && box[2] >= 14 && box[2] <= 26 && $4 >= 150) {
                     print $3; exit
                 }
             }')
    [ -n "$line" ] && echo "$line" | tr ',' ' ' || echo none
}
# Texts and their places (window pixels from the top left, 800 x 600).
WELCOME="220x22+78+42"          # "Welcome to Fluxball!" in (0.5, 0.5, 1)
PRESS_SPACE="300x22+238+342"    # "PRESS THE SPACEBAR TO PLAY!" in (0.5, 1, 1)
CONGRATS="200x22+334+42"        # "CONGRATULATIONS!" in (0.9, 0.9, 1)
TOP_TEN="240x22+318+132"        # "TOP TEN SCOREBOARD" in (0, 0.5, 1)
title_shown() { [ "$(color_count "$1" "$WELCOME" 127 127 255)" -gt 30 ] && \
                [ "$(color_count "$1" "$PRESS_SPACE" 127 255 255)" -gt 30 ]; }

printf 'max_lives = 1\ngrid_res = 64\n' > "$WORK/params.txt"
start_fluxball
console_has "Error: Could not open score file." || fail "no line for the missing score file"
sleep 0.5
screenshot "$WORK/title.png"
title_shown "$WORK/title.png" || fail "no title page"

# The paddle can reach the pointer's row (y = 80 is row 56 of 64) and waits
# there, far above the ball's serve row.
move 400 80
key space
sleep 0.3
screenshot "$WORK/countdown.png"
title_shown "$WORK/countdown.png" && fail "the title page stayed after the spacebar"
# Once the countdown is over the ball rides the fluid: two different
# positions within a few seconds.
sleep 2.2
first=none
moved=
for i in $(seq 1 20); do
    screenshot "$WORK/play.png"
    here=$(ball_at "$WORK/play.png")
    if [ "$here" != none ]; then
        if [ "$first" = none ]; then first=$here
        elif [ "$here" != "$first" ]; then moved=1; break; fi
    fi
    sleep 0.3
done
[ "$first" != none ] || fail "no ball found in play"
[ -n "$moved" ] || fail "the ball did not move from $first"

# The opponent's plasma carries the ball past the empty left side.
over=
for i in $(seq 1 120); do
    screenshot "$WORK/wait.png"
    if [ "$(color_count "$WORK/wait.png" "$CONGRATS" 229 229 255)" -gt 30 ]; then over=1; break; fi
    sleep 0.5
done
[ -n "$over" ] || fail "the game did not end with one life"
[ -f "$WORK/scores.txt" ] && fail "scores.txt written before a name was entered"

type_text "Ada Q. Byron"
key BackSpace BackSpace BackSpace BackSpace BackSpace
type_text "Lovelace"
key Return
sleep 0.5
[ -f "$WORK/scores.txt" ] || fail "no scores.txt after Enter"
head -n 1 "$WORK/scores.txt" | grep -Eq '^Ada Q\. Lovelace = [0-9]+$' ||
    fail "first row is '$(head -n 1 "$WORK/scores.txt")'"
[ "$(wc -l < "$WORK/scores.txt")" = 10 ] || fail "scores.txt does not have ten lines"
[ "$(tail -n 9 "$WORK/scores.txt" | grep -c '^ = 0$')" = 9 ] || fail "the nine empty rows are missing"
level=$(head -n 1 "$WORK/scores.txt" | sed 's/.* = //')
screenshot "$WORK/board.png"
[ "$(color_count "$WORK/board.png" "$TOP_TEN" 0 127 255)" -gt 30 ] || fail "no scoreboard after Enter"
key q
expect_exit 1

# A restarted program echoes the table and starts on the title page; a game,
# then F1 twice, returns to it.
start_fluxball
console_has "High Scores: " || fail "no table echo"
console_has "Ada Q. Lovelace = $level" || fail "saved row not echoed"
key space
sleep 0.5
screenshot "$WORK/game2.png"
title_shown "$WORK/game2.png" && fail "no game started in the restarted program"
key F1
sleep 0.5
screenshot "$WORK/solver.png"
title_shown "$WORK/solver.png" && fail "title page shown in the solver mode"
key F1
sleep 0.5
screenshot "$WORK/back.png"
title_shown "$WORK/back.png" || fail "F1 twice did not return to the title page"
key Escape
expect_exit 1
pass
