#!/bin/sh
# fluxball -- starts Fluxball in the player's own folder.
#
# The program reads params.txt, scores.txt and sounds/ from its working
# directory and writes scores.txt there. This launcher makes that directory
# the player's: $XDG_DATA_HOME/fluxball (~/.local/share/fluxball by default).
# It copies the shipped params.txt there once (the player's copy is never
# overwritten), links the shipped sounds, and runs the program with the
# arguments given. The program and its data are found relative to this
# script, so an installed tree or an unpacked package runs where it lies.
set -eu

bin_dir=$(dirname "$(readlink -f "$0")")
prefix=$(dirname "$bin_dir")
program="$prefix/lib/fluxball/fluxball"
data="$prefix/share/fluxball"

# A relative or empty XDG_DATA_HOME is to be ignored.
case "${XDG_DATA_HOME:-}" in
    /*) data_home=$XDG_DATA_HOME ;;
    *)
        if [ -z "${HOME:-}" ]; then
            echo "fluxball: neither HOME nor XDG_DATA_HOME is set" >&2
            exit 1
        fi
        data_home="$HOME/.local/share"
        ;;
esac
player_dir="$data_home/fluxball"

# --- Replays -------------------------------------------------------------------
# fluxball --replay FILE (or a lone FILE.fxr, as a file manager passes it)
# plays a recorded session; fluxball --export FILE OUT renders it into a video
# through ffmpeg. Either runs the program in a fresh temporary folder that
# holds the recorded params.txt and scores.txt, so a replay never touches the
# player's own files. Sessions are recorded into replays/ in the player's
# folder, of which the newest are kept.
replays_kept=50

# Prints the message and ends with the status the program uses for an error
# a player must see.
replay_fail() {
    echo "fluxball: $*" >&2
    exit 255
}

# Deletes all but the newest replays; their names sort by the time they were made.
prune_replays() {
    for replay in "$player_dir"/replays/fluxball-*.fxr; do
        [ -f "$replay" ] && printf '%s\n' "$replay"
    done | sort -r | tail -n +$((replays_kept + 1)) | while IFS= read -r replay; do
        rm -f -- "$replay"
    done
}

# run_replay FILE [OUT]: plays FILE, or exports it to OUT when OUT is given.
run_replay() {
    replay_file=$1
    video_out=${2:-}
    [ -n "$replay_file" ] || replay_fail "no replay file given"
    if [ -n "$video_out" ]; then
        case "${video_out##*/}" in
            *.?*) video_ext=${video_out##*.} ;;
            *) video_ext= ;;
        esac
        case "$video_ext" in
            "" | *[!A-Za-z0-9]*)
                replay_fail "$video_out: the video's name needs an extension such as .mp4, .webm or .gif" ;;
        esac
        command -v ffmpeg >/dev/null 2>&1 ||
            replay_fail "ffmpeg is not installed; it makes the video (Debian package ffmpeg)"
        video_dir=$(dirname -- "$video_out")
        if [ ! -d "$video_dir" ] || [ ! -w "$video_dir" ]; then
            replay_fail "$video_dir: no folder to write the video into"
        fi
    fi
    replay_tmp=$(mktemp -d "${TMPDIR:-/tmp}/fluxball-replay.XXXXXX") ||
        replay_fail "cannot make a temporary folder"
    trap 'rm -rf "$replay_tmp"' EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    # The program checks the whole file and writes the recorded params.txt
    # and scores.txt; a bad file gets its message and nothing is written.
    "$program" --unpack-replay "$replay_file" "$replay_tmp" || exit $?
    cp -- "$replay_file" "$replay_tmp/replay.fxr" || replay_fail "cannot copy $replay_file"
    # The recorded file may end without a line end: the key goes on a line of its own.
    printf '\nreplay = replay.fxr\n' >>"$replay_tmp/params.txt"
    [ -n "$video_out" ] && printf 'replay_video = video.%s\n' "$video_ext" >>"$replay_tmp/params.txt"
    ln -s "$data/sounds" "$replay_tmp/sounds"
    # Screenshots taken while watching go where the player's others go.
    if [ -e "$player_dir/screenshots" ]; then
        ln -s "$player_dir/screenshots" "$replay_tmp/screenshots"
    fi
    status=0
    (cd "$replay_tmp" && "$program") || status=$?
    if [ -n "$video_out" ] && [ "$status" -eq 0 ]; then
        mv -f -- "$replay_tmp/video.$video_ext" "$video_out" ||
            replay_fail "cannot move the video to $video_out"
        echo "fluxball: the video is $video_out"
    fi
    exit "$status"
}

case "${1:-}" in
    --replay)
        [ $# -eq 2 ] || replay_fail "usage: fluxball --replay FILE.fxr"
        run_replay "$2"
        ;;
    --export)
        [ $# -eq 3 ] || replay_fail "usage: fluxball --export FILE.fxr OUT.mp4"
        run_replay "$2" "$3"
        ;;
    *.fxr | *.FXR)
        [ $# -eq 1 ] && run_replay "$1"
        ;;
esac
# --- end of replays ------------------------------------------------------------

mkdir -p "$player_dir"
# The player's parameters: copied once, edited by the player from then on.
if [ ! -e "$player_dir/params.txt" ] && [ ! -L "$player_dir/params.txt" ]; then
    cp "$data/params.txt" "$player_dir/params.txt"
fi
# The sounds: a link to the installed ones, renewed when it points elsewhere
# (an earlier install). A real folder the player made is left alone.
if [ -L "$player_dir/sounds" ] || [ ! -e "$player_dir/sounds" ]; then
    if [ "$(readlink "$player_dir/sounds" 2>/dev/null || true)" != "$data/sounds" ]; then
        ln -sfn "$data/sounds" "$player_dir/sounds"
    fi
fi

cd "$player_dir"
status=0
"$program" "$@" || status=$?
prune_replays
exit "$status"
