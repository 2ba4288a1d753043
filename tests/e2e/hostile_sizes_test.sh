# Hostile parameter files: tiny and oversized grids, paddles, lives, sweeps, tables and windows.
source "$(dirname "$0")/harness.sh" "$1" "$2"
source "$(dirname "$0")/hostile_params.sh"
copy_sounds
start_xvfb

for g in 1 2 3 4 7; do
    run_case "grid_res $g" "grid_res = $g"
done
run_case "grid too large" "grid_res = 2000000000"
run_case "paddle larger than the field" "$(printf 'grid_res = 20\npaddle_width = 40\npaddle_height = 50\n')"
run_case "max_lives 0" "max_lives = 0"
run_case "max_lives negative" "max_lives = -3"
run_case "iterations 0" "iterations = 0"
run_case "iterations large" "$(printf 'iterations = 3000\ngrid_res = 60\n')"
run_case "no particles, no jets" "$(printf 'max_particles = 0\nmax_jets = 0\n')"
run_case "zero-size window" "$(printf 'win_width = 0\nwin_height = 0\n')"
echo "hostile parameter files survived: $tried played, all checked"
pass
