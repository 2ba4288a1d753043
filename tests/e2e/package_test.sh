# The installed tree and the Debian package: `cmake --install` into a
# temporary prefix (every file in its place, nothing else; the menu entry and
# the software-catalogue data pass their validators; the man page and the
# changelog are compressed without name or time, the man page renders without
# warnings and names every parameter and option; one version everywhere);
# the launcher's --help and --version without a display and without touching
# a file. Then the package, from a hardened build in Debian's layout for games
# (tools/package.sh): the solver files keep exact arithmetic and the fluid
# tests pass bit for bit in that build; the program is hardened and stripped;
# lintian --pedantic reports nothing; the package is unpacked and played
# where it lies with a temporary HOME: the window carries its class and the
# shipped icons, the launcher makes the player's folder, copies params.txt
# once, keeps the player's own copy and sounds folder, renews a stale sounds
# link, links screenshots/ to the player's pictures, logs the console to
# fluxball.log (the last run's kept as fluxball.log.1), hands its arguments
# to the program and gives back its status. Without a terminal a fatal
# start-up error, or a folder that cannot be made, shows in an xmessage
# dialog (with zenity and kdialog hidden from PATH); with one, the program's
# console wait works through the log's pipe and no dialog opens.
source "$(dirname "$0")/harness.sh" "$1" "$2"
BUILD_DIR=$(dirname "$FLUXBALL_BIN")
[ -f "$BUILD_DIR/CPackConfig.cmake" ] || fail "no CPackConfig.cmake in $BUILD_DIR"
for tool in desktop-file-validate appstreamcli groff dpkg-deb dpkg-shlibdeps dpkg-buildflags cpack \
            lintian readelf gzip xprop convert update-mime-database; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (tools/setup.sh installs it)"
done
VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD_DIR/CMakeCache.txt")
[ -n "$VERSION" ] || fail "no project version in $BUILD_DIR/CMakeCache.txt"
# The player's folder must come from this test's HOME alone.
export HOME="$WORK/home"
unset XDG_DATA_HOME
mkdir -p "$HOME"

# One version everywhere: the project, the changelogs, the catalogue data.
top_release=$(sed -n 's/^## \[\([0-9.]*\)\] - [0-9-]*$/\1/p' "$SOURCE_DIR/CHANGELOG.md" | head -n 1)
[ "$top_release" = "$VERSION" ] || fail "CHANGELOG.md opens with $top_release, the project is $VERSION"
deb_release=$(sed -n '1s/^fluxball (\([^)]*\)).*/\1/p' "$SOURCE_DIR/dist/changelog.Debian")
[ "$deb_release" = "$VERSION-1" ] || fail "dist/changelog.Debian opens with $deb_release"

# gzipped FILE: compressed at the highest level, with no file name and no
# time in the header (gzip -9n), and whole.
gzipped() {
    gzip -t "$1" 2>/dev/null || fail "$1 is not a whole gzip file"
    # Header bytes 4 to 9: flags (no name), time (0), extra flags (2: -9).
    [ "$(od -An -tu1 -j3 -N6 "$1" | tr -s ' ')" = " 0 0 0 0 0 2" ] ||
        fail "$1 has a name or a time in its header, or is not at -9: $(od -An -tu1 -N10 "$1")"
}

# check_options COMMAND: the launcher's own options, with no display and an
# empty HOME that must stay empty.
check_options() {
    local command=$1 home="$WORK/options_home" option out
    rm -rf "$home"
    mkdir -p "$home"
    for option in --version -v; do
        out=$(cd "$home" && env -u DISPLAY -u XDG_DATA_HOME HOME="$home" "$command" "$option" 2>&1) ||
            fail "$command $option: exit status $?"
        [ "$out" = "Fluxball $VERSION" ] || fail "$command $option printed: $out"
    done
    for option in --help -h; do
        out=$(cd "$home" && env -u DISPLAY -u XDG_DATA_HOME HOME="$home" "$command" "$option" 2>&1) ||
            fail "$command $option: exit status $?"
        for text in "Usage: fluxball" "paddle-and-ball game" "~/.local/share/fluxball" \
                    "params.txt" "scores.txt" "sounds/" "man 6 fluxball" "press h" "--version"; do
            echo "$out" | grep -qF -- "$text" || fail "$command $option does not mention '$text': $out"
        done
    done
    [ -z "$(ls -A "$home")" ] || fail "$command's options touched files: $(cd "$home" && find .)"
}

# --- cmake --install ----------------------------------------------------------
PREFIX="$WORK/prefix"
cmake --install "$BUILD_DIR" --prefix "$PREFIX" >"$WORK/install.log" 2>&1 ||
    { cat "$WORK/install.log"; fail "cmake --install failed"; }
icons=
for size in 16 22 24 32 48 64 128 256; do
    icons="$icons
share/icons/hicolor/${size}x${size}/apps/fluxball.png"
done
metainfo=$(ls "$PREFIX"/share/metainfo/*.metainfo.xml 2>/dev/null)
[ "$(echo "$metainfo" | wc -w)" = 1 ] || fail "expected one metainfo file, found: $metainfo"
# Files of both layouts, below the prefix.
shared="share/applications/fluxball.desktop
share/doc/fluxball/changelog.gz
share/doc/fluxball/copyright$icons
share/man/man6/fluxball.6.gz
share/metainfo/$(basename "$metainfo")
share/mime/packages/fluxball.xml"
expected="bin/fluxball
lib/fluxball/fluxball
share/fluxball/params.txt
share/fluxball/sounds/ball_pop.wav
share/fluxball/sounds/battle_loop.mp3
share/fluxball/sounds/hit_paddle.wav
share/fluxball/sounds/hit_wall.wav
share/fluxball/sounds/intro_loop.mp3
$shared"
installed=$(cd "$PREFIX" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[ "$installed" = "$(echo "$expected" | LC_ALL=C sort)" ] ||
    fail "installed files differ: $(diff <(echo "$expected" | LC_ALL=C sort) <(echo "$installed"))"
if [ ! -x "$PREFIX/bin/fluxball" ] || [ ! -x "$PREFIX/lib/fluxball/fluxball" ]; then
    fail "programs not executable"
fi
cmp -s "$PREFIX/share/fluxball/params.txt" "$SOURCE_DIR/params.txt" || fail "installed params.txt differs"

desktop="$PREFIX/share/applications/fluxball.desktop"
desktop-file-validate "$desktop" >"$WORK/desktop.log" 2>&1 ||
    { cat "$WORK/desktop.log"; fail "desktop-file-validate"; }
[ -s "$WORK/desktop.log" ] && { cat "$WORK/desktop.log"; fail "desktop-file-validate has remarks"; }
grep -qx "Categories=.*Game;.*" "$desktop" || fail "menu entry not in Game"
grep -qx "StartupWMClass=Fluxball" "$desktop" || fail "menu entry does not name the window's class"
appstreamcli validate --no-net --pedantic "$metainfo" >"$WORK/appstream.log" 2>&1 ||
    { cat "$WORK/appstream.log"; fail "appstreamcli validate"; }
grep -q "<screenshot" "$metainfo" || fail "no screenshots in the metainfo"
for element in "<project_license>MIT</project_license>" "<developer_name>" "<control>pointing</control>" \
               "<control>keyboard</control>" "<launchable type=\"desktop-id\">fluxball.desktop</launchable>"; do
    grep -qF "$element" "$metainfo" || fail "metainfo lacks $element"
done
releases=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$metainfo" | tr '\n' ' ')
[ "$releases" = "$VERSION 1.0.0 " ] || fail "metainfo releases: $releases"
[ "$(grep -c "<release version=.*>$" "$metainfo")" = 2 ] || fail "a release without notes in the metainfo"

docs="$PREFIX/share/doc/fluxball"
gzipped "$docs/changelog.gz"
zcat "$docs/changelog.gz" | cmp -s - "$SOURCE_DIR/CHANGELOG.md" || fail "changelog.gz is not CHANGELOG.md"
cmp -s "$docs/copyright" "$SOURCE_DIR/dist/copyright" || fail "copyright differs"
head -n 1 "$docs/copyright" | grep -qx "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ||
    fail "copyright is not machine-readable"
grep -qx "License: MIT" "$docs/copyright" || fail "copyright names no MIT licence"
grep -qF "Copyright (c) 2026 the Fluxball developers" "$SOURCE_DIR/LICENSE" || fail "LICENSE lacks the notice"

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

man_gz="$PREFIX/share/man/man6/fluxball.6.gz"
gzipped "$man_gz"
man_page="$WORK/fluxball.6"
zcat "$man_gz" >"$man_page"
groff -man -Tutf8 -ww -z "$man_page" >"$WORK/groff.log" 2>&1 || fail "groff failed on the man page"
[ -s "$WORK/groff.log" ] && { cat "$WORK/groff.log"; fail "man page warnings"; }
for section in NAME SYNOPSIS DESCRIPTION OPTIONS KEYS FILES PARAMETERS "EXIT STATUS"; do
    grep -q "^\.SH \"\?$section\"\?$" "$man_page" || fail "man page has no $section section"
done
grep -q "^\.TH FLUXBALL 6 .*\"Fluxball $VERSION\"" "$man_page" || fail "man page not of version $VERSION"
for option in help version; do
    grep -qF -- "\\-\\-$option" "$man_page" || fail "man page does not name --$option"
done
for name in $(sed -n 's/^\([a-z_]*\) = .*/\1/p' "$SOURCE_DIR/params.txt"); do
    grep -qw "$name" "$man_page" || fail "man page does not name the parameter $name"
done

check_options "$PREFIX/bin/fluxball"

# --- the package: a hardened build ---------------------------------------------
# Kept in the build folder, so a later run only builds what changed.
PACKAGE_BUILD="$BUILD_DIR/hardened"
"$SOURCE_DIR/tools/package.sh" "$PACKAGE_BUILD" -DFLUXBALL_TESTS=ON >"$WORK/package.log" 2>&1 ||
    { tail -n 40 "$WORK/package.log"; fail "tools/package.sh failed"; }
DEB="$PACKAGE_BUILD/fluxball_${VERSION}-1_amd64.deb"
[ -f "$DEB" ] || fail "no $(basename "$DEB"): $(ls "$PACKAGE_BUILD")"

# Every source file is built with Debian's hardening flags, and every one
# keeps exact single precision: no contraction into fused multiply-adds, no
# fast-math. The fluid tests (every solver path against the plain
# transcription, bit for bit) then pass in this very build.
commands="$PACKAGE_BUILD/compile_commands.json"
sources=$(grep -c '"file":' "$commands")
[ "$sources" -gt 20 ] || fail "only $sources sources in $commands"
for flag in -D_FORTIFY_SOURCE=2 -fstack-protector-strong -ffp-contract=off; do
    [ "$(grep '"command":' "$commands" | grep -c -- " $flag ")" = "$sources" ] ||
        fail "not every source is built with $flag"
done
grep -E -- '-ffast-math|-Ofast|-ffp-contract=(fast|on)|-funsafe-math' "$commands" >/dev/null &&
    fail "a source is built with fast or contracted arithmetic"
for solver in solver solver_sse solver_avx2 solver_avx512; do
    grep '"command":' "$commands" | grep -- "fluid/$solver.cpp" | grep -q -- " -ffp-contract=off " ||
        fail "fluid/$solver.cpp is not built with -ffp-contract=off"
done
cmake --build "$PACKAGE_BUILD" -j "$(nproc)" --target fluid_tests >"$WORK/fluid_build.log" 2>&1 ||
    { tail -n 40 "$WORK/fluid_build.log"; fail "the fluid tests do not build with the package's flags"; }
(cd "$PACKAGE_BUILD" && ./tests/fluid_tests --gtest_brief=1) >"$WORK/fluid_tests.log" 2>&1 ||
    { tail -n 40 "$WORK/fluid_tests.log"; fail "fluid tests fail in the package's build"; }
grep -qE "^\[  PASSED  \] [0-9]+ tests" "$WORK/fluid_tests.log" || fail "no fluid test ran"
equality=$("$PACKAGE_BUILD/tests/fluid_tests" --gtest_list_tests | grep -c "BitIdentical")
[ "$equality" -gt 10 ] || fail "only $equality bit-exact solver tests in the package's build"

field() { dpkg-deb -f "$DEB" "$1"; }
[ "$(field Package)" = fluxball ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$VERSION-1" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = amd64 ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = games ] || fail "Section: $(field Section)"
[ -n "$(field Description)" ] || fail "no Description"
[ "$(field Recommends)" = "zenity | kdialog | x11-utils, ffmpeg" ] || fail "Recommends: $(field Recommends)"
depends=$(field Depends)
for lib in libopenal1 libsndfile1 'libglut[0-9.]*|freeglut3' 'libglu1' 'libgl1|libopengl0' libx11-6; do
    echo "$depends" | grep -qE "(^|, |\| )($lib)( |,|$)" || fail "Depends lacks $lib: $depends"
done

# Debian's layout for games, and nothing else.
packaged=$(dpkg-deb -c "$DEB" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./usr/||' | LC_ALL=C sort)
expected="games/fluxball
lib/games/fluxball/fluxball
share/doc/fluxball/changelog.Debian.gz
share/games/fluxball/params.txt
share/games/fluxball/sounds/ball_pop.wav
share/games/fluxball/sounds/battle_loop.mp3
share/games/fluxball/sounds/hit_paddle.wav
share/games/fluxball/sounds/hit_wall.wav
share/games/fluxball/sounds/intro_loop.mp3
share/lintian/overrides/fluxball
$shared"
[ "$packaged" = "$(echo "$expected" | LC_ALL=C sort)" ] ||
    fail "packaged files differ: $(diff <(echo "$expected" | LC_ALL=C sort) <(echo "$packaged"))"

ROOT="$WORK/root"
dpkg-deb -x "$DEB" "$ROOT" || fail "dpkg-deb -x failed"
for doc in changelog.gz changelog.Debian.gz; do gzipped "$ROOT/usr/share/doc/fluxball/$doc"; done
gzipped "$ROOT/usr/share/man/man6/fluxball.6.gz"

# The program: bound at load time with read-only relocations, fortified
# and stack-protected calls, no compiler comments or notes left.
PROGRAM="$ROOT/usr/lib/games/fluxball/fluxball"
readelf -d "$PROGRAM" | grep -qE "FLAGS.*BIND_NOW" || fail "program not bound now"
readelf -lW "$PROGRAM" | grep -q GNU_RELRO || fail "program without RELRO"
readelf -sW --dyn-syms "$PROGRAM" | grep -q "__stack_chk_fail" || fail "program without stack protector"
readelf -sW --dyn-syms "$PROGRAM" | grep -qE "__[a-z]*printf_chk" || fail "program without fortified calls"
readelf -SW "$PROGRAM" | grep -qE " \.(comment|note) " && fail "program keeps .comment or .note"

# lintian has nothing to say; what remains is overridden in the package, each
# override with its reason on the lines above it.
lintian --pedantic "$DEB" >"$WORK/lintian.log" 2>&1
lintian_status=$?
grep -E "^[EWIPX]: " "$WORK/lintian.log" && fail "lintian --pedantic reports tags"
[ "$lintian_status" = 0 ] || { cat "$WORK/lintian.log"; fail "lintian exit status $lintian_status"; }
awk '/^[a-z]/ && prev !~ /^#/ { bad = 1; print "override without a reason: " $0 } { prev = $0 }
     END { exit bad }' "$ROOT/usr/share/lintian/overrides/fluxball" || fail "lintian override without a reason"

check_options "$ROOT/usr/games/fluxball"

# --- the package, played where it lies ------------------------------------------
FLUXBALL_BIN="$ROOT/usr/games/fluxball"
PLAYER="$HOME/.local/share/fluxball"
SHIPPED="$ROOT/usr/share/games/fluxball"

# First run: the player's folder is made and filled, the shipped parameters
# (60 frames a second) are read from it.
start_fluxball
[ -d "$PLAYER" ] || fail "player's folder $PLAYER not made"
cmp -s "$PLAYER/params.txt" "$SHIPPED/params.txt" || fail "params.txt not copied"
[ "$(readlink "$PLAYER/sounds")" = "$SHIPPED/sounds" ] || fail "sounds link: $(readlink "$PLAYER/sounds")"
console_has "frame_rate = 60" || fail "the shipped params.txt was not read"
grep -qF "frame_rate = 60" "$PLAYER/fluxball.log" || fail "no console in fluxball.log"
[ "$(readlink "$PLAYER/screenshots")" = "$HOME/Pictures/Fluxball" ] ||
    fail "screenshots link: $(readlink "$PLAYER/screenshots")"
[ -d "$HOME/Pictures/Fluxball" ] || fail "the pictures folder was not made"

# The window's class is the one the menu entry names; its icons are the
# shipped ones, pixel for pixel (_NET_WM_ICON: width, height, then ARGB
# pixels, for each picture).
class=$(xprop -id "$WID" WM_CLASS)
[ "$class" = 'WM_CLASS(STRING) = "fluxball", "Fluxball"' ] || fail "window class: $class"
xprop -id "$WID" -notype 32c _NET_WM_ICON | sed 's/^_NET_WM_ICON = //' | tr -d ' ' | tr ',' '\n' \
    >"$WORK/icon.txt"
sizes=$(awk 'at == NR { w = $1 } at + 1 == NR { print w "x" $1; at = NR + 1 + w * $1 }
             BEGIN { at = 1 }' "$WORK/icon.txt" | tr '\n' ' ')
[ "$sizes" = "16x16 32x32 48x48 64x64 128x128 " ] || fail "window icon sizes: $sizes"
for size in 16 32 48 64 128; do
    echo "$size"
    echo "$size"
    convert "$ROOT/usr/share/icons/hicolor/${size}x${size}/apps/fluxball.png" -depth 8 rgba:- |
        od -An -tu1 -v | tr -s ' ' '\n' | grep . |
        awk '{ c[NR % 4] = $1 } NR % 4 == 0 { printf "%.0f\n", c[0] * 16777216 + c[1] * 65536 + c[2] * 256 + c[3] }'
done >"$WORK/icon_expected.txt"
cmp -s "$WORK/icon.txt" "$WORK/icon_expected.txt" || fail "the window's icon is not the shipped icons"
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
grep -qx "max_lives = 3" "$PLAYER/fluxball.log" || fail "fluxball.log is not this run's"
grep -q "max_lives = 3" "$PLAYER/fluxball.log.1" && fail "fluxball.log.1 is not the last run's"
grep -qF "frame_rate = 60" "$PLAYER/fluxball.log.1" || fail "the last run's log was not kept"
key q
expect_exit 1

# XDG_DATA_HOME names the folder; a sounds folder the player made is left
# alone; the launcher's arguments reach the program (here the display, which
# is not in its environment).
# So are a screenshots folder the player made, and the pictures folder
# xdg-user-dir names.
XDG="$WORK/xdg"
mkdir -p "$XDG/fluxball/screenshots"
cp -r "$SHIPPED/sounds" "$XDG/fluxball/sounds"
if command -v xdg-user-dir >/dev/null; then
    mkdir -p "$HOME/.config"
    echo 'XDG_PICTURES_DIR="$HOME/Bilder"' >"$HOME/.config/user-dirs.dirs"
fi
(cd "$WORK" && exec env -u DISPLAY XDG_DATA_HOME="$XDG" "$FLUXBALL_BIN" -display "$DISPLAY" \
    >"$OUT" 2>&1 </dev/null) &
APP_PID=$!
wait_for_window
[ -f "$XDG/fluxball/params.txt" ] || fail "params.txt not copied under XDG_DATA_HOME"
if [ ! -d "$XDG/fluxball/sounds" ] || [ -L "$XDG/fluxball/sounds" ]; then
    fail "the player's sounds folder was replaced"
fi
[ -d "$XDG/fluxball/screenshots" ] && [ ! -L "$XDG/fluxball/screenshots" ] ||
    fail "the player's screenshots folder was replaced"
key q
expect_exit 1
if command -v xdg-user-dir >/dev/null; then
    (env -u DISPLAY "$FLUXBALL_BIN" -display "$DISPLAY" >"$OUT" 2>&1 </dev/null) &
    APP_PID=$!
    wait_for_window
    [ "$(readlink "$PLAYER/screenshots")" = "$HOME/Bilder/Fluxball" ] ||
        fail "screenshots link not renewed to xdg-user-dir's PICTURES: $(readlink "$PLAYER/screenshots")"
    key q
    expect_exit 1
fi

# --- Fatal errors without and with a terminal -----------------------------------
# A PATH without zenity and kdialog, whose xmessage keeps the text it shows.
DIALOG_TEXT="$WORK/dialog.txt"
DIALOG_PATH="$WORK/dialog_bin"
mkdir -p "$DIALOG_PATH"
printf '#!/bin/sh\ncat >"%s"\nexec "%s" "$@" <"%s"\n' \
    "$DIALOG_TEXT" "$(command -v xmessage)" "$DIALOG_TEXT" >"$DIALOG_PATH/xmessage"
chmod +x "$DIALOG_PATH/xmessage"
n=0
old_ifs=$IFS; IFS=:
for dir in $PATH; do
    if [ -e "$dir/zenity" ] || [ -e "$dir/kdialog" ]; then
        n=$((n + 1))
        mkdir -p "$WORK/shadow$n"
        cp -s "$dir"/* "$WORK/shadow$n/" 2>/dev/null
        rm -f "$WORK/shadow$n/zenity" "$WORK/shadow$n/kdialog"
        dir="$WORK/shadow$n"
    fi
    DIALOG_PATH="$DIALOG_PATH:$dir"
done
IFS=$old_ifs

# dialog_run STATUS ENV...: runs the launcher without a terminal; waits for
# the Fluxball dialog, closes it with Return, expects the status.
dialog_run() {
    local want=$1 dlg i
    shift
    rm -f "$DIALOG_TEXT"
    (env PATH="$DIALOG_PATH" "$@" "$FLUXBALL_BIN" >"$OUT" 2>&1 </dev/null) &
    APP_PID=$!
    dlg=
    for i in $(seq 1 100); do
        dlg=$(xdotool search --name "^Fluxball$" 2>/dev/null | head -n 1)
        [ -n "$dlg" ] && break
        kill -0 "$APP_PID" 2>/dev/null || fail "the launcher ended without a dialog"
        sleep 0.1
    done
    [ -n "$dlg" ] || fail "no dialog window"
    xdotool windowfocus --sync "$dlg" 2>/dev/null
    xdotool key Return
    expect_exit "$want"
}

# A sound file missing from the player's folder: status 255, the dialog
# names the file and the result line, not the start-up lines before them.
rm "$XDG/fluxball/sounds/hit_wall.wav"
dialog_run 255 XDG_DATA_HOME="$XDG"
grep -qx "Error: cannot load sounds/hit_wall.wav" "$DIALOG_TEXT" || fail "dialog: $(cat "$DIALOG_TEXT")"
grep -q "^FMOD error! (" "$DIALOG_TEXT" || fail "dialog without the result line: $(cat "$DIALOG_TEXT")"
grep -q "Could not open score file\|Keybinds" "$DIALOG_TEXT" && fail "dialog shows more: $(cat "$DIALOG_TEXT")"
grep -qx "Error: cannot load sounds/hit_wall.wav" "$XDG/fluxball/fluxball.log" || fail "not in the log"

# A player's folder that cannot be made: status 1, the reason in the dialog.
touch "$WORK/not_a_folder"
dialog_run 1 XDG_DATA_HOME="$WORK/not_a_folder"
grep -q "cannot make the folder $WORK/not_a_folder/fluxball" "$DIALOG_TEXT" ||
    fail "dialog: $(cat "$DIALOG_TEXT")"

# With a terminal: the program waits for a key as it does on its own, and
# the launcher opens no dialog.
rm -f "$DIALOG_TEXT"
python3 - "$FLUXBALL_BIN" "$XDG" "$DIALOG_PATH" <<'PY' || fail "the launcher on a terminal did not behave"
import os, pty, sys, time, select

pid, fd = pty.fork()
if pid == 0:
    os.environ["XDG_DATA_HOME"] = sys.argv[2]
    os.environ["PATH"] = sys.argv[3]
    os.execv(sys.argv[1], [sys.argv[1]])

def read_for(seconds, until=None):
    out = b""
    end = time.time() + seconds
    while time.time() < end and not (until and until in out):
        r, _, _ = select.select([fd], [], [], 0.1)
        if r:
            try:
                chunk = os.read(fd, 4096)
            except OSError:
                break
            if not chunk:
                break
            out += chunk
    return out

text = read_for(10.0, b"FMOD error! (")
assert b"Error: cannot load sounds/hit_wall.wav" in text, text
time.sleep(0.5)
assert os.waitpid(pid, os.WNOHANG)[0] == 0, "no wait for a key"
os.write(fd, b"x")
read_for(1.0)
done, status = os.waitpid(pid, 0)
assert os.WIFEXITED(status) and os.WEXITSTATUS(status) == 255, status
PY
[ -e "$DIALOG_TEXT" ] && fail "a dialog on a terminal"
pass
