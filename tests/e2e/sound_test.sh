# Sound set-up in the real program on a machine without a sound card: with
# the sound files it runs on a silent device and says so in one line; without
# them it prints the layer's result line and ends with status -1. Then heard
# through OpenAL Soft's wave-file output: with auto_pause, a window hidden for
# three seconds gives three seconds of silence in the middle of the music.
source "$(dirname "$0")/harness.sh" "$1" "$2"

# A machine with a sound card plays aloud and prints no silent-device line.
NO_CARD=1
[ -d /dev/snd ] && NO_CARD=

# No "sounds" folder: the first effect cannot be loaded.
run_fluxball_to_end
console_has "FMOD error! (2) The file could not be found." || fail "no result line for the missing file"
[ "$APP_STATUS" = 255 ] || fail "status $APP_STATUS, expected 255"
[ -z "$NO_CARD" ] || console_has "Sound: no output device, playing silently." || fail "no silent-device line before the failure"

# One unreadable file is just as fatal, with its own result.
copy_sounds
printf 'not an mp3\n' > "$WORK/sounds/battle_loop.mp3"
run_fluxball_to_end
console_has "FMOD error! (3) The file is not a sound file this program can read." || fail "no result line for the bad file"
[ "$APP_STATUS" = 255 ] || fail "status $APP_STATUS, expected 255"

# With the shipped files: one silent-device line, no library chatter, the
# game runs (a game started, the music switched off and on) and q quits.
rm -rf "$WORK/sounds"
copy_sounds
start_fluxball
sleep 1
kill -0 "$APP_PID" 2>/dev/null || fail "program ended"
if [ -n "$NO_CARD" ]; then
    [ "$(grep -c 'Sound: no output device, playing silently.' "$OUT")" = 1 ] || fail "silent-device line not printed once"
fi
console_has "FMOD error!" && fail "sound set-up reported an error"
console_has "ALSA lib" && fail "audio library output on the console"
console_has "AL lib" && fail "OpenAL output on the console"
key space
sleep 0.5
key m
key m
sleep 0.5
kill -0 "$APP_PID" 2>/dev/null || fail "program ended while playing"
key q
expect_exit 1

# --- the music pauses with a hidden window -------------------------------------
printf '[general]\ndrivers = wave\n[wave]\nfile = %s\n' "$WORK/heard.wav" > "$WORK/alsoft.conf"
printf 'auto_pause = 1\n' > "$WORK/params.txt"
ALSOFT_CONF="$WORK/alsoft.conf" ALSOFT_DRIVERS=wave start_fluxball
sleep 1.5
xdotool windowunmap "$WID"
sleep 3
xdotool windowmap "$WID"
sleep 1.5
key q
expect_exit 1
[ -s "$WORK/heard.wav" ] || fail "the wave output wrote nothing"
# The longest run of silence, and the sound on either side of it (seconds).
runs=$(ffmpeg -nostdin -v error -i "$WORK/heard.wav" -f s16le -ac 1 -ar 8000 - | od -An -v -td2 -w2 |
    awk '{ n++; q = ($1 < 3 && $1 > -3) }
         q { run++ } !q { if (run > best) { best = run; end = n - 1 } run = 0 }
         END { if (run > best) { best = run; end = n }
               printf "%.2f %.2f %.2f\n", best / 8000, (end - best) / 8000, (n - end) / 8000 }')
read -r quiet before after <<<"$runs"
awk -v q="$quiet" -v b="$before" -v a="$after" 'BEGIN { exit !(q >= 2.7 && q <= 3.6 && b >= 0.5 && a >= 0.5) }' ||
    fail "silence while hidden: $quiet s, with $before s of sound before and $after s after"
pass
