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
# link and hands its arguments to the program.
source "$(dirname "$0")/harness.sh" "$1" "$2"
BUILD_DIR=$(dirname "$FLUXBALL_BIN")
[ -f "$BUILD_DIR/CPackConfig.cmake" ] || fail "no CPackConfig.cmake in $BUILD_DIR"
for tool in desktop-file-validate appstreamcli groff dpkg-deb dpkg-shlibdeps dpkg-buildflags cpack \
            lintian readelf gzip xprop convert; do
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
share/metainfo/$(basename "$metainfo")"
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
