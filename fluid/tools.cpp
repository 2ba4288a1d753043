// tools.cpp -- the mouse tools: stir, ink, walls, sinks, shockwaves, jets, and
// the player's paddle actions in the game. Owns jet_mode's open/close cycle
// and the previous mouse position seen over the grid.
#include "fluid/fluid.h"
#include "game/game.h"

// The particle-jet template: a streak that rides ten times the flow.
static const float JET_PARTICLE_SIZE = 4.0f;
static const float JET_PARTICLE_LIFE = 1000.0f;   // frames
static const float JET_PARTICLE_GAIN = 1.0f;
static const float JET_PARTICLE_SCALE = 10.0f;
static const int JET_PARTICLE_STYLE = 1;

int mouse_to_cell(int x, int y, int *i, int *j)
{
    if (win_width <= 0 || win_height <= 0) return 0;
    pixel_to_cell(x, win_width, solver.grid_width, i);
    pixel_to_cell((long double)win_height - y, win_height, solver.grid_height, j);
    return 1;
}

// Sets wall to value in the block_size square whose lower-left cell is
// (i, j), clipped to the arrays (the border ring included).
static void paint_walls(int i, int j, int value)
{
    long long b = params.block_size;
    if (b < 1) return;
    long long last_i = (long long)i + b - 1;
    long long last_j = (long long)j + b - 1;
    if (last_i > solver.grid_width + 1) last_i = solver.grid_width + 1;
    if (last_j > solver.grid_height + 1) last_j = solver.grid_height + 1;
    for (long long a = i; a <= last_i; a++)
        for (long long c = j; c <= last_j; c++)
            if (cell_in_array((int)a, (int)c)) wall[cell_index((int)a, (int)c)] = value;
}

// The player's paddle may act unless a running game is counting down a serve.
static int paddle_may_act(void) { return game.countdown <= 0 || !game.playing; }

static int jet_placement_allowed(void) { return !wall_mode && !game_mode && !pressure_mode; }

static void complete_placement(int i, int j)
{
    float amount = 0.0f;
    Color c = Color{0.0f, 0.0f, 0.0f, 0.0f};
    if (mouse_down[BUTTON_RIGHT]) {
        amount = JET_DENSITY_AMOUNT;
        c = random_hue_color();
    }
    Particle t = Particle{};
    if (mouse_down[BUTTON_LEFT]) {
        t.size = JET_PARTICLE_SIZE;
        t.life = JET_PARTICLE_LIFE;
        t.flow_gain = JET_PARTICLE_GAIN;
        t.flow_scale = JET_PARTICLE_SCALE;
        t.style = JET_PARTICLE_STYLE;
    }
    complete_jet(i, j, amount, c, t);
}

// One frame of the mouse tools. A mouse outside the grid does nothing and
// keeps the previous position, so the first pass back over the grid stirs
// with the whole excursion.
void tool_pass(void)
{
    int i, j;
    if (!mouse_to_cell(mouse_x, mouse_y, &i, &j)) return;
    if (i < 1 || i > solver.grid_width || j < 1 || j > solver.grid_height) return;
    if (!wall || !u_prev) return;
    int k = cell_index(i, j);
    int in_game = game_mode && !game.game_over;

    if (mouse_down[BUTTON_LEFT]) {
        if (in_game) {
            if (paddle_may_act()) shoot_plasma(PLAYER_ID);
        } else if (wall_mode) {
            paint_walls(i, j, CELL_WALL);
        } else if (pressure_mode) {
            pressure_source[k] = SINK_PRESSURE;
        } else {
            // The drag in pixels since the last pass, y pointing up.
            u_prev[k] = (float)((double)mouse_x - prev_mouse_x) * params.velocity_force;
            v_prev[k] = (float)((double)prev_mouse_y - mouse_y) * params.velocity_force;
        }
    }

    if (mouse_down[BUTTON_MIDDLE]) {
        if (jet_mode == 0 && jet_placement_allowed()) {
            open_jet(i, j);
            jet_mode = 1;
        }
    } else if (jet_mode == 1 && jet_placement_allowed()) {
        complete_placement(i, j);
        jet_mode = 0;
    }

    if (mouse_down[BUTTON_RIGHT]) {
        if (in_game) {
            if (paddle_may_act()) suck_ball(PLAYER_ID);
        } else if (wall_mode) {
            paint_walls(i, j, CELL_FLUID);
        } else if (pressure_mode) {
            pressure_source[k] = SHOCKWAVE_PRESSURE;
        } else {
            set_density_source(i, j, params.density_source);
            set_color_source(i, j, dye_color.r, dye_color.g, dye_color.b, INK_ALPHA);
        }
    } else if (player_paddle.held_frames > 1 && !game.game_over) {
        blast_ball(PLAYER_ID);
    }

    prev_mouse_x = mouse_x;
    prev_mouse_y = mouse_y;
}
