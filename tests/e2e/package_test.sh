# The installed tree and the Debian package: `cmake --install` into a
# temporary prefix (every file in its place, nothing else; the menu entry and
# the software-catalogue data pass their validators; the man page renders
# without warnings and names every parameter), then `cpack -G DEB`, whose
# package is unpacked and played where it lies with a temporary HOME: the
# launcher makes the player's folder, copies params.txt once, keeps the
# player's own copy and sounds folder, renews a stale sounds link and hands
# its arguments to the program.
source "$(dirname "$0")/harness.sh" "$1" "$2"
BUILD_DIR=$(dirname "$FLUXBALL_BIN")
[ -f "$BUILD_DIR/CPackConfig.cmake" ] || fail "no CPackConfig.cmake in $BUILD_DIR"
for tool in desktop-file-validate appstreamcli groff dpkg-deb dpkg-shlibdeps cpack update-mime-database; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (tools/setup.sh installs it)"
done
# The player's folder must come from this test's HOME alone.
export HOME="$WORK/home"
unset XDG_DATA_HOME
mkdir -p "$HOME"

# --- cmake --install ----------------------------------------------------------
PREFIX="$WORK/prefix"
cmake --install "$BUILD_DIR" --prefix "$PREFIX" >"$WORK/install.log" 2>&1 ||
    { cat "$WORK/install.log"; fail "cmake --install failed"; }
expected="bin/fluxball
lib/fluxball/fluxball
share/applications/fluxball.desktop
share/fluxball/params.txt
share/fluxball/sounds/ball_pop.wav
share/fluxball/sounds/battle_loop.mp3
share/fluxball/sounds/hit_paddle.wav
share/fluxball/sounds/hit_wall.wav
share/fluxball/sounds/intro_loop.mp3"
for size in 16 22 24 32 48 64 128 256; do
    expected="$expected
share/icons/hicolor/${size}x${size}/apps/fluxball.png"
done
expected="$expected
share/man/man6/fluxball.6
share/mime/packages/fluxball.xml"
metainfo=$(ls "$PREFIX"/share/metainfo/*.metainfo.xml 2>/dev/null)
[ "$(echo "$metainfo" | wc -w)" = 1 ] || fail "expected one metainfo file, found: $metainfo"
expected="$expected
share/metainfo/$(basename "$metainfo")"
installed=$(cd "$PREFIX" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[ "$installed" = "$(echo "$expected" | LC_ALL=C sort)" ] ||
    fail "installed files differ: $(diff <(echo "$expected" | LC_ALL=C sort) <(echo "$installed"))"
if [ ! -x "$PREFIX/bin/fluxball" ] || [ ! -x "$PREFIX/lib/fluxball/fluxball" ]; then
    fail "programs not executable"
fi
cmp -s "$PREFIX/share/fluxball/params.txt" "$SOURCE_DIR/params.txt" || fail "installed params.txt differs"

desktop-file-validate "$PREFIX/share/applications/fluxball.desktop" >"$WORK/desktop.log" 2>&1 ||
    { cat "$WORK/desktop.log"; fail "desktop-file-validate"; }
[ -s "$WORK/desktop.log" ] && { cat "$WORK/desktop.log"; fail "desktop-file-validate has remarks"; }
grep -qx "Categories=.*Game;.*" "$PREFIX/share/applications/fluxball.desktop" || fail "menu entry not in Game"
appstreamcli validate --no-net "$metainfo" >"$WORK/appstream.log" 2>&1 ||
    { cat "$WORK/appstream.log"; fail "appstreamcli validate"; }
grep -q "<screenshot" "$metainfo" || fail "no screenshots in the metainfo"

# The replay type: a file named *.fxr or starting "FXREPLAY" is one, and a
# double click on it runs the menu entry with the file.
grep -qx "MimeType=application/x-fluxball-replay;" "$PREFIX/share/applications/fluxball.desktop" ||
    fail "menu entry does not take replays"
grep -qx "Exec=fluxball %f" "$PREFIX/share/applications/fluxball.desktop" || fail "menu entry Exec takes no file"
grep -q "<mediatype>application/x-fluxball-replay</mediatype>" "$metainfo" || fail "metainfo lacks the replay type"
cp -r "$PREFIX/share/mime" "$WORK/mime"
XDG_DATA_DIRS="$WORK" update-mime-database "$WORK/mime" >"$WORK/mime.log" 2>&1 || { cat "$WORK/mime.log"; fail "update-mime-database"; }
[ -s "$WORK/mime.log" ] && { cat "$WORK/mime.log"; fail "update-mime-database has remarks"; }
grep -qx "application/x-fluxball-replay:\*.fxr" "$WORK/mime/globs" || fail "no *.fxr glob: $(cat "$WORK/mime/globs")"
grep -q "FXREPLAY" "$WORK/mime/magic" || fail "no FXREPLAY magic"

man_page="$PREFIX/share/man/man6/fluxball.6"
groff -man -Tutf8 -ww -z "$man_page" >"$WORK/groff.log" 2>&1 || fail "groff failed on the man page"
[ -s "$WORK/groff.log" ] && { cat "$WORK/groff.log"; fail "man page warnings"; }
for section in NAME SYNOPSIS DESCRIPTION KEYS FILES PARAMETERS "EXIT STATUS"; do
    grep -q "^\.SH \"\?$section\"\?$" "$man_page" || fail "man page has no $section section"
done
for name in $(sed -n 's/^\([a-z_]*\) = .*/\1/p' "$SOURCE_DIR/params.txt"); do
    grep -qw "$name" "$man_page" || fail "man page does not name the parameter $name"
done

# --- cpack -G DEB, unpacked and played ----------------------------------------
(cd "$BUILD_DIR" && cpack -G DEB -B "$WORK/pkg") >"$WORK/cpack.log" 2>&1 ||
    { cat "$WORK/cpack.log"; fail "cpack failed"; }
DEB="$WORK/pkg/fluxball_1.0.0_amd64.deb"
[ -f "$DEB" ] || fail "no $(basename "$DEB"): $(ls "$WORK/pkg")"
field() { dpkg-deb -f "$DEB" "$1"; }
[ "$(field Package)" = fluxball ] || fail "Package: $(field Package)"
[ "$(field Version)" = 1.0.0 ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = amd64 ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = games ] || fail "Section: $(field Section)"
[ -n "$(field Description)" ] || fail "no Description"
field Recommends | grep -qE "(^|, )ffmpeg( |,|$)" || fail "Recommends lacks ffmpeg: $(field Recommends)"
depends=$(field Depends)
for lib in libopenal1 libsndfile1 'libglut[0-9.]*|freeglut3' 'libglu1' 'libgl1|libopengl0'; do
    echo "$depends" | grep -qE "(^|, |\| )($lib)( |,|$)" || fail "Depends lacks $lib: $depends"
done

ROOT="$WORK/root"
dpkg-deb -x "$DEB" "$ROOT" || fail "dpkg-deb -x failed"
FLUXBALL_BIN="$ROOT/usr/bin/fluxball"
PLAYER="$HOME/.local/share/fluxball"
SHIPPED="$ROOT/usr/share/fluxball"

# First run: the player's folder is made and filled, the shipped parameters
# (60 frames a second) are read from it.
start_fluxball
[ -d "$PLAYER" ] || fail "player's folder $PLAYER not made"
cmp -s "$PLAYER/params.txt" "$SHIPPED/params.txt" || fail "params.txt not copied"
[ "$(readlink "$PLAYER/sounds")" = "$SHIPPED/sounds" ] || fail "sounds link: $(readlink "$PLAYER/sounds")"
console_has "frame_rate = 60" || fail "the shipped params.txt was not read"
key q
expect_exit 1

# Second run: the player's own params.txt stays; a link left by an earlier
# install is renewed.
echo "max_lives = 3" >>"$PLAYER/params.txt"
ln -sfn "$WORK/old_install/sounds" "$PLAYER/sounds"
start_fluxball
grep -qx "max_lives = 3" "$PLAYER/params.txt" || fail "the player's params.txt was overwritten"
console_has "max_lives = 3" || fail "the player's params.txt was not read"
[ "$(readlink "$PLAYER/sounds")" = "$SHIPPED/sounds" ] || fail "stale sounds link kept"
key q
expect_exit 1

# XDG_DATA_HOME names the folder; a sounds folder the player made is left
# alone; the launcher's arguments reach the program (here the display, which
# is not in its environment).
XDG="$WORK/xdg"
mkdir -p "$XDG/fluxball"
cp -r "$SHIPPED/sounds" "$XDG/fluxball/sounds"
(cd "$WORK" && exec env -u DISPLAY XDG_DATA_HOME="$XDG" "$FLUXBALL_BIN" -display "$DISPLAY" \
    >"$OUT" 2>&1 </dev/null) &
APP_PID=$!
wait_for_window
[ -f "$XDG/fluxball/params.txt" ] || fail "params.txt not copied under XDG_DATA_HOME"
if [ ! -d "$XDG/fluxball/sounds" ] || [ -L "$XDG/fluxball/sounds" ]; then
    fail "the player's sounds folder was replaced"
fi
key q
expect_exit 1
pass
