// frame.cpp -- the idle call: the steps of the program that are due and the
// request to draw them, the pace that keeps a set frame rate (running late
// steps before drawing once), the frames left out while nobody could see
// them change, and the working copies of the parameters that the other
// modules keep. Owns the pace's period and deadline, the time of the last
// step and the mark of a step that is not drawn.
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
static int last_frame_ms;           // elapsed time of the last step made
static int step_undrawn;            // 1: the coming step is not drawn

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

int steps_due(long long now_ns, long long period_ns, long long *next_ns, int max_steps)
{
    if (period_ns <= 0) return 1;
    if (*next_ns == 0) {
        // The first step starts the schedule.
        *next_ns = now_ns + period_ns;
        return 1;
    }
    if (now_ns < *next_ns) return 0;
    long long late = (now_ns - *next_ns) / period_ns + 1;
    if (late > max_steps) {
        // Too far behind to catch up within one frame: run what a frame may
        // and start afresh, so that the lag does not pile up.
        *next_ns = now_ns + period_ns;
        return max_steps;
    }
    *next_ns += late * period_ns;
    return (int)late;
}

void on_step_undrawn(void)
{
    if (record_event(EVENT_UNDRAWN, 0, 0, 0, 0)) step_undrawn = 1;
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

// One step of the program: the fluid and the game move on by one frame's
// worth, the frames-per-second figure counts it when it is drawn, and a
// notice whose time is up goes. 0 when a replay has no step to run now.
static int run_step(void)
{
    if (!replay_frame_begin()) return 0;
    update_mouse_row();
    if (fullscreen) {
        fullscreen = 0;
        enter_fullscreen();
    }
    if (!paused) {
        tool_pass();
        apply_jets();
        if (particles_on > 0) move_particles();
        solver_step_budget_ns = frame_period_ns;
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
    if (!step_undrawn) frame_count += 1;
    step_undrawn = 0;
    int t = elapsed_ms();
    if (elapsed_since(t, fps_time) > FPS_INTERVAL_MS) {
        fps = (float)(1000.0 / elapsed_since(t, fps_time) * frame_count);
        fps_time = t;
        frame_count = 0;
    }
    if (screen_notice[0] && elapsed_since(t, screen_notice_until_ms) >= 0) screen_notice[0] = 0;
    last_frame_ms = t;
    screen_dirty = 0;
    replay_frame_end();
    return 1;
}

// How many steps this idle call runs, 0 for none yet. With a frame rate the
// program keeps its pace: the steps whose time has come, however long the
// drawing took, up to MAX_STEPS_PER_FRAME. A replay being watched draws every
// step it plays instead, and a paused program has nothing to catch up.
static int steps_now(void)
{
    if (frame_period_ns <= 0) return 1;
    long long now = monotonic_ns();
    long long wait;
    if (replay_mode == REPLAY_PLAY || replay_mode == REPLAY_EXPORT) {
        wait = frame_wait_ns(now, frame_period_ns, &next_frame_ns);
        if (wait == 0) return 1;
    } else {
        int steps = steps_due(now, frame_period_ns, &next_frame_ns, paused ? 1 : MAX_STEPS_PER_FRAME);
        if (steps > 0) return steps;
        wait = next_frame_ns - now;
    }
    // Not yet due: sleep a slice and let the main loop serve input.
    sleep_until_ns(now + std::min(wait, HOLD_SLICE_NS));
    return 0;
}

void on_idle(void)
{
    replay_idle();
    if (!frame_wanted()) {
        // Nothing to do: sleep a slice and let the main loop serve events.
        sleep_until_ns(monotonic_ns() + HOLD_SLICE_NS);
        return;
    }
    int steps = steps_now();
    if (steps == 0) return;
    // The events that came before this call are seen by the first step; the
    // steps before the last are not drawn, and the recording says so.
    for (int s = 0; s < steps; s++) {
        if (s < steps - 1) on_step_undrawn();
        if (!run_step()) {
            if (s == 0) return;
            break;
        }
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
