// settings.cpp -- the drawing copies of the grid size, taken at start-up,
// and the memory of the vertex arrays. No GL here: start-up fills and
// allocates them before any window exists.
#include "render/render.h"

#include "fluid/fluid.h"

#include <cstdio>
#include <cstdlib>

int grid_cols, grid_rows;
float cell_w, cell_h;
void *draw_chunk;
float *draw_shade;
int draw_shade_cells;

void load_render_settings(void)
{
    grid_cols = params.grid_cols;
    grid_rows = params.grid_rows;
    cell_w = grid_cols > 0 ? 1.0f / (float)grid_cols : 0.0f;
    cell_h = grid_rows > 0 ? 1.0f / (float)grid_rows : 0.0f;
}

int allocate_draw_chunk(void)
{
    free_draw_chunk();
    draw_chunk = malloc((size_t)DRAW_CHUNK_VERTICES * sizeof(DepthVertex));
    size_t cells = solver.cell_count > 0 ? (size_t)solver.cell_count : 1;
    draw_shade = (float *)malloc(cells * 4 * sizeof(float));
    if (draw_shade) draw_shade_cells = solver.cell_count;
    if (!draw_chunk || !draw_shade) {
        printf("Error: cannot allocate drawing data!\n");
        return 0;
    }
    return 1;
}

void free_draw_chunk(void)
{
    free(draw_chunk);
    draw_chunk = nullptr;
    free(draw_shade);
    draw_shade = nullptr;
    draw_shade_cells = 0;
}
