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
