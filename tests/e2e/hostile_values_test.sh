# Hostile parameter files: every key at 0, negative, non-numeric and huge values.
source "$(dirname "$0")/harness.sh" "$1" "$2"
source "$(dirname "$0")/hostile_params.sh"
copy_sounds
start_xvfb

run_case "every key 0" "$(all_keys 0)"
run_case "every key negative" "$(all_keys -7)"
run_case "every key non-numeric" "$(all_keys banana)"
run_case "every key huge except the grid" "$(all_keys 2147483647; echo 'grid_res = 40'; echo 'win_width = 800'; echo 'win_height = 600'; echo 'iterations = 20')"
run_case "every key huge, grid and tables sane" "$(all_keys 99999999; printf 'grid_res = 40\nmax_particles = 1000\nmax_jets = 20\niterations = 20\n')"
run_case "huge floats" "$(printf 'timestep = 1e38\nball_top_speed = 1e38\nball_accel = 1e30\nvelocity_force = 1e38\npaddle_blast = 1e38\n')"
echo "hostile parameter files survived: $tried played, all checked"
pass
