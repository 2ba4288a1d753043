# Replays through the launcher, with real input under Xvfb: a short session
# recorded into the player's replays/ (a name typed into the table, the
# solver stirred, the frame rate stepped on the options page, which saves it
# into the player's params.txt, changing that one line; a restart reads it)
# and played back with `fluxball --replay`: the final state
# matches the recording and the player's table and parameters stay as they
# were. A two-second session exported with `fluxball --export` to MP4 while
# its window is iconified (frame count, size, codec checked with ffprobe),
# with an AAC track as long as the pictures and as loud as the program's own
# loopback mix of the replay; an odd window size padded to an even video,
# Opus in a WebM and no sound in a GIF; a video without sound when the sound
# files are missing; full screen in a replay as the window covering the
# screen, and a machine without ffmpeg told so.
source "$(dirname "$0")/harness.sh" "$1" "$2"
command -v ffprobe >/dev/null || fail "ffprobe is not installed (tools/setup.sh installs ffmpeg)"

installed_tree
mkdir -p "$PLAYER"
# The shipped parameters (60 frames a second, recording on), with a game
# that ends at once so that a name is typed into the table.
{ cat "$SOURCE_DIR/params.txt"; printf 'grid_res = 64\nmax_lives = 0\n'; } > "$PLAYER/params.txt"
printf 'Ann = 4\n' > "$PLAYER/scores.txt"
cp "$PLAYER/params.txt" "$WORK/params.start"
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
# The options page: the second line (the frame rate) one step up.
key o Down Right Escape
key q
expect_exit 1
console_has "record_replays = 1" || fail "the shipped params.txt does not switch recording on"
changed=$(diff "$WORK/params.start" "$PLAYER/params.txt" | grep -c '^[<>]')
[ "$changed" = 2 ] || fail "the options page changed $changed lines: $(diff "$WORK/params.start" "$PLAYER/params.txt")"
grep -qx 'frame_rate = 65         # frames per second' "$PLAYER/params.txt" ||
    fail "frame_rate not saved in its line: $(grep frame_rate "$PLAYER/params.txt")"
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

# --- a restart reads the frame rate the options page saved -----------------------
start_fluxball
console_has "frame_rate = 65" || fail "a restart does not read the saved frame rate"
key q
expect_exit 1

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
# The export goes on while its window is iconified and unmapped: the frames
# are drawn off screen.
(cd "$WORK" && exec timeout 120 "$LAUNCHER" --export "$replay" "$WORK/clip.mp4" >"$OUT" 2>&1 </dev/null) &
EXPORT_PID=$!
for i in $(seq 1 100); do
    WID=$(xdotool search --name "^Fluxball export" 2>/dev/null | head -n 1)
    [ -n "$WID" ] && break
    sleep 0.1
done
[ -n "$WID" ] || fail "no export window"
xdotool windowminimize "$WID" 2>/dev/null
xdotool windowunmap "$WID"
wait "$EXPORT_PID"
APP_STATUS=$?
check_no_sanitizer_report
[ "$APP_STATUS" = 0 ] || fail "export with its window hidden ended with status $APP_STATUS"
console_has "Export: $frames frames written to video.mp4" || fail "no export summary"
console_has "with sound" || fail "the clip was made without sound"
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

# The sound: one AAC track as long as the pictures to within a frame, and
# as loud over its first second (the title music) as the program's own
# loopback mix of the same replay, written alone as a WAV file.
audio_codec() {
    ffprobe -v error -select_streams a -show_entries stream=codec_name -of csv=p=0 "$1"
}
duration() {   # seconds of stream $2 (v or a), read off its packets
    ffprobe -v error -select_streams "$2:0" -show_entries packet=pts_time,duration_time -of csv=p=0 "$1" |
        awk -F, '$1 != "" { end = $1 + $2; if (end > max) max = end } END { printf "%.4f", max }'
}
# loudness FILE [SECONDS]: the mean level (dB) of a file's sound over its
# first seconds; -91 for silence.
loudness() {
    ffmpeg -nostdin -t "${2:-1000}" -i "$1" -vn -af volumedetect -f null - 2>&1 |
        sed -n 's/.*mean_volume: \(-\{0,1\}[0-9.]*\) dB.*/\1/p'
}
[ "$(audio_codec "$WORK/clip.mp4")" = aac ] || fail "the MP4's sound: '$(audio_codec "$WORK/clip.mp4")'"
video_s=$(duration "$WORK/clip.mp4" v)
audio_s=$(duration "$WORK/clip.mp4" a)
awk -v a="$audio_s" -v v="$video_s" -v f="$frames" 'BEGIN { d = a - v; if (d < 0) d = -d; exit !(d <= 1 / 60 && v > (f - 1) / 60) }' ||
    fail "the sound lasts $audio_s s, the pictures $video_s s"
(cd "$WORK" && timeout 120 "$LAUNCHER" --export "$replay" "$WORK/mix.wav" >"$OUT" 2>&1 </dev/null) ||
    fail "export of the sound alone failed"
clip_db=$(loudness "$WORK/clip.mp4" 1)
mix_db=$(loudness "$WORK/mix.wav" 1)
# The title music is playing: far above silence, and the same level in both.
awk -v a="$clip_db" -v b="$mix_db" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(b > -40 && d < 1) }' ||
    fail "loudness over the first second: clip $clip_db dB, the loopback mix $mix_db dB"
samples=$(ffprobe -v error -show_entries stream=duration_ts -of csv=p=0 "$WORK/mix.wav")
[ "$samples" = $((frames * 48000 / 60)) ] || fail "the mix has $samples samples for $frames frames"

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
# A WebM's sound is Opus; a GIF has none.
for ext in webm gif; do
    (cd "$WORK" && timeout 120 "$LAUNCHER" --export "$replay" "$WORK/odd.$ext" >"$OUT" 2>&1 </dev/null) ||
        fail "export to $ext failed"
done
[ "$(audio_codec "$WORK/odd.webm")" = opus ] || fail "the WebM's sound: '$(audio_codec "$WORK/odd.webm")'"
[ -z "$(audio_codec "$WORK/odd.gif")" ] || fail "the GIF has a sound track"
[ -z "$(ls "$WORK" | grep -e '\.video\.' -e '\.sound\.')" ] || fail "parts of a clip left behind"

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
# Without the sound files the video is still made, without sound, as the
# console says.
(cd "$WORK/direct" && timeout 60 "$PREFIX/lib/fluxball/fluxball" >"$OUT" 2>&1 </dev/null) ||
    fail "export without the sound files failed"
console_has "the video is made without sound" || fail "no word that the video has no sound"
[ "$(probe "$WORK/direct/v.mp4" | grep -c codec_name=h264)" = 1 ] || fail "no video without the sound files"
[ -z "$(audio_codec "$WORK/direct/v.mp4")" ] || fail "a sound track without the sound files"
pass
