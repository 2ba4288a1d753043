// frame.cpp -- one frame of the program (the idle step), the hold that keeps
// a set frame rate, the frames left out while nobody could see them change,
// and the working copies of the parameters that the other modules keep. Owns
// the frame hold's period and deadline and the time of the last frame.
#include "app/app.h"
#include "replay/replay.h"
#include "fluid/fluid.h"
#include "game/game.h"
#include "sound/sound.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

static const int FPS_INTERVAL_MS = 1000;
static const long long NS_PER_S = 1000000000LL;
// Longest single sleep of the hold: the main loop serves window events
// between two idle calls, so input stays prompt even at one frame a second.
static const long long HOLD_SLICE_NS = 10000000LL;

// A paused picture changes only with input; one frame this often keeps the
// status lines (the frames-per-second figure) true.
static const int PAUSED_FRAME_MS = 1000;

long long frame_period_ns;
long long next_frame_ns;
static int last_frame_ms;           // elapsed time of the last frame made

int elapsed_since(int now_ms, int then_ms) { return (int)(int32_t)((uint32_t)now_ms - (uint32_t)then_ms); }

int clock_plus(int ms, int span_ms) { return (int)(int32_t)((uint32_t)ms + (uint32_t)span_ms); }

long long frame_period_for(int frame_rate)
{
    if (frame_rate <= 0) return 0;
    return NS_PER_S / frame_rate;
}

// Deadlines are absolute, so the rate does not drift with the time a frame
// takes or a sleep overshoots; only a frame more than a whole period late
// restarts the schedule, dropping the frames it missed instead of running
// them back to back.
long long frame_wait_ns(long long now_ns, long long period_ns, long long *next_ns)
{
    if (period_ns <= 0) return 0;
    if (now_ns < *next_ns) return *next_ns - now_ns;
    *next_ns += period_ns;
    if (*next_ns <= now_ns) *next_ns = now_ns + period_ns;
    return 0;
}

void load_working_copies(void)
{
    win_width = params.win_width;
    win_height = params.win_height;
    fullscreen = params.fullscreen;
    snprintf(full_res, sizeof full_res, "%s", params.full_res);
    frame_period_ns = frame_period_for(params.frame_rate);
    next_frame_ns = 0;

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

// With auto_pause, frames that could show nothing new are not made: none at
// all while the window is hidden, and while paused only those after an input
// or window event, those that show or end a notice, and one a second.
static int frame_wanted(void)
{
    // A replay makes the frames its recording made, whatever its viewer does.
    if (!params.auto_pause || replay_mode == REPLAY_PLAY || replay_mode == REPLAY_EXPORT) return 1;
    if (window_hidden) return 0;
    if (!paused || screen_dirty || screen_notice[0]) return 1;
    return elapsed_since(elapsed_ms(), last_frame_ms) >= PAUSED_FRAME_MS;
}

void on_idle(void)
{
    replay_idle();
    if (!frame_wanted()) {
        // Nothing to do: sleep a slice and let the main loop serve events.
        sleep_until_ns(monotonic_ns() + HOLD_SLICE_NS);
        return;
    }
    if (frame_period_ns > 0) {
        long long now = monotonic_ns();
        long long wait = frame_wait_ns(now, frame_period_ns, &next_frame_ns);
        if (wait > 0) {
            // Not yet due: sleep a slice and let the main loop serve input.
            sleep_until_ns(now + std::min(wait, HOLD_SLICE_NS));
            return;
        }
    }
    if (!replay_frame_begin()) return;
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
    if (elapsed_since(t, fps_time) > FPS_INTERVAL_MS) {
        fps = (float)(1000.0 / elapsed_since(t, fps_time) * frame_count);
        fps_time = t;
        frame_count = 0;
    }
    if (screen_notice[0] && elapsed_since(t, screen_notice_until_ms) >= 0) screen_notice[0] = 0;
    last_frame_ms = t;
    screen_dirty = 0;
    post_redisplay();
    replay_frame_end();
}

void clear_simulation(void)
{
    clear_grid();
    clear_particles();
    clear_jets();
    jet_mode = 0;
}
