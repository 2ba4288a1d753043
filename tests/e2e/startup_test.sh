# Start-up and shutdown of the real program: console output, window, quit
# with q, and a fatal start-up error.
source "$(dirname "$0")/harness.sh" "$1" "$2"
copy_sounds

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

# A grid too large to allocate: the error line and status -1 (255).
printf 'grid_res = 2000000000\n' > "$WORK/params.txt"
run_fluxball_to_end
console_has "Error: cannot allocate solver data!" || fail "no allocation error"
[ "$APP_STATUS" = 255 ] || fail "status $APP_STATUS, expected 255"
pass
