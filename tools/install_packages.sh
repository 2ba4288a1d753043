#!/usr/bin/env bash
# install_packages.sh -- installs the Debian packages Fluxball needs that are
# still missing (as root, or through sudo), showing apt's own progress.
# Usage: tools/install_packages.sh play   # building and playing the game
#        tools/install_packages.sh all    # also the tests, fuzzing, packaging
set -euo pipefail

# Building and playing: the compiler, CMake, GLUT, GL and GLU (with Mesa's
# software driver), Xlib, OpenAL Soft, libsndfile, libpng and zlib.
PLAY=(
  build-essential cmake pkg-config
  libglut-dev libgl1-mesa-dev libglu1-mesa-dev libgl1-mesa-dri libx11-dev
  libopenal-dev libsndfile1-dev libpng-dev zlib1g-dev
)
# The tests, benchmarks, end-to-end runs under Xvfb, fuzzing with clang, the
# package with its checkers, and ffmpeg for the replays' videos.
TEST=(
  libgtest-dev libbenchmark-dev
  xvfb xdotool imagemagick x11-utils python3 util-linux
  clang libclang-rt-14-dev
  dpkg-dev file desktop-file-utils appstream groff-base lintian
  ffmpeg shared-mime-info
)

case "${1:-}" in
  play) wanted=("${PLAY[@]}") ;;
  all) wanted=("${PLAY[@]}" "${TEST[@]}") ;;
  *) echo "usage: $0 play|all" >&2; exit 2 ;;
esac

missing=()
for p in "${wanted[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing ${#missing[@]} missing packages: ${missing[*]}"
SUDO=
[ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO apt-get update
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
