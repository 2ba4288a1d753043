// startup.cpp -- the part of start-up that needs no window or sound device,
// shared by the program and by everything that drives it without a window
// (tests, benchmarks, fuzzers), so that both start from the same state.
#include "app/app.h"
#include "fluid/fluid.h"
#include "game/game.h"
#include "render/render.h"

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
