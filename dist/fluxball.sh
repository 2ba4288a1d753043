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
# The build fills in the version and the places below the install prefix.
set -eu

# The launcher's own options; they need no display and touch no file. Any
# other argument goes to the program (GLUT takes e.g. -display NAME).
case "${1:-}" in
    -h | --help)
        cat <<'EOF'
Usage: fluxball [-h | --help | -v | --version | GLUT options]

Fluxball is a paddle-and-ball game played in a real-time fluid, against a
computer opponent, with a top-ten table and music; F1 turns it into a fluid
toy with ink, jets, walls and seven field views.

It runs in the player's folder, $XDG_DATA_HOME/fluxball
(~/.local/share/fluxball by default), which it makes on the first start:
  params.txt   the game's parameters, a copy of the installed one to edit
  scores.txt   the top-ten table
  sounds/      a link to the installed sounds

Keys: press h in the game for the key page; man 6 fluxball lists every key,
the mouse and every parameter. Space starts a game, F1 switches to the
fluid toy, F2 is full screen, Esc or q quits.

Options:
  -h, --help      print this help and exit
  -v, --version   print the version and exit
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
exec "$program" "$@"
