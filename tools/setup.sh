#!/usr/bin/env bash
# setup.sh -- installs what Fluxball needs on a Debian machine (only the
# packages that are missing; as root, or through sudo) and builds it in build/.
# Usage: tools/setup.sh [extra cmake options]
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  build-essential cmake pkg-config
  freeglut3-dev libgl1-mesa-dev libglu1-mesa-dev libgl1-mesa-dri
  libopenal-dev libsndfile1-dev libpng-dev zlib1g-dev
  libgtest-dev libbenchmark-dev
  xvfb xdotool imagemagick x11-utils python3 util-linux
  clang libclang-rt-14-dev
  dpkg-dev file desktop-file-utils appstream groff-base
  ffmpeg shared-mime-info
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build build -j "$(nproc)"
