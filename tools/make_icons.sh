#!/usr/bin/env bash
# make_icons.sh -- makes the menu icons from one of the program's own
# pictures: the ball and its plasma glow cut out of the game screenshot, with
# rounded corners, at every size the desktop's icon theme looks for. Writes
# dist/icons/hicolor/SIZExSIZE/apps/fluxball.png; the icons are kept in the
# repository, so building and installing need no ImageMagick.
# Usage: tools/make_icons.sh [picture]   (default: docs/screenshots/game.png,
# made by tools/screenshots.sh)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
SOURCE=${1:-$ROOT/docs/screenshots/game.png}
OUT_DIR="$ROOT/dist/icons/hicolor"
# The ball at the serve, its glow and the start of its trail, in the
# 400 x 300 screenshot.
CROP=92x92+167+123
SIZES="16 22 24 32 48 64 128 256"
MASTER=256
CORNER=40           # corner radius at the master size, pixels

command -v convert >/dev/null || { echo "make_icons.sh needs ImageMagick"; exit 1; }
[ -f "$SOURCE" ] || { echo "no picture at $SOURCE"; exit 1; }
WORK=$(mktemp -d /tmp/fluxball_icons.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

convert "$SOURCE" -crop "$CROP" +repage -resize "${MASTER}x${MASTER}!" "$WORK/square.png"
convert -size "${MASTER}x${MASTER}" xc:none -fill white \
    -draw "roundrectangle 0,0 $((MASTER - 1)),$((MASTER - 1)) $CORNER,$CORNER" "$WORK/mask.png"
convert "$WORK/square.png" "$WORK/mask.png" -alpha off -compose CopyOpacity -composite \
    "$WORK/master.png"
for size in $SIZES; do
    dir="$OUT_DIR/${size}x${size}/apps"
    mkdir -p "$dir"
    # No time stamps, so the files only change when the picture does.
    convert "$WORK/master.png" -resize "${size}x${size}" -strip \
        -define png:exclude-chunks=date,time "PNG32:$dir/fluxball.png"
    echo "$dir/fluxball.png"
done
