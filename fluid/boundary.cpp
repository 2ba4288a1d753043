// boundary.cpp -- the boundary rule: border ring and wall cells of one field.
// Velocity is mirrored at the four sides and stopped inside walls; scalars
// are copied outwards and take the mean of the surrounding fluid inside
// walls. Owns the list of wall cells that the solver step builds once per
// step, so that the rule need not search the wall field at every call.
#include "fluid/fluid.h"

#include <cstdlib>

// One interior wall cell and its fluid neighbours, in the order the rule
// visits them: right, left, up, down.
struct WallCell {
    int cell;
    int count;
    int next[4];
};

static WallCell *wall_cells;        // capacity: grid_width * grid_height
static int wall_cell_capacity;
static int wall_cell_count;
static int wall_cells_listed;       // 1 between list_wall_cells and forget_wall_cells

static int grid_usable(void)
{
    int w = solver.grid_width, h = solver.grid_height;
    return w >= 1 && h >= 1 && solver.cell_count == (w + 2) * (h + 2);
}

static void set_sides(float *f, int kind)
{
    int w = solver.grid_width, h = solver.grid_height;
    int stride = w + 2;
    for (int j = 1; j <= h; j++) {
        float *row = f + stride * j;
        row[0] = kind == BOUNDARY_U ? -row[1] : row[1];
        row[w + 1] = kind == BOUNDARY_U ? -row[w] : row[w];
    }
    float *bottom = f;
    float *top = f + stride * (h + 1);
    for (int i = 1; i <= w; i++) {
        bottom[i] = kind == BOUNDARY_V ? -bottom[i + stride] : bottom[i + stride];
        top[i] = kind == BOUNDARY_V ? -top[i - stride] : top[i - stride];
    }
    bottom[0] = 0.5f * (bottom[1] + bottom[stride]);
    top[0] = 0.5f * (top[1] + top[-stride]);
    bottom[w + 1] = 0.5f * (bottom[w] + bottom[w + 1 + stride]);
    top[w + 1] = 0.5f * (top[w] + top[w + 1 - stride]);
}

// Mean of the listed fluid neighbours, in visiting order; 0 without any.
static float wall_mean(const float *f, const int *next, int count)
{
    if (count < 1) return 0.0f;
    float sum = 0.0f;
    for (int n = 0; n < count; n++) sum += f[next[n]];
    return sum / count;
}

// Fluid neighbours of interior cell c (right, left, up, down); returns their
// number. Border cells count as fluid unless their own flag is set.
static int fluid_neighbours(int c, int next[4])
{
    int stride = solver.grid_width + 2;
    const int around[4] = {c + 1, c - 1, c + stride, c - stride};
    int count = 0;
    for (int n = 0; n < 4; n++)
        if (wall[around[n]] == CELL_FLUID) next[count++] = around[n];
    return count;
}

void set_boundary(float *f, int kind)
{
    if (!f || !grid_usable()) return;
    set_sides(f, kind);
    int stride = solver.grid_width + 2;
    if (wall_cells_listed) {
        for (int n = 0; n < wall_cell_count; n++) {
            const WallCell &wc = wall_cells[n];
            f[wc.cell] = (kind == BOUNDARY_U || kind == BOUNDARY_V)
                             ? 0.0f
                             : wall_mean(f, wc.next, wc.count);
        }
        return;
    }
    if (!wall) return;
    for (int j = 1; j <= solver.grid_height; j++) {
        for (int i = 1; i <= solver.grid_width; i++) {
            int c = i + stride * j;
            if (wall[c] == CELL_FLUID) continue;
            if (kind == BOUNDARY_U || kind == BOUNDARY_V) {
                f[c] = 0.0f;
            } else {
                int next[4];
                int count = fluid_neighbours(c, next);
                f[c] = wall_mean(f, next, count);
            }
        }
    }
}

int row_has_walls(const int *row, int n)
{
    int any = 0;
    for (int i = 0; i < n; i++) any |= row[i];
    return any != CELL_FLUID;
}

void list_wall_cells(void)
{
    wall_cells_listed = 0;
    wall_cell_count = 0;
    if (!wall || !grid_usable()) return;
    int w = solver.grid_width, h = solver.grid_height;
    int interior = w * h;
    if (wall_cell_capacity < interior) {
        free(wall_cells);
        wall_cells = (WallCell *)malloc((size_t)interior * sizeof(WallCell));
        wall_cell_capacity = wall_cells ? interior : 0;
        if (!wall_cells) return;    // the rule searches the wall field instead
    }
    int stride = w + 2;
    for (int j = 1; j <= h; j++) {
        const int *row = wall + stride * j;
        if (!row_has_walls(row + 1, w)) continue;
        for (int i = 1; i <= w; i++) {
            if (row[i] == CELL_FLUID) continue;
            WallCell &wc = wall_cells[wall_cell_count++];
            wc.cell = i + stride * j;
            wc.count = fluid_neighbours(wc.cell, wc.next);
        }
    }
    wall_cells_listed = 1;
}

void forget_wall_cells(void) { wall_cells_listed = 0; }
