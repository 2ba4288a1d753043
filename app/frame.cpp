// frame.cpp -- one frame of the program (the idle step) and the working
// copies of the parameters that the other modules keep.
#include "app/app.h"
#include "fluid/fluid.h"
#include "game/game.h"
#include "sound/sound.h"

#include <cstring>

static const int FPS_INTERVAL_MS = 1000;

void load_working_copies(void)
{
    win_width = params.win_width;
    win_height = params.win_height;
    fullscreen = params.fullscreen;
    snprintf(full_res, sizeof full_res, "%s", params.full_res);

    jet_settings.max_particles = params.max_particles;
    jet_settings.max_jets = params.max_jets;
    jet_settings.timestep = params.timestep;
    jet_settings.jet_force = params.jet_force;
    jet_settings.emitter_rate = params.emitter_rate;
}

// Grid row under the mouse, counted from the bottom (1 = first interior
// row). A window without height keeps the last row.
static void update_mouse_row(void)
{
    pixel_to_cell((long double)win_height - mouse_y, win_height, params.grid_rows, &mouse_row);
}

void on_idle(void)
{
    update_mouse_row();
    if (fullscreen) {
        fullscreen = 0;
        enter_fullscreen();
    }
    if (!paused) {
        tool_pass();
        apply_jets();
        if (particles_on > 0) move_particles();
        solver_step();
        if (game_mode) {
            if (game.game_over == 0)
                move_paddle((float)mouse_row - player_paddle.y, PLAYER_ID);
            else if (game.final_rank > 0 && score_saved == 0 && name_entry == 0)
                begin_name_entry();
            game_update();
        }
        sound_update();
    }
    frame_count += 1;
    int t = elapsed_ms();
    if (t - fps_time > FPS_INTERVAL_MS) {
        fps = (float)(1000.0 / (t - fps_time) * frame_count);
        fps_time = t;
        frame_count = 0;
    }
    post_redisplay();
}

void clear_simulation(void)
{
    clear_grid();
    clear_particles();
    clear_jets();
    jet_mode = 0;
}
