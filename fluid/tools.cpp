// tools.cpp -- what the mouse tools do to the fluid: stir a cell, ink a cell,
// paint or erase walls, sinks and shockwaves, and the completion of a jet
// placement. Which of them a button runs, in which mode, is the tool pass's
// choice (app/input.cpp).
#include "fluid/fluid.h"

// The particle-jet template: a streak that rides ten times the flow.
static const float JET_PARTICLE_SIZE = 4.0f;
static const float JET_PARTICLE_LIFE = 1000.0f;   // frames
static const float JET_PARTICLE_GAIN = 1.0f;
static const float JET_PARTICLE_SCALE = 10.0f;
static const int JET_PARTICLE_STYLE = 1;

void stir_cell(int i, int j, double drag_x, double drag_y)
{
    int k = cell_index(i, j);
    u_prev[k] = (float)drag_x * params.velocity_force;
    v_prev[k] = (float)drag_y * params.velocity_force;
}

void ink_cell(int i, int j, Color ink)
{
    set_density_source(i, j, params.density_source);
    set_color_source(i, j, ink.r, ink.g, ink.b, INK_ALPHA);
}

void sink_cell(int i, int j) { pressure_source[cell_index(i, j)] = SINK_PRESSURE; }

void shockwave_cell(int i, int j) { pressure_source[cell_index(i, j)] = SHOCKWAVE_PRESSURE; }

// The square reaches past the last column and row when (i, j) is near them;
// it is clipped to the arrays (the border ring included).
void paint_walls(int i, int j, int value)
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

void complete_jet_placement(int i, int j, int density_jet, int particle_jet)
{
    float amount = 0.0f;
    Color c = Color{0.0f, 0.0f, 0.0f, 0.0f};
    if (density_jet) {
        amount = JET_DENSITY_AMOUNT;
        c = random_hue_color();
    }
    Particle t = Particle{};
    if (particle_jet) {
        t.size = JET_PARTICLE_SIZE;
        t.life = JET_PARTICLE_LIFE;
        t.flow_gain = JET_PARTICLE_GAIN;
        t.flow_scale = JET_PARTICLE_SCALE;
        t.style = JET_PARTICLE_STYLE;
    }
    complete_jet(i, j, amount, c, t);
}
