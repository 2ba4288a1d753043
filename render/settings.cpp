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
static int corners_made;            // 1 while lattice_corners match the grid

void load_render_settings(void)
{
    corners_made = 0;
    grid_cols = params.grid_cols;
    grid_rows = params.grid_rows;
    cell_w = grid_cols > 0 ? 1.0f / (float)grid_cols : 0.0f;
    cell_h = grid_rows > 0 ? 1.0f / (float)grid_rows : 0.0f;
}

float *make_draw_shade(long long cells)
{
    if (cells < 1) cells = 1;
    // A quad for every cell but the last column and row of the ring.
    float *shade = (float *)malloc((size_t)cells * (DRAW_SHADE_FLOATS + DRAW_CORNER_FLOATS) *
                                   sizeof(float));
    if (!shade) printf("Error: cannot allocate drawing data!\n");
    return shade;
}

void use_draw_shade(float *shade, long long cells)
{
    free(draw_shade);
    draw_shade = shade;
    draw_shade_cells = shade ? (int)cells : 0;
    corners_made = 0;
}

int allocate_draw_chunk(void)
{
    free_draw_chunk();
    draw_chunk = malloc((size_t)DRAW_CHUNK_VERTICES * sizeof(DepthVertex));
    if (!draw_chunk) {
        printf("Error: cannot allocate drawing data!\n");
        return 0;
    }
    float *shade = make_draw_shade(solver.cell_count);
    use_draw_shade(shade, solver.cell_count);
    return shade != nullptr;
}

void free_draw_chunk(void)
{
    free(draw_chunk);
    draw_chunk = nullptr;
    use_draw_shade(nullptr, 0);
}

const float *lattice_corners(void)
{
    float *xy = draw_shade + (size_t)draw_shade_cells * DRAW_SHADE_FLOATS;
    if (corners_made) return xy;
    const float w = cell_w, h = cell_h;
    float *q = xy;
    for (int i = 0; i <= grid_cols; i++) {
        float x = ((float)i - 0.5f) * w;
        for (int j = 0; j <= grid_rows; j++) {
            float y = ((float)j - 0.5f) * h;
            const float corners[DRAW_CORNER_FLOATS] = {x, y, x + w, y, x + w, y + h, x, y + h};
            for (int n = 0; n < DRAW_CORNER_FLOATS; n++) q[n] = corners[n];
            q += DRAW_CORNER_FLOATS;
        }
    }
    corners_made = 1;
    return xy;
}
