# The game played with real input: the title page, the help page over it
# (Esc closes it), a game started with the spacebar, the ball carried by the
# fluid, the game paused by the help page, by hiding the window and by the
# pointer leaving it, a game lost with one life while the paddle waits far
# from the ball, a name typed with real key presses (and a screenshot taken
# meanwhile) and saved to "scores.txt", the table echoed by a restarted
# program, screenshots that replace no file, and F1 twice back to the title
# page.
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
HELP_KEYS="90x480+20+55"        # the help page's left key column in (0.5, 1, 1)
FIELD="800x540+0+30"            # the window without its top and bottom text rows
PAUSED="100x22+365+222"         # "-PAUSED-" in white
LIVES="100x16+475+0"            # "Lives: %d"
BANNER="200x22+345+162"         # "%d LIVES LEFT!" in (0.5, 1, 0.5)
NOTICE="460x16+8+565"           # the screenshot notice, white, lower left
title_shown() { [ "$(color_count "$1" "$WELCOME" 127 127 255)" -gt 30 ] && \
                [ "$(color_count "$1" "$PRESS_SPACE" 127 255 255)" -gt 30 ]; }
# white_count FILE WxH+X+Y: pixels of white text in a part of a screenshot.
white_count() {
    convert "$1" -crop "$2" +repage -colorspace Gray -threshold 90% -format '%[fx:round(mean*w*h)]' info:
}
# white_text IN OUT: the picture's white text alone, white on black (the
# field shows through between the letters).
white_text() {
    convert "$1" \( +clone -fill white -colorize 100 \) -compose difference -composite \
        -colorspace Gray -threshold 2% -negate "$2"
}
# same A B REGION: the region is pixel for pixel the same in both pictures.
same() {
    convert "$1" -crop "$3" +repage "$WORK/same-a.png"
    convert "$2" -crop "$3" +repage "$WORK/same-b.png"
    [ "$(compare -metric AE "$WORK/same-a.png" "$WORK/same-b.png" null: 2>&1)" = 0 ]
}
# still NAME [covered]: two screenshots 0.6 s apart show the same field
# (nothing moves) and, unless the help page covers it, "-PAUSED-". A slow
# machine may still be drawing the frame before the pause: a few tries.
still() {
    local i
    screenshot "$WORK/$1-b.png"
    for i in 1 2 3 4 5; do
        mv "$WORK/$1-b.png" "$WORK/$1-a.png"
        sleep 0.6
        screenshot "$WORK/$1-b.png"
        if same "$WORK/$1-a.png" "$WORK/$1-b.png" "$FIELD"; then
            [ -n "$2" ] || [ "$(white_count "$WORK/$1-b.png" "$PAUSED")" -gt 50 ] || fail "$1: no -PAUSED-"
            return 0
        fi
    done
    fail "$1: the game ran on"
}
# lives_kept NAME: no life lost since lives.png, unless the point fell just
# before the player went away (its banner, 50 frames long, still shows).
lives_kept() {
    white_text "$WORK/lives.png" "$WORK/lives-text.png"
    white_text "$WORK/$1-b.png" "$WORK/$1-text.png"
    same "$WORK/lives-text.png" "$WORK/$1-text.png" "$LIVES" ||
        [ "$(color_count "$WORK/$1-b.png" "$BANNER" 127 255 127)" -gt 30 ]
}
# moving NAME: the field changes within a few seconds (the game runs; a
# serve holds the ball for two).
moving() {
    local i
    screenshot "$WORK/$1-a.png"
    for i in $(seq 1 10); do
        sleep 0.5
        screenshot "$WORK/$1-b.png"
        same "$WORK/$1-a.png" "$WORK/$1-b.png" "$FIELD" || return 0
    done
    fail "$1: the game did not run on"
}

printf 'max_lives = 1\ngrid_res = 64\n' > "$WORK/params.txt"
start_fluxball
console_has "Error: Could not open score file." || fail "no line for the missing score file"
sleep 0.5
screenshot "$WORK/title.png"
title_shown "$WORK/title.png" || fail "no title page"

# h: the help page covers the title page; Esc closes it and does not quit.
key h
sleep 0.3
screenshot "$WORK/help.png"
[ "$(color_count "$WORK/help.png" "$HELP_KEYS" 127 255 255)" -gt 100 ] || fail "no help page after h"
title_shown "$WORK/help.png" && fail "the title page shows through the help page"
key Escape
sleep 0.3
kill -0 "$APP_PID" 2>/dev/null || fail "Esc over the help page quit the program"
screenshot "$WORK/title2.png"
title_shown "$WORK/title2.png" || fail "Esc did not close the help page"

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
# F12 works during name entry and types nothing: the picture is the
# congratulation page, the right way up.
key F12
sleep 0.5
shots=("$WORK"/screenshots/fluxball-*.png)
[ -f "${shots[0]}" ] && [ "${#shots[@]}" = 1 ] || fail "F12 during name entry saved no picture"
[[ "$(basename "${shots[0]}")" =~ ^fluxball-[0-9]{8}-[0-9]{6}\.png$ ]] || fail "picture named ${shots[0]}"
[ "$(identify -format %wx%h "${shots[0]}")" = 800x600 ] || fail "picture is not 800x600"
[ "$(color_count "${shots[0]}" "$CONGRATS" 229 229 255)" -gt 30 ] || fail "the picture misses the page"
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

# A restarted program echoes the table and starts on the title page; a game
# with lives to spare, then F1 twice, returns to it.
printf 'max_lives = 50\ngrid_res = 64\nauto_pause = 1\nhelp_hint = 1\n' > "$WORK/params.txt"
start_fluxball
console_has "High Scores: " || fail "no table echo"
console_has "Ada Q. Lovelace = $level" || fail "saved row not echoed"

# Two shots at once where the names of the next seconds are taken: both get
# new names, no file is replaced, and the window says where the shot went.
rm -f "$WORK"/screenshots/*
now=$(date +%s)
for s in 0 1 2 3 4 5; do
    echo keep > "$WORK/screenshots/fluxball-$(date -d "@$((now + s))" +%Y%m%d-%H%M%S).png"
done
screenshot "$WORK/before-shot.png"
key F12 F12
# A loaded machine may take a while to write two pictures.
for i in $(seq 1 30); do
    [ "$(ls "$WORK/screenshots" | wc -l)" -ge 8 ] && break
    sleep 0.1
done
screenshot "$WORK/after-shot.png"
[ "$(ls "$WORK/screenshots" | wc -l)" = 8 ] || fail "two shots made $(ls "$WORK/screenshots")"
[ "$(ls "$WORK/screenshots" | grep -cE -- '-[0-9]{6}-[23]\.png$')" = 2 ] ||
    fail "shots not renamed: $(ls "$WORK/screenshots")"
[ "$(cat "$WORK"/screenshots/fluxball-????????-??????.png | sort -u)" = keep ] || fail "a file was replaced"
[ "$(white_count "$WORK/after-shot.png" "$NOTICE")" -gt \
  $(( $(white_count "$WORK/before-shot.png" "$NOTICE") + 200 )) ] || fail "no notice of the shot"
console_has "Screenshot saved: screenshots/fluxball-" || fail "no console line of the shot"
key space
sleep 0.5
screenshot "$WORK/game2.png"
title_shown "$WORK/game2.png" && fail "no game started in the restarted program"
moving playing

# The help page pauses the game; closing it leaves the pause, space resumes.
key h
sleep 0.3
still help-open covered
key h
sleep 0.3
still help-closed
key space
moving resumed

# Away from the window (auto_pause = 1): hidden for two seconds, then the
# pointer out of the window. Each time the game pauses and no life is lost.
screenshot "$WORK/lives.png"
xdotool windowunmap "$WID"
sleep 2
xdotool windowmap "$WID"
sleep 0.5
still unmapped
lives_kept unmapped || fail "a life was lost while hidden"
key space
moving back
screenshot "$WORK/lives.png"
xdotool mousemove 900 700
sleep 0.3
still pointer-out
lives_kept pointer-out || fail "a life was lost with the pointer out"
move 400 80
key space
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
