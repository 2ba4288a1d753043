// options.cpp -- the options page's settings: which parameters a player may
// change in the window, in what steps and ranges, when each takes effect and
// how it is put into effect; the page's keys and clicks, and the saving of
// each change into the parameter file. Owns the page's state. Drawing is in
// render/options.cpp; where things go on the page is in options_layout.cpp.
#include "app/app.h"
#include "fluid/fluid.h"
#include "game/game.h"
#include "render/render.h"
#include "replay/replay.h"

#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>

int options_shown;
int options_viewing;
int options_selected;
int options_page_count = 1;
char options_notice[OPTIONS_NOTICE_LEN];

const char *const option_group_names[OPTION_GROUPS] = {"Window", "Fluid", "Game", "Replays"};

// Every line of the page, group by group. The steps suit a player's
// stepping through the useful values; Page Up and Page Down go ten at once.
const OptionSetting option_settings[] = {
    {"fullscreen", offsetof(Params, fullscreen), "Full screen at start", "",
     "Open in full screen", OPTION_GROUP_WINDOW, OPTION_SWITCH, 1, 0, 1, APPLY_NEXT_START},
    {"frame_rate", offsetof(Params, frame_rate), "Frame rate", "frames/s",
     "Frames a second; 0 runs as fast as it can", OPTION_GROUP_WINDOW, OPTION_INT, 5, 0, 240,
     APPLY_AT_ONCE},
    {"auto_pause", offsetof(Params, auto_pause), "Auto pause", "",
     "Pause a game when the window is left", OPTION_GROUP_WINDOW, OPTION_SWITCH, 1, 0, 1,
     APPLY_AT_ONCE},
    {"fullscreen_window", offsetof(Params, fullscreen_window), "Full screen as a window", "",
     "F2 fills the screen where modes can't switch", OPTION_GROUP_WINDOW, OPTION_SWITCH, 1, 0, 1,
     APPLY_AT_ONCE},
    {"help_hint", offsetof(Params, help_hint), "Help hint", "",
     "\"H: keys and help\" on the title page", OPTION_GROUP_WINDOW, OPTION_SWITCH, 1, 0, 1,
     APPLY_AT_ONCE},

    {"grid_res", offsetof(Params, grid_cols), "Grid resolution", "cells",
     "Cells across and up: finer, slower", OPTION_GROUP_FLUID, OPTION_INT, 10, 20, 1000,
     APPLY_GRID},
    {"iterations", offsetof(Params, iterations), "Solver iterations", "",
     "Sweeps of the pressure solve: truer, slower", OPTION_GROUP_FLUID, OPTION_INT, 1, 1, 100,
     APPLY_NEXT_STEP},
    {"timestep", offsetof(Params, timestep), "Time step", "",
     "Simulated time per frame", OPTION_GROUP_FLUID, OPTION_FLOAT, 0.01, 0.01, 1, APPLY_NEXT_STEP},
    {"viscosity", offsetof(Params, viscosity), "Viscosity", "",
     "How thick the fluid is", OPTION_GROUP_FLUID, OPTION_FLOAT, 0.0001, 0, 0.01, APPLY_NEXT_STEP},
    {"diffusion", offsetof(Params, diffusion), "Diffusion", "",
     "How fast ink spreads by itself", OPTION_GROUP_FLUID, OPTION_FLOAT, 0.0001, 0, 0.01,
     APPLY_NEXT_STEP},
    {"dissipation", offsetof(Params, dissipation), "Dissipation", "",
     "Share of the ink lost each frame", OPTION_GROUP_FLUID, OPTION_FLOAT, 0.001, 0, 0.1,
     APPLY_NEXT_STEP},
    {"turbulance", offsetof(Params, turbulance), "Vorticity strength", "",
     "Curl kept alive by the v key", OPTION_GROUP_FLUID, OPTION_FLOAT, 0.5, 0, 50, APPLY_NEXT_STEP},
    {"velocity_force", offsetof(Params, velocity_force), "Stirring force", "",
     "Push of a left-button drag, per pixel", OPTION_GROUP_FLUID, OPTION_FLOAT, 1, 0, 100,
     APPLY_NEXT_STEP},
    {"density_source", offsetof(Params, density_source), "Ink amount", "",
     "Ink the right button puts in", OPTION_GROUP_FLUID, OPTION_FLOAT, 10, 0, 2000,
     APPLY_NEXT_STEP},
    {"gravity_force", offsetof(Params, gravity_force), "Gravity", "",
     "Pull on dense ink (g key)", OPTION_GROUP_FLUID, OPTION_FLOAT, 0.001, -0.1, 0.1,
     APPLY_NEXT_STEP},
    {"buoyancy_force", offsetof(Params, buoyancy_force), "Buoyancy", "",
     "Lift of ink (b key)", OPTION_GROUP_FLUID, OPTION_FLOAT, 0.001, -0.1, 0.1, APPLY_NEXT_STEP},
    {"jet_force", offsetof(Params, jet_force), "Jet force", "",
     "Push of each jet", OPTION_GROUP_FLUID, OPTION_FLOAT, 0.01, 0, 2, APPLY_NEXT_STEP},
    {"emitter_rate", offsetof(Params, emitter_rate), "Jet emitter rate", "",
     "Time between a jet's particles", OPTION_GROUP_FLUID, OPTION_FLOAT, 0.01, 0.01, 2,
     APPLY_NEXT_STEP},
    {"max_particles", offsetof(Params, max_particles), "Particles", "",
     "Particles kept at once", OPTION_GROUP_FLUID, OPTION_INT, 100, 0, 100000, APPLY_PARTICLES},

    {"max_lives", offsetof(Params, max_lives), "Lives", "",
     "Lives at the start of a game", OPTION_GROUP_GAME, OPTION_INT, 1, 1, 99, APPLY_NEXT_GAME},
    {"paddle_width", offsetof(Params, paddle_width), "Paddle width", "cells",
     "Columns of both paddles", OPTION_GROUP_GAME, OPTION_INT, 1, 1, 10, APPLY_NEXT_SERVE},
    {"paddle_height", offsetof(Params, paddle_height), "Paddle height", "cells",
     "Rows of both paddles", OPTION_GROUP_GAME, OPTION_INT, 1, 3, 60, APPLY_NEXT_SERVE},
    {"paddle_force", offsetof(Params, paddle_force), "Paddle force", "",
     "Push of the plasma jet (left button)", OPTION_GROUP_GAME, OPTION_FLOAT, 5, 0, 500,
     APPLY_NEXT_STEP},
    {"paddle_suck", offsetof(Params, paddle_suck), "Suck", "",
     "Pull while the right button is held", OPTION_GROUP_GAME, OPTION_FLOAT, 5, 0, 200,
     APPLY_NEXT_STEP},
    {"paddle_blast", offsetof(Params, paddle_blast), "Blast", "",
     "Push when the right button is let go", OPTION_GROUP_GAME, OPTION_FLOAT, 10, 0, 2000,
     APPLY_NEXT_STEP},
    {"ball_top_speed", offsetof(Params, ball_top_speed), "Ball top speed", "cells/frame",
     "Fastest the ball may move", OPTION_GROUP_GAME, OPTION_FLOAT, 0.1, 0.1, 10, APPLY_NEXT_STEP},

    {"record_replays", offsetof(Params, record_replays), "Record replays", "",
     "Record each session into replays/", OPTION_GROUP_REPLAYS, OPTION_SWITCH, 1, 0, 1,
     APPLY_NEXT_START},
};
const int OPTION_COUNT = (int)(sizeof option_settings / sizeof option_settings[0]);

const char *const option_when_words[APPLY_KINDS] = {
    "Takes effect at the next step",
    "Takes effect at once",
    "At once: a new, clear grid; game to title",
    "At once: the particles are cleared",
    "Takes effect at the next game",
    "Takes effect at the next serve or game",
    "Takes effect at the next start",
};

// A value of the parameter record as a double, and back.
static double field_value(const Params *p, int k)
{
    const char *field = (const char *)p + option_settings[k].offset;
    if (option_settings[k].type == OPTION_FLOAT) return *(const float *)field;
    return *(const int *)field;
}

static void set_field(Params *p, int k, double value)
{
    char *field = (char *)p + option_settings[k].offset;
    if (option_settings[k].type == OPTION_FLOAT)
        *(float *)field = (float)value;
    else
        *(int *)field = (int)std::lround(value);
}

double option_value(int k) { return field_value(&params, k); }

double option_default(int k)
{
    Params defaults;
    set_default_params(&defaults);
    return field_value(&defaults, k);
}

int option_key_row(int k) { return param_key_row(option_settings[k].key); }

int option_of_key_row(int row)
{
    for (int k = 0; k < OPTION_COUNT; k++)
        if (option_key_row(k) == row) return k;
    return -1;
}

void format_option_value(int k, double value, char *out, size_t size)
{
    if (option_settings[k].type != OPTION_FLOAT) {
        snprintf(out, size, "%d", (int)std::lround(value));
        return;
    }
    // The shortest plain decimal that reads back as the same float (as a
    // player writes it: 60, 0.0001); the exponent form only for a value
    // that would need more decimals than that.
    float f = (float)value;
    const int MAX_DECIMALS = 12, FLOAT_DIGITS = 9;
    for (int decimals = 0; decimals <= MAX_DECIMALS; decimals++) {
        snprintf(out, size, "%.*f", decimals, (double)f);
        if (strtof(out, nullptr) == f) return;
    }
    snprintf(out, size, "%.*g", FLOAT_DIGITS, (double)f);
}

void describe_option_value(int k, double value, char *out, size_t size)
{
    const OptionSetting &s = option_settings[k];
    char number[OPTION_VALUE_LEN];
    format_option_value(k, value, number, sizeof number);
    if (s.type == OPTION_SWITCH)
        snprintf(out, size, "%s", std::lround(value) ? "on" : "off");
    else if (s.offset == offsetof(Params, frame_rate) && std::lround(value) <= 0)
        snprintf(out, size, "unlimited");
    else if (s.apply == APPLY_GRID)
        snprintf(out, size, "%s x %s %s", number, number, s.unit);
    else if (s.unit[0])
        snprintf(out, size, "%s %s", number, s.unit);
    else
        snprintf(out, size, "%s", number);
}

void describe_option_range(int k, char *out, size_t size)
{
    const OptionSetting &s = option_settings[k];
    if (s.type == OPTION_SWITCH) {
        snprintf(out, size, "On or off");
        return;
    }
    char lo[OPTION_VALUE_LEN], hi[OPTION_VALUE_LEN], step[OPTION_VALUE_LEN];
    format_option_value(k, s.min, lo, sizeof lo);
    format_option_value(k, s.max, hi, sizeof hi);
    format_option_value(k, s.step, step, sizeof step);
    snprintf(out, size, "Range %s to %s, step %s", lo, hi, step);
}

// Puts the setting's new value (already in params) into effect as its
// line says. 0 when it could not be: the value in params is then the old one.
static int put_into_effect(int k, double old_value)
{
    const OptionSetting &s = option_settings[k];
    switch (s.apply) {
    case APPLY_GRID:
        if (!remake_grid_storage(params.grid_cols, params.grid_rows, jet_settings.max_particles)) {
            char size_text[OPTION_VALUE_LEN];
            format_option_value(k, option_value(k), size_text, sizeof size_text);
            snprintf(options_notice, sizeof options_notice,
                     "No memory for a %s x %s grid: the old one stays", size_text, size_text);
            set_field(&params, k, old_value);
            params.grid_rows = params.grid_cols;
            return 0;
        }
        return 1;
    case APPLY_PARTICLES:
        if (!remake_grid_storage(solver.grid_width, solver.grid_height, params.max_particles)) {
            snprintf(options_notice, sizeof options_notice,
                     "No memory for so many particles: the old ones stay");
            set_field(&params, k, old_value);
            return 0;
        }
        return 1;
    case APPLY_NEXT_SERVE:
        paddle_sizes_pending = 1;
        return 1;
    default:
        break;
    }
    // The working copies of everything else; the grid's size stays as it is.
    int cols = params.grid_cols, rows = params.grid_rows;
    params.grid_cols = solver.grid_width;
    params.grid_rows = solver.grid_height;
    load_solver_settings();
    params.grid_cols = cols;
    params.grid_rows = rows;
    jet_settings.timestep = params.timestep;
    jet_settings.jet_force = params.jet_force;
    jet_settings.emitter_rate = params.emitter_rate;
    // An export runs as fast as frames can be made, whatever the rate.
    if (replay_mode != REPLAY_EXPORT) frame_period_ns = frame_period_for(params.frame_rate);
    game.max_lives = params.max_lives;
    game.ball_top_speed = params.ball_top_speed;
    Paddle *paddles[2] = {&player_paddle, &opponent_paddle};
    for (Paddle *p : paddles) {
        p->force = params.paddle_force;
        p->suck = params.paddle_suck;
        p->blast = params.paddle_blast;
    }
    return 1;
}

int apply_option(int k, double value)
{
    if (k < 0 || k >= OPTION_COUNT) return 0;
    double old_value = option_value(k);
    set_field(&params, k, value);
    if (option_settings[k].apply == APPLY_GRID) params.grid_rows = params.grid_cols;
    if (option_settings[k].offset == offsetof(Params, frame_rate)) next_frame_ns = 0;
    return put_into_effect(k, old_value);
}

// Into the parameter file; a failure is told on the page and the console.
static void save_option(int k)
{
    if (!params_file_name[0]) return;
    char text[OPTION_VALUE_LEN];
    format_option_value(k, option_value(k), text, sizeof text);
    int err = save_param_value(params_file_name, option_key_row(k), text);
    if (err) {
        snprintf(options_notice, sizeof options_notice, "The options could not be saved: %s",
                 strerror(err));
        printf("Error: the options could not be saved to %s: %s\n", params_file_name, strerror(err));
    }
}

int options_set(int k, double value)
{
    // Watching a replay, the page only shows: the recording's own changes
    // come from its records.
    if (replay_mode == REPLAY_PLAY || replay_mode == REPLAY_EXPORT) return 0;
    if (k < 0 || k >= OPTION_COUNT) return 0;
    // A step past the end of the range, or the default of a setting at its
    // default, is no change: nothing is made anew, recorded or saved.
    Params changed = params;
    set_field(&changed, k, value);
    if (field_value(&changed, k) == option_value(k)) return 1;
    options_notice[0] = 0;
    if (!apply_option(k, value)) return 0;
    replay_record_option(k, option_value(k));
    save_option(k);
    return 1;
}

// The value steps away from value in the setting's steps, kept on its
// grid of steps and in its range.
double option_stepped(int k, double value, int steps)
{
    const OptionSetting &s = option_settings[k];
    if (s.type == OPTION_SWITCH) return steps > 0 ? 1 : 0;
    double v = std::round((value + steps * s.step) / s.step) * s.step;
    if (v < s.min) v = s.min;
    if (v > s.max) v = s.max;
    return v;
}

static const int PAGE_STEPS = 10;

// The page's keys; 1 when the key was the page's.
int options_key(unsigned char key)
{
    switch (key) {
    case 'o':
    case 'O':
    case OPTIONS_KEY_ESCAPE:
        options_shown = 0;
        return 1;
    case OPTIONS_KEY_BACKSPACE:
    case OPTIONS_KEY_DELETE:
        options_set(options_selected, option_default(options_selected));
        return 1;
    default:
        return 0;
    }
}

int options_special_key(int key)
{
    int steps = 0;
    switch (key) {
    case KEY_UP:
        options_selected = (options_selected + OPTION_COUNT - 1) % OPTION_COUNT;
        return 1;
    case KEY_DOWN:
        options_selected = (options_selected + 1) % OPTION_COUNT;
        return 1;
    case KEY_LEFT: steps = -1; break;
    case KEY_RIGHT: steps = 1; break;
    case KEY_PAGE_UP: steps = PAGE_STEPS; break;
    case KEY_PAGE_DOWN: steps = -PAGE_STEPS; break;
    default:
        return 0;
    }
    int k = options_selected;
    options_set(k, option_stepped(k, option_value(k), steps));
    return 1;
}

void options_click(int x, int y)
{
    int half;
    int k = option_at_pixel(win_width, win_height, options_selected, x, y, &half);
    if (k < 0) return;
    options_selected = k;
    if (half != 0) options_set(k, option_stepped(k, option_value(k), half));
}
