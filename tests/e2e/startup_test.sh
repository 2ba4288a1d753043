# Start-up and shutdown of the real program: console output, window, quit
# with q, and a fatal start-up error; the window keys echoed, full screen as
# a window where the display has no game mode, and screenshots that cannot
# be written.
source "$(dirname "$0")/harness.sh" "$1" "$2"
copy_sounds

# white_count FILE WxH+X+Y: pixels of white text in a part of a screenshot.
white_count() {
    convert "$1" -crop "$2" +repage -colorspace Gray -threshold 90% -format '%[fx:round(mean*w*h)]' info:
}
NOTICE="460x16+8+565"           # the screenshot notice, white, lower left

# Without params.txt: the missing-file line, the key reference, an 800 x 600
# window titled "Fluxball Prototype"; q quits with status 1.
start_fluxball
console_has "Error: Could not open parameter file.  Using default parameters." || fail "no missing-file line"
console_has "Fluid Solver Keybinds:" || fail "no key reference"
console_has "'q'                 |  Quit" || fail "key reference incomplete"
geometry=$(xdotool getwindowgeometry "$WID" | grep Geometry | awk '{print $2}')
[ "$geometry" = "800x600" ] || fail "window is $geometry, expected 800x600"
key q
expect_exit 1

# A parameter file is echoed line by line, unknown keys flagged.
printf 'grid_res = 64\n# a comment\n\nbogus_key = 7\ntimestep = 0.05 # remark\n' > "$WORK/params.txt"
start_fluxball
console_has "Properties: " || fail "no Properties line"
console_has "grid_res = 64" || fail "grid_res not echoed"
console_has "Error - cannot parse: bogus_key = 7" || fail "unknown key not flagged"
console_has "timestep = 0.05" || fail "timestep not echoed"
console_has "a comment" && fail "comment echoed"
key Escape
expect_exit 1

# The window keys are echoed and fullscreen_window does not set fullscreen.
# Xvfb has no game mode: F2 makes the window fill the 1024 x 768 screen, F2
# again brings back 800 x 600; fullscreen = 1 does it at start.
printf 'fullscreen_window = 1\nhelp_hint = 1\nauto_pause = 1\n' > "$WORK/params.txt"
start_fluxball
for line in "fullscreen_window = 1" "help_hint = 1" "auto_pause = 1"; do
    console_has "$line" || fail "no echo of $line"
done
console_has "Error - cannot parse" && fail "a window key was not recognised"
sleep 0.3
[ "$(geometry)" = 800x600 ] || fail "fullscreen_window alone made the window $(geometry)"
key F2
wait_geometry 1024x768 || fail "F2 did not fill the screen: $(geometry)"
key F2
wait_geometry 800x600 || fail "F2 again did not bring back 800x600: $(geometry)"
key q
expect_exit 1
printf 'fullscreen = 1\nfullscreen_window = 1\n' > "$WORK/params.txt"
start_fluxball
wait_geometry 1024x768 || fail "fullscreen = 1 did not fill the screen: $(geometry)"
key Escape
expect_exit 1

# F12 where no picture can be written: a read-only working directory (no
# folder for the pictures) and a full disk. The window and the console say
# why, no half-written file is left, and the game plays on.
rm -f "$WORK/params.txt"
if can_mount_readonly; then
    start_fluxball_readonly
    screenshot "$WORK/before.png"
    key F12
    sleep 0.3
    screenshot "$WORK/after.png"
    console_has "Screenshot failed: the folder screenshots is not writable" || fail "no read-only message"
    [ "$(white_count "$WORK/after.png" "$NOTICE")" -gt \
      $(( $(white_count "$WORK/before.png" "$NOTICE") + 200 )) ] || fail "no notice in the window"
    key space
    sleep 0.5
    screenshot "$WORK/playing.png"
    [ "$(differ "$WORK/after.png" "$WORK/playing.png")" != 0 ] || fail "no game after the failed shot"
    key q
    expect_exit 1
    # A small file system, filled up.
    start_fluxball_mounted 'mkdir -p "$1/screenshots" &&
        mount -t tmpfs -o size=8k tmpfs "$1/screenshots" &&
        { head -c 65536 /dev/zero >"$1/screenshots/filler" 2>/dev/null; true; }'
    key F12
    sleep 0.5
    console_has "Screenshot failed: the disk is full" || fail "no disk-full message"
    ls "/proc/$APP_PID/root$WORK/screenshots" | grep -q fluxball && fail "a half-written picture was left"
    key q
    expect_exit 1
else
    echo "no mount namespaces here: unwritable screenshots not tried"
fi

# A grid too large to allocate: the error line and status -1 (255).
printf 'grid_res = 2000000000\n' > "$WORK/params.txt"
run_fluxball_to_end
console_has "Error: cannot allocate solver data!" || fail "no allocation error"
[ "$APP_STATUS" = 255 ] || fail "status $APP_STATUS, expected 255"
pass
