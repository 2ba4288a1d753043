# Hostile files around the program: scores.txt binary, huge, a directory or a
# pipe; a save whose temporary file is blocked (written in place) and one in
# a read-only working directory (reported on the console and the scoreboard,
# nothing lost);
# missing and truncated sound files.
# The table on disk is never lost or corrupted.
source "$(dirname "$0")/harness.sh" "$1" "$2"
copy_sounds
start_xvfb

quit_cleanly() { key q; expect_exit 1; }
# Pixels of the failed-save notice's colour in its line of the 800 x 600
# scoreboard.
notice_pixels() { count_color "$1" 420x24+200+100 255 102 51; }

# Binary garbage as the table.
head -c 20000 /dev/urandom > "$WORK/scores.txt"
start_fluxball
console_has "High Scores: " || fail "binary table: no heading"
quit_cleanly

# A huge table: 30 MB without a line end, then lines.
{ head -c 30000000 /dev/zero | tr '\0' 'x'; printf '\nann = 3\n'; } > "$WORK/scores.txt"
start_fluxball
quit_cleanly

# A directory, and a pipe nobody writes to (it must not block the start).
rm -f "$WORK/scores.txt"; mkdir "$WORK/scores.txt"
start_fluxball
console_has "Error: Could not open score file." || fail "directory: no message"
quit_cleanly
rmdir "$WORK/scores.txt"; mkfifo "$WORK/scores.txt"
start_fluxball
console_has "Error: Could not open score file." || fail "pipe: no message"
quit_cleanly
rm -f "$WORK/scores.txt"

# A save whose temporary file's name is taken by a folder: the file is
# rewritten in place, the folder left alone.
printf 'ann = 5\n = 0\n = 0\n = 0\n = 0\n = 0\n = 0\n = 0\n = 0\n = 0\n' > "$WORK/scores.txt"
cp "$WORK/scores.txt" "$WORK/scores.before"
mkdir "$WORK/scores.txt.tmp"
printf 'max_lives = 0\n' > "$WORK/params.txt"
start_fluxball
key space                       # the game ends at once: rank 2
sleep 1
type_text "Zed"
key Return
sleep 0.5
console_has "Error: Could not open score file." && fail "in-place save reported as failed"
[ "$(sed -n 2p "$WORK/scores.txt")" = "Zed = 1" ] || fail "in-place save lost: $(head -3 "$WORK/scores.txt")"
[ -d "$WORK/scores.txt.tmp" ] || fail "the folder in the temporary file's place is gone"
quit_cleanly
rmdir "$WORK/scores.txt.tmp"
cp "$WORK/scores.before" "$WORK/scores.txt"

# A read-only working directory (the file in it read-only too): the message,
# the file unchanged, the row kept in memory.
if can_mount_readonly; then
    start_fluxball_readonly
    key space
    sleep 1
    type_text "Ro"
    key Return
    sleep 0.5
    console_has "Error: Could not open score file." || fail "read-only save not reported"
    cmp -s "$WORK/scores.txt" "$WORK/scores.before" || fail "read-only save changed scores.txt"
    screenshot "$WORK/not_saved.png"
    [ "$(notice_pixels "$WORK/not_saved.png")" -gt 100 ] || fail "the scoreboard does not say the save failed"
    quit_cleanly
else
    echo "  (no mount namespaces here: the read-only directory case is skipped)"
fi

# The same save with the way clear: written whole, nine other rows kept, and
# no notice on the scoreboard.
start_fluxball
key space
sleep 1
type_text "Zed"
key Return
sleep 0.5
screenshot "$WORK/saved.png"
[ "$(notice_pixels "$WORK/saved.png")" -lt 20 ] || fail "a save that worked is shown as failed"
quit_cleanly
[ "$(sed -n 1p "$WORK/scores.txt")" = "ann = 5" ] || fail "first row lost"
[ "$(sed -n 2p "$WORK/scores.txt")" = "Zed = 1" ] || fail "new row not saved: $(head -3 "$WORK/scores.txt")"
[ "$(wc -l < "$WORK/scores.txt")" = 10 ] || fail "table is not ten rows"
[ -e "$WORK/scores.txt.tmp" ] && fail "temporary file left behind"
rm -f "$WORK/params.txt"

# A missing and a truncated sound file: the file named, then the result line
# and status -1.
named_before_result() {
    [ "$(grep -B1 "^FMOD error! (" "$OUT" | head -n 1)" = "Error: cannot load $1" ]
}
rm "$WORK/sounds/hit_wall.wav"
run_fluxball_to_end
[ "$APP_STATUS" = 255 ] || fail "missing sound: status $APP_STATUS"
named_before_result sounds/hit_wall.wav || fail "missing sound: not named before the result line"
copy_sounds
head -c 300 "$SOURCE_DIR/sounds/intro_loop.mp3" > "$WORK/sounds/intro_loop.mp3"
run_fluxball_to_end
[ "$APP_STATUS" = 255 ] || fail "truncated sound: status $APP_STATUS"
named_before_result sounds/intro_loop.mp3 || fail "truncated sound: not named before the result line"
pass
