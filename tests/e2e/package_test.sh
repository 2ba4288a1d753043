# The installed tree and the Debian package: `cmake --install` into a
# temporary prefix (every file in its place, nothing else; the menu entry and
# the software-catalogue data pass their validators; the man page renders
# without warnings and names every parameter), then `cpack -G DEB`, whose
# package is unpacked and played where it lies with a temporary HOME: the
# launcher makes the player's folder, copies params.txt once, keeps the
# player's own copy and sounds folder, renews a stale sounds link, links
# screenshots/ to the player's pictures, logs the console to fluxball.log
# (the last run's kept as fluxball.log.1), hands its arguments to the
# program and gives back its status. Without a terminal a fatal start-up
# error, or a folder that cannot be made, shows in an xmessage dialog (with
# zenity and kdialog hidden from PATH); with one, the program's console wait
# works through the log's pipe and no dialog opens.
source "$(dirname "$0")/harness.sh" "$1" "$2"
BUILD_DIR=$(dirname "$FLUXBALL_BIN")
[ -f "$BUILD_DIR/CPackConfig.cmake" ] || fail "no CPackConfig.cmake in $BUILD_DIR"
for tool in desktop-file-validate appstreamcli groff dpkg-deb dpkg-shlibdeps cpack; do
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
share/man/man6/fluxball.6"
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
[ "$(field Recommends)" = "zenity | kdialog | x11-utils" ] || fail "Recommends: $(field Recommends)"
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
grep -qF "frame_rate = 60" "$PLAYER/fluxball.log" || fail "no console in fluxball.log"
[ "$(readlink "$PLAYER/screenshots")" = "$HOME/Pictures/Fluxball" ] ||
    fail "screenshots link: $(readlink "$PLAYER/screenshots")"
[ -d "$HOME/Pictures/Fluxball" ] || fail "the pictures folder was not made"
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
