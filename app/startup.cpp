// startup.cpp -- the part of start-up that needs no window or sound device,
// shared by the program and by everything that drives it without a window
// (tests, benchmarks, fuzzers), so that both start from the same state.
#include "app/app.h"
#include "fluid/fluid.h"
#include "game/game.h"
#include "render/render.h"

#include <cstdio>
#include <cstdlib>

void load_program_state(void)
{
    game_load_parameters();
    load_solver_settings();
    load_working_copies();
    load_render_settings();
    game_reset_to_title();              // no sound yet: its requests do nothing
    init_flags();
    init_colors();
}

int allocate_storage(void)
{
    return allocate_grid() && allocate_draw_chunk() && allocate_particles() && allocate_jets();
}

int remake_grid_storage(int cols, int rows, int max_particles)
{
    int new_grid = cols != solver.grid_width || rows != solver.grid_height;
    int new_ring = max_particles != jet_settings.max_particles;
    // Everything new first, so that a failure leaves all as it was.
    GridStorage *grid = nullptr;
    Particle *ring = nullptr;
    if (new_grid && !(grid = make_grid_storage(cols, rows))) return 0;
    if (new_ring && !make_particle_ring(max_particles, &ring)) {
        discard_grid_storage(grid);
        return 0;
    }
    // The drawing's per-cell shades follow the grid's cell count.
    long long cells = ((long long)cols + 2) * ((long long)rows + 2);
    float *shade = nullptr;
    if (new_grid && !(shade = make_draw_shade(cells))) {
        discard_grid_storage(grid);
        free(ring);
        return 0;
    }
    if (shade) use_draw_shade(shade, cells);
    if (grid) use_grid_storage(grid);
    if (new_ring) use_particle_ring(ring, max_particles);
    params.grid_cols = cols;
    params.grid_rows = rows;
    params.max_particles = max_particles;
    load_render_settings();
    if (new_grid) {
        // Nothing placed on the old grid fits the new one, and the court is
        // the grid: the game starts over on its title page.
        clear_simulation();
        game.court_width = cols;
        game.court_height = rows;
        if (game_mode) {
            end_name_entry();
            score_saved = 0;
            game_reset_to_title();
        }
    }
    return 1;
}
