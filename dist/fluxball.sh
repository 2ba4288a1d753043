#!/bin/sh
# fluxball -- starts Fluxball in the player's own folder.
#
# The program reads params.txt, scores.txt and sounds/ from its working
# directory and writes scores.txt there. This launcher makes that directory
# the player's: $XDG_DATA_HOME/fluxball (~/.local/share/fluxball by default).
# It copies the shipped params.txt there once (the player's copy is never
# overwritten), links the shipped sounds, links screenshots/ to a Fluxball
# folder among the player's pictures, and runs the program with the
# arguments given. The program and its data are found relative to this
# script, so an installed tree or an unpacked package runs where it lies.
#
# The program's console output goes to fluxball.log in the player's folder
# (the previous run's is kept as fluxball.log.1) and to this command's own
# output. Started without a terminal (from the menu), a program that cannot
# start (status 255) or a folder that cannot be prepared shows its error
# lines in a desktop dialog. The status is the program's.
#
# The build fills in the version and the places below the install prefix.
set -eu

# A closed standard output or error (started by a program that closed them)
# would stop the copy of the output and this script's own messages: they go
# nowhere instead, and the log still gets everything.
if ! (exec 5>&2); then exec 2>/dev/null; fi
if ! (exec 5>&1) 2>/dev/null; then exec >/dev/null; fi

# The launcher's own options; they need no display and touch no file. Any
# other argument goes to the program (GLUT takes e.g. -display NAME).
case "${1:-}" in
    -h | --help)
        cat <<'EOF'
Usage: fluxball [-h | --help | -v | --version | GLUT options]
       fluxball --replay FILE.fxr
       fluxball --export FILE.fxr OUT.mp4

Fluxball is a paddle-and-ball game played in a real-time fluid, against a
computer opponent, with a top-ten table and music; F1 turns it into a fluid
toy with ink, jets, walls and seven field views.

It runs in the player's folder, $XDG_DATA_HOME/fluxball
(~/.local/share/fluxball by default), which it makes on the first start:
  params.txt   the game's parameters, a copy of the installed one to edit
  scores.txt   the top-ten table
  sounds/      a link to the installed sounds
  screenshots/ a link to the Fluxball folder among your pictures (F12)
  fluxball.log what the program printed in its last run (.log.1: the run before)
  replays/     every session recorded, the newest 50 kept

Keys: press h in the game for the key page; man 6 fluxball lists every key,
the mouse and every parameter. Space starts a game, F1 switches to the
fluid toy, F2 is full screen, Esc or q quits.

Options:
  -h, --help      print this help and exit
  -v, --version   print the version and exit
  --replay FILE   play a recorded session back (Esc or q quits)
  --export FILE OUT
                  make a video of a recorded session, with its sound,
                  with ffmpeg (.mp4, .webm, .mkv, .gif; .wav: the sound)
EOF
        exit 0
        ;;
    -v | --version)
        echo "Fluxball @PROJECT_VERSION@"
        exit 0
        ;;
esac

command_dir=$(dirname "$(readlink -f "$0")")
prefix=$(dirname "$command_dir")
program="$prefix/@FLUXBALL_PROGRAM_DIR@/fluxball"
data="$prefix/@FLUXBALL_DATA_DIR@"

# --- Errors shown to a player without a terminal ------------------------------

# show_dialog TEXT: TEXT in a desktop dialog, with the first of zenity,
# kdialog and xmessage that is installed; nothing when none is, or when no
# display takes it (the text went to standard error as well).
show_dialog() {
    if command -v zenity >/dev/null 2>&1; then
        zenity --error --no-markup --title=Fluxball --text="$1" >/dev/null 2>&1 || true
    elif command -v kdialog >/dev/null 2>&1; then
        kdialog --title Fluxball --error "$1" >/dev/null 2>&1 || true
    elif command -v xmessage >/dev/null 2>&1; then
        printf '%s\n' "$1" |
            xmessage -title Fluxball -center -buttons OK -default OK -file - >/dev/null 2>&1 || true
    fi
}

# cannot_prepare WHAT [DETAILS]: the player's folder cannot be made ready.
# Says so on standard error and, without a terminal, in a dialog; exits 1.
cannot_prepare() {
    text="fluxball: $1"
    if [ -n "${2:-}" ]; then
        text="$text
$2"
    fi
    printf '%s\n' "$text" >&2
    if [ ! -t 0 ]; then
        show_dialog "Fluxball could not start.

$text"
    fi
    exit 1
}

# The error lines of a run that could not start: the lines at the end of
# the log that start "Error" or "FMOD error" (a fatal start-up error is the
# last thing the program prints), else the log's last lines.
ERROR_TAIL_LINES=5
error_lines() {
    lines=$(awk '/^(Error|FMOD error)/ { block = block $0 "\n"; next }
                 { block = "" }
                 END { printf "%s", block }' "$1")
    if [ -z "$lines" ]; then
        lines=$(tail -n "$ERROR_TAIL_LINES" "$1")
    fi
    printf '%s\n' "$lines"
}

# --- The player's folder -------------------------------------------------------

# A relative or empty XDG_DATA_HOME is to be ignored.
case "${XDG_DATA_HOME:-}" in
    /*) data_home=$XDG_DATA_HOME ;;
    *)
        if [ -z "${HOME:-}" ]; then
            cannot_prepare "neither HOME nor XDG_DATA_HOME is set"
        fi
        data_home="$HOME/.local/share"
        ;;
esac
player_dir="$data_home/fluxball"

# --- Running the program ---------------------------------------------------------

# run_program DIR [ARG...]: runs the program in DIR with its output copied to
# the log; leaves its exit status in status. The shell has no pipefail: the
# program's status comes back on descriptor 3 through the command
# substitution, while the output goes through tee to the launcher's own
# output (descriptor 4).
run_program() {
    run_dir=$1
    shift
    status=0
    if [ -n "$log" ]; then
        exec 4>&1
        status=$({ { ran=0; (cd "$run_dir" && exec "$program" "$@") 2>&1 3>&- 4>&- || ran=$?
                     echo "$ran" >&3; } | tee -a "$log" >&4 3>&- 4>&-; } 3>&1) || true
        exec 4>&-
        status=${status:-1}
    else
        (cd "$run_dir" && exec "$program" "$@") || status=$?
    fi
}

# fatal_end TITLE: the program could not start, or not play a replay; a
# player without a terminal sees its error lines in a dialog too. Exits with
# the program's status.
FATAL_STATUS=255
fatal_end() {
    if [ ! -t 0 ]; then
        if [ -n "$log" ] && [ "$log" != "${replay_log:-}" ]; then
            show_dialog "$1

$(error_lines "$log")

The whole output is in $log."
        elif [ -n "$log" ]; then
            show_dialog "$1

$(error_lines "$log")"
        else
            show_dialog "$1 (status $status), and it has no log in $player_dir."
        fi
    fi
    exit "$status"
}

# --- Replays ---------------------------------------------------------------------
# fluxball --replay FILE (or a lone FILE.fxr, as a file manager passes it)
# plays a recorded session; fluxball --export FILE OUT renders it into a video
# through ffmpeg. Either runs the program in a fresh temporary folder that
# holds the recorded params.txt and scores.txt, so a replay never touches the
# player's own files. Sessions are recorded into replays/ in the player's
# folder, of which the newest are kept.
REPLAYS_KEPT=50

# replay_fail TEXT: says why a replay cannot be played (in a dialog too,
# without a terminal) and ends with the status of a fatal error.
replay_fail() {
    echo "fluxball: $*" >&2
    if [ ! -t 0 ]; then
        show_dialog "Fluxball could not play the replay.

$*"
    fi
    exit "$FATAL_STATUS"
}

# Deletes all but the newest replays; their names sort by the time they were made.
prune_replays() {
    for replay in "$player_dir"/replays/fluxball-*.fxr; do
        [ -f "$replay" ] && printf '%s\n' "$replay"
    done | sort -r | tail -n +$((REPLAYS_KEPT + 1)) | while IFS= read -r replay; do
        rm -f -- "$replay"
    done
}

# run_replay FILE [OUT]: plays FILE, or exports it to OUT when OUT is given.
# Both paths are taken as given from where the command was started.
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
    # A replay leaves the player's folder as it was, its log included: its
    # output goes to a log of its own, for the dialog.
    replay_log="$replay_tmp/console.log"
    log=$replay_log
    # The program checks the whole file and writes the recorded params.txt
    # and scores.txt; a bad file gets its message and nothing is written.
    run_program . --unpack-replay "$replay_file" "$replay_tmp"
    [ "$status" = 0 ] || fatal_end "Fluxball could not play the replay."
    cp -- "$replay_file" "$replay_tmp/replay.fxr" || replay_fail "cannot copy $replay_file"
    # The keys that name files or decide what the run does are the launcher's
    # alone (the unpacked params.txt holds none of them): the replay, the
    # video as a plain name in the folder (moved to where it was asked for
    # below), and no recording. The recorded file may end without a line
    # end: the keys go on lines of their own.
    printf '\nreplay = replay.fxr\nrecord_replays = 0\n' >>"$replay_tmp/params.txt"
    if [ -n "$video_out" ]; then
        printf 'replay_video = video.%s\n' "$video_ext" >>"$replay_tmp/params.txt"
    else
        printf 'replay_video =\n' >>"$replay_tmp/params.txt"
    fi
    ln -s "$data/sounds" "$replay_tmp/sounds"
    # Screenshots taken while watching go where the player's others go.
    if [ -e "$player_dir/screenshots" ]; then
        ln -s "$player_dir/screenshots" "$replay_tmp/screenshots"
    fi
    run_program "$replay_tmp"
    [ "$status" = "$FATAL_STATUS" ] && fatal_end "Fluxball could not play the replay."
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

# --- A session ---------------------------------------------------------------------

err=$(mkdir -p "$player_dir" 2>&1) || cannot_prepare "cannot make the folder $player_dir" "$err"
# The player's parameters: copied once, edited by the player from then on.
if [ ! -e "$player_dir/params.txt" ] && [ ! -L "$player_dir/params.txt" ]; then
    err=$(cp "$data/params.txt" "$player_dir/params.txt" 2>&1) ||
        cannot_prepare "cannot copy params.txt into $player_dir" "$err"
fi
# The sounds: a link to the installed ones, renewed when it points elsewhere
# (an earlier install). A real folder the player made is left alone.
if [ -L "$player_dir/sounds" ] || [ ! -e "$player_dir/sounds" ]; then
    if [ "$(readlink "$player_dir/sounds" 2>/dev/null || true)" != "$data/sounds" ]; then
        err=$(ln -sfn "$data/sounds" "$player_dir/sounds" 2>&1) ||
            cannot_prepare "cannot link the sounds into $player_dir" "$err"
    fi
fi

# --- Screenshots: a link to the player's pictures -----------------------------

# The pictures folder: xdg-user-dir's PICTURES when it names one (set to
# the home folder it is switched off), else ~/Pictures.
pictures_dir() {
    pictures=
    if command -v xdg-user-dir >/dev/null 2>&1; then
        pictures=$(xdg-user-dir PICTURES 2>/dev/null) || pictures=
    fi
    case "$pictures" in
        "${HOME:-}" | "${HOME:-}/") pictures= ;;
        /*) ;;
        *) pictures= ;;
    esac
    if [ -z "$pictures" ] && [ -n "${HOME:-}" ]; then
        pictures="$HOME/Pictures"
    fi
    printf '%s\n' "$pictures"
}

# screenshots/ links to <pictures>/Fluxball, made if need be, and is
# renewed when it points elsewhere; a real folder the player made is left
# alone. A failure here costs only the shots, so the game starts anyway.
link_screenshots() {
    pictures=$(pictures_dir)
    [ -n "$pictures" ] || return 0
    shots="$pictures/Fluxball"
    link="$player_dir/screenshots"
    if [ -L "$link" ] || [ ! -e "$link" ]; then
        if ! mkdir -p "$shots"; then
            echo "fluxball: cannot make $shots for the screenshots" >&2
        elif [ "$(readlink "$link" 2>/dev/null || true)" != "$shots" ]; then
            ln -sfn "$shots" "$link" || echo "fluxball: cannot link $link to $shots" >&2
        fi
    fi
}
link_screenshots

# --- The console log -----------------------------------------------------------

# fluxball.log gets this run's output; the last run's becomes fluxball.log.1
# (a folder at either name is neither moved nor moved into). A player's
# folder that takes no log leaves the run without one.
log="$player_dir/fluxball.log"
if { [ -f "$log" ] || [ -L "$log" ]; } && [ ! -d "$log.1" ]; then
    mv -f "$log" "$log.1" 2>/dev/null || true
fi
if ! (: >"$log") 2>/dev/null; then
    echo "fluxball: cannot write $log; running without a log" >&2
    log=
fi

[ -d "$player_dir" ] && [ -x "$player_dir" ] || cannot_prepare "cannot enter $player_dir"
run_program "$player_dir" "$@"
[ "$status" = "$FATAL_STATUS" ] && fatal_end "Fluxball could not start."
prune_replays
exit "$status"
