#!/usr/bin/env bash
# make_sounds.sh -- builds the sound generator and writes the five sound files
# into sounds/ (they are kept in the repository, so the game itself needs no
# encoder). Needs libsndfile built with MP3 support (Debian's libsndfile1-dev).
set -euo pipefail
cd "$(dirname "$0")/.."
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
g++ -std=c++17 -O2 -Wall -Wextra -o "$tmp/make_sounds" tools/make_sounds.cpp \
    $(pkg-config --cflags --libs sndfile)
mkdir -p sounds
"$tmp/make_sounds" sounds
