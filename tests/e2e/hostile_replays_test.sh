# Hostile replay files through the launcher: missing, truncated, random
# bytes, a header claiming a huge file inside, another format version, a
# folder, far too large, and a window no window can have. Each gets its
# message and status 255 (the status the launcher's error dialog answers
# to), for playing and for exporting, and nothing is written: the player's
# folder, the temporary folders and the video's folder stay as they were.
# A replay whose recorded params.txt names a video outside its folder plays
# and exports without touching that path.
source "$(dirname "$0")/harness.sh" "$1" "$2"

installed_tree
mkdir -p "$PLAYER/replays" "$WORK/videos"
# The session's params.txt, recorded into its replay, names videos outside
# the replay's folder: by the key itself, and by a key that contains it.
mkdir -p "$WORK/outside"
printf 'not a video\n' > "$WORK/outside/victim.gif"
printf 'record_replays = 1\nframe_rate = 60\nreplay_video = %s\nmy_replay_videos = ../../escaped.gif\n' \
    "$WORK/outside/victim.gif" > "$PLAYER/params.txt"
printf 'Ann = 4\n' > "$PLAYER/scores.txt"

# A good replay to damage: a short session recorded through the launcher.
FLUXBALL_BIN="$LAUNCHER"
start_fluxball
sleep 0.5
key q
expect_exit 1
GOOD=$(ls "$PLAYER"/replays/fluxball-*.fxr)
[ -f "$GOOD" ] || fail "no replay recorded"
mkdir -p "$WORK/bad"
cp "$GOOD" "$WORK/good.fxr"
snapshot() { (cd "$HOME" && find . -exec ls -ld --time-style=+%s {} + | awk '{print $1, $5, $6, $7}' | sort); }
BEFORE=$(snapshot)

# u32 little-endian written at a byte offset of a file.
put_u32() {
    printf "$(printf '\\%03o\\%03o\\%03o\\%03o' $(($3 & 255)) $(($3 >> 8 & 255)) $(($3 >> 16 & 255)) $(($3 >> 24 & 255)))" |
        dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
version_len=$(od -An -tu4 -j12 -N4 "$GOOD" | tr -d ' ')
params_len_at=$((16 + version_len + 16))

size=$(stat -c %s "$GOOD")
head -c $((size / 2)) "$GOOD" > "$WORK/bad/truncated.fxr"
head -c 5000 /dev/urandom > "$WORK/bad/random.fxr"
cp "$GOOD" "$WORK/bad/huge.fxr"
put_u32 "$WORK/bad/huge.fxr" "$params_len_at" 2147483000
cp "$GOOD" "$WORK/bad/version.fxr"
put_u32 "$WORK/bad/version.fxr" 8 7
mkdir "$WORK/bad/folder.fxr"
cp "$GOOD" "$WORK/bad/large.fxr"
truncate -s 300M "$WORK/bad/large.fxr"

# Without a terminal the launcher would also show each error in a dialog and
# wait for it to be closed; without a display the dialog cannot open, and a
# refused replay needs none.
# expect_refused FILE MESSAGE: playing and exporting both refuse with the message.
expect_refused() {
    local file=$1 message=$2 mode
    for mode in play export; do
        if [ "$mode" = play ]; then
            (cd "$WORK" && timeout 30 env -u DISPLAY "$LAUNCHER" --replay "$file" >"$OUT" 2>&1 </dev/null)
        else
            (cd "$WORK" && timeout 30 env -u DISPLAY "$LAUNCHER" --export "$file" "$WORK/videos/clip.mp4" >"$OUT" 2>&1 </dev/null)
        fi
        APP_STATUS=$?
        check_no_sanitizer_report
        [ "$APP_STATUS" = 255 ] || fail "$mode $(basename "$file"): status $APP_STATUS"
        console_has "$message" || fail "$mode $(basename "$file"): no '$message'"
        [ -z "$(ls "$WORK/videos")" ] || fail "$mode $(basename "$file"): a video was written"
        [ -z "$(ls -d "$TMPDIR"/fluxball-replay.* 2>/dev/null)" ] || fail "$mode $(basename "$file"): temporary folder left"
        [ "$(snapshot)" = "$BEFORE" ] || fail "$mode $(basename "$file"): the player's folder changed"
    done
}

expect_refused "$WORK/bad/missing.fxr" "Error: cannot open the replay $WORK/bad/missing.fxr: No such file or directory"
expect_refused "$WORK/bad/truncated.fxr" "is truncated: it ends before its last frame"
expect_refused "$WORK/bad/random.fxr" "Error: the replay $WORK/bad/random.fxr is not a Fluxball replay"
expect_refused "$WORK/bad/huge.fxr" "is damaged: it claims to hold a parameter or score file of more than 16 MiB"
expect_refused "$WORK/bad/version.fxr" "has format version 7; this Fluxball plays version 1"
expect_refused "$WORK/bad/folder.fxr" "is not a file"
expect_refused "$WORK/bad/large.fxr" "is too large: 314572800 bytes"

# set_window FILE W H: the window size in the header, the CRC made to match
# (as a tool that writes replays would).
set_window() {
    python3 - "$@" <<'EOF'
import struct, sys, zlib
path, width, height = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
b = bytearray(open(path, 'rb').read())
at = 16 + struct.unpack_from('<I', b, 12)[0]
struct.pack_into('<ii', b, at, width, height)
struct.pack_into('<I', b, len(b) - 4, zlib.crc32(bytes(b[:-4])))
open(path, 'wb').write(b)
EOF
}
cp "$GOOD" "$WORK/bad/empty_window.fxr"
set_window "$WORK/bad/empty_window.fxr" 0 0
expect_refused "$WORK/bad/empty_window.fxr" \
    "is damaged: it records a window of 0 x 0 pixels (a window has 1 to 16384 a side)"
cp "$GOOD" "$WORK/bad/huge_window.fxr"
set_window "$WORK/bad/huge_window.fxr" 100000 100000
expect_refused "$WORK/bad/huge_window.fxr" \
    "is damaged: it records a window of 100000 x 100000 pixels (a window has 1 to 16384 a side)"

# A lone FILE.fxr, as a file manager passes it, is played the same way.
(cd "$WORK" && timeout 30 env -u DISPLAY "$LAUNCHER" "$WORK/bad/random.fxr" >"$OUT" 2>&1 </dev/null)
APP_STATUS=$?
[ "$APP_STATUS" = 255 ] || fail "lone file: status $APP_STATUS"
console_has "is not a Fluxball replay" || fail "lone file: no message"

# The launcher's own checks: a video without an extension, a missing folder.
(cd "$WORK" && env -u DISPLAY "$LAUNCHER" --export "$WORK/good.fxr" "$WORK/videos/clip" >"$OUT" 2>&1 </dev/null)
[ $? = 255 ] && console_has "needs an extension" || fail "no extension: not refused"
(cd "$WORK" && env -u DISPLAY "$LAUNCHER" --export "$WORK/good.fxr" "$WORK/nowhere/clip.mp4" >"$OUT" 2>&1 </dev/null)
[ $? = 255 ] && console_has "no folder to write the video into" || fail "missing folder: not refused"
[ "$(snapshot)" = "$BEFORE" ] || fail "the player's folder changed"

# The good replay names videos outside its folder: played (stdin not a
# terminal, as from a file manager) and exported, neither path is touched.
untouched() {
    [ "$(cat "$WORK/outside/victim.gif")" = "not a video" ] || fail "$1: the outside video was written"
    [ ! -e "$WORK/escaped.gif" ] && [ ! -e "$TMPDIR/escaped.gif" ] || fail "$1: a video escaped its folder"
    [ -z "$(ls -d "$TMPDIR"/fluxball-replay.* 2>/dev/null)" ] || fail "$1: temporary folder left"
}
start_fluxball --replay "$GOOD"
for i in $(seq 1 200); do
    console_has "Replay: the end" && break
    sleep 0.1
done
console_has "Replay: the end" || fail "the replay did not play to its end"
console_has "victim.gif" && fail "the recorded replay_video was read"
key q
expect_exit 1
untouched "play"
(cd "$WORK" && timeout 120 "$LAUNCHER" --export "$GOOD" "$WORK/videos/clip.gif" >"$OUT" 2>&1 </dev/null)
APP_STATUS=$?
check_no_sanitizer_report
[ "$APP_STATUS" = 0 ] || fail "export: status $APP_STATUS"
[ -s "$WORK/videos/clip.gif" ] || fail "export: no video where it was asked for"
untouched "export"
pass
