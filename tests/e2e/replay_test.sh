# Replays through the launcher, with real input under Xvfb: a short session
# recorded into the player's replays/ (a name typed into the table, the
# solver stirred) and played back with `fluxball --replay`: the final state
# matches the recording and the player's table and parameters stay as they
# were. A two-second session exported with `fluxball --export` to MP4 (frame
# count, size, codec checked with ffprobe), an odd window size padded to an
# even video, full screen in a replay as the window covering the screen, and
# a machine without ffmpeg told so.
source "$(dirname "$0")/harness.sh" "$1" "$2"
command -v ffprobe >/dev/null || fail "ffprobe is not installed (tools/setup.sh installs ffmpeg)"

installed_tree
mkdir -p "$PLAYER"
# The shipped parameters (60 frames a second, recording on), with a game
# that ends at once so that a name is typed into the table.
{ cat "$SOURCE_DIR/params.txt"; printf 'grid_res = 64\nmax_lives = 0\n'; } > "$PLAYER/params.txt"
printf 'Ann = 4\n' > "$PLAYER/scores.txt"
FLUXBALL_BIN="$LAUNCHER"

# recorded_state: the final state the last recording printed.
recorded_state() { sed -n 's/^Replay saved: .*final state \([0-9a-f]*\))$/\1/p' "$OUT" | tail -n 1; }
recorded_frames() { sed -n 's/^Replay saved: .*(\([0-9]*\) frames.*/\1/p' "$OUT" | tail -n 1; }

# --- a session -----------------------------------------------------------------
start_fluxball
move 100 300
key space
sleep 0.5
type_text "Eve"
key Return
sleep 0.3
for y in 100 200 300 400 500; do move 100 "$y"; done
key F1
drag 1 200 300 500 350
key g
key q
expect_exit 1
console_has "record_replays = 1" || fail "the shipped params.txt does not switch recording on"
state=$(recorded_state)
session_frames=$(recorded_frames)
[ -n "$state" ] || fail "no 'Replay saved' line"
replay=$(ls "$PLAYER"/replays/fluxball-*.fxr)
[ "$(echo "$replay" | wc -l)" = 1 ] || fail "expected one replay: $replay"
grep -q '^Eve = ' "$PLAYER/scores.txt" || fail "the session saved no row: $(head -n 2 "$PLAYER/scores.txt")"
cp "$PLAYER/params.txt" "$WORK/params.before"

# --- played back: the same final state, the player's files untouched ----------
printf 'Zed = 9\n' >> "$PLAYER/scores.txt"          # the table on disk moved on since
cp "$PLAYER/scores.txt" "$WORK/scores.before"
start_fluxball --replay "$replay"
for i in $(seq 1 200); do
    console_has "Replay: the end" && break
    console_has "does not play back exactly" && break
    sleep 0.1
done
console_has "Replay: the end, after $session_frames frames; the state matches the recording ($state)" ||
    fail "the replay did not end in the recorded state $state"
screenshot "$WORK/end.png"
key q
expect_exit 1
cmp -s "$PLAYER/scores.txt" "$WORK/scores.before" || fail "the replay changed the player's scores.txt"
cmp -s "$PLAYER/params.txt" "$WORK/params.before" || fail "the replay changed the player's params.txt"
[ "$(ls "$PLAYER/replays" | wc -l)" = 1 ] || fail "the replay was recorded again"
[ -z "$(ls -d "$TMPDIR"/fluxball-replay.* 2>/dev/null)" ] || fail "temporary folder left behind"

# --- two seconds exported to MP4 ------------------------------------------------
rm -f "$PLAYER"/replays/*
printf 'record_replays = 1\nframe_rate = 60\ngrid_res = 64\n' > "$PLAYER/params.txt"
start_fluxball
sleep 2
key q
expect_exit 1
frames=$(recorded_frames)
[ "$frames" -ge 60 ] || fail "a two-second session has $frames frames"
replay=$(ls "$PLAYER"/replays/fluxball-*.fxr)
(cd "$WORK" && timeout 120 "$LAUNCHER" --export "$replay" "$WORK/clip.mp4" >"$OUT" 2>&1 </dev/null)
APP_STATUS=$?
check_no_sanitizer_report
[ "$APP_STATUS" = 0 ] || fail "export ended with status $APP_STATUS"
console_has "Export: $frames frames written to video.mp4" || fail "no export summary"
console_has "the state matches the recording" || fail "the exported replay did not match"
probe() {
    ffprobe -v error -select_streams v:0 -count_frames \
        -show_entries stream=codec_name,width,height,nb_read_frames -of default=nw=1 "$1"
}
info=$(probe "$WORK/clip.mp4") || fail "ffprobe cannot read the clip"
echo "$info" | grep -qx "codec_name=h264" || fail "codec: $info"
echo "$info" | grep -qx "width=800" || fail "width: $info"
echo "$info" | grep -qx "height=600" || fail "height: $info"
echo "$info" | grep -qx "nb_read_frames=$frames" || fail "frames: $info, expected $frames"
[ -z "$(ls -d "$TMPDIR"/fluxball-replay.* 2>/dev/null)" ] || fail "temporary folder left behind after the export"

# An odd window size becomes an even video (a black column and row added).
rm -f "$PLAYER"/replays/*
printf 'record_replays = 1\nframe_rate = 60\ngrid_res = 32\nwin_width = 201\nwin_height = 151\n' \
    > "$PLAYER/params.txt"
start_fluxball
sleep 0.5
key q
expect_exit 1
replay=$(ls "$PLAYER"/replays/fluxball-*.fxr)
(cd "$WORK" && timeout 120 "$LAUNCHER" --export "$replay" "$WORK/odd.mp4" >"$OUT" 2>&1 </dev/null) ||
    fail "export of the odd size failed"
info=$(probe "$WORK/odd.mp4")
echo "$info" | grep -qx "width=202" && echo "$info" | grep -qx "height=152" || fail "odd size: $info"

# Full screen in a replay (a recorded fullscreen = 1, which the live window
# under Xvfb, without game mode, could not honour) is the window covering
# the screen, never a switch of the display's mode; it still plays exactly.
rm -f "$PLAYER"/replays/*
printf 'record_replays = 1\nframe_rate = 60\ngrid_res = 32\nfullscreen = 1\n' > "$PLAYER/params.txt"
start_fluxball
sleep 0.3
[ "$(geometry)" = 800x600 ] || fail "the live window without game mode is $(geometry)"
key q
expect_exit 1
state=$(recorded_state)
replay=$(ls "$PLAYER"/replays/fluxball-*.fxr)
start_fluxball --replay "$replay"
wait_geometry 1024x768 || fail "full screen in the replay is $(geometry)"
for i in $(seq 1 100); do
    console_has "Replay: the end" && break
    sleep 0.1
done
console_has "the state matches the recording ($state)" || fail "the full-screen replay did not match"
key q
expect_exit 1

# Without ffmpeg: the launcher says so, and so does the program.
mkdir -p "$WORK/bin"
for tool in dirname readlink mktemp cp ln rm mv sort tail mkdir; do
    ln -s "$(command -v "$tool")" "$WORK/bin/$tool"
done
(cd "$WORK" && PATH="$WORK/bin" "$LAUNCHER" --export "$replay" "$WORK/none.mp4" >"$OUT" 2>&1 </dev/null)
APP_STATUS=$?
[ "$APP_STATUS" = 255 ] || fail "launcher without ffmpeg: status $APP_STATUS"
console_has "ffmpeg is not installed" || fail "launcher without ffmpeg: no message"
mkdir -p "$WORK/direct"
"$PREFIX/lib/fluxball/fluxball" --unpack-replay "$replay" "$WORK/direct" >/dev/null || fail "unpack failed"
cp "$replay" "$WORK/direct/replay.fxr"
printf '\nreplay = replay.fxr\nreplay_video = v.mp4\n' >> "$WORK/direct/params.txt"
(cd "$WORK/direct" && PATH="$WORK/bin" "$(command -v timeout)" 30 "$PREFIX/lib/fluxball/fluxball" >"$OUT" 2>&1 </dev/null)
APP_STATUS=$?
[ "$APP_STATUS" = 255 ] || fail "program without ffmpeg: status $APP_STATUS"
console_has "Error: ffmpeg is not installed; it makes the video (Debian package ffmpeg)" ||
    fail "program without ffmpeg: no message"
[ -e "$WORK/none.mp4" ] || [ -e "$WORK/direct/v.mp4" ] && fail "a video was written without ffmpeg"
pass
