// settings.cpp -- the drawing copies of the grid size, taken at start-up.
// No GL here: start-up fills them before any window exists.
#include "render/render.h"

int grid_cols, grid_rows;
float cell_w, cell_h;

void load_render_settings(void)
{
    grid_cols = params.grid_cols;
    grid_rows = params.grid_rows;
    cell_w = grid_cols > 0 ? 1.0f / (float)grid_cols : 0.0f;
    cell_h = grid_rows > 0 ? 1.0f / (float)grid_rows : 0.0f;
}
