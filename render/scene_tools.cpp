// scene_tools.cpp -- walls and paddles, particles, and the two tool cursors
// of the solver mode (the aim line of a jet being placed, the wall brush).
// No state of its own; reads the wall grid, the particle ring and the jets.
// Walls and particles, which may be many, go through the vertex chunk.
#include "fluid/fluid.h"
#include "game/game.h"
#include "render/render.h"

#include <GL/gl.h>
#include <cmath>

static const float WALL_POINT_SIZE = 20.0f;    // pixels
static const Color WALL_COLOR = {0.6f, 0.2f, 0.0f, 0.8f};
static const float PADDLE_ALPHA = 0.6f;
static const float STREAK_DIM = 0.15f;         // streak strength during a game
static const float STREAK_LENGTH = 0.015f;     // view units per cell/frame of speed
static const float STREAK_MAX = 0.08f;         // view units, each axis
static const float BLUE_FLOOR = 0.8f;          // particle blue when still
static const float AIM_LINE_WIDTH = 3.0f;      // pixels
static const Color AIM_END_COLOR = {0.08f, 0.8f, 1.0f, 1.0f};
static const Color BRUSH_COLOR = {0.6f, 0.2f, 0.0f, 0.5f};

static void glow_blend(void)
{
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
}

static void smooth_points(void)
{
    glEnable(GL_POINT_SMOOTH);
    glHint(GL_POINT_SMOOTH_HINT, GL_DONT_CARE);
}

// Whole points and whole streaks a chunk holds.
static const int POINT_CHUNK_VERTICES = DRAW_CHUNK_VERTICES;
static const int STREAK_CHUNK_VERTICES = DRAW_CHUNK_VERTICES / 2 * 2;

// The wall cells drawn (columns 0..grid_cols, rows 0..grid_rows) in the
// order their points are sent: up each column, column by column. Walking the
// wall field up its columns misses the cache at every cell, so the field is
// read a row at a time and the cells are sorted by column (counting sort;
// a column keeps its cells bottom to top). Writes the cell indices to order,
// using found and column_start (grid_cols + 2) as scratch; returns how many.
static int order_wall_cells(int *order, int *found, int *column_start)
{
    const int stride = solver.grid_width + 2;
    const int columns = grid_cols + 1;
    int count = 0;
    for (int i = 0; i <= columns; i++) column_start[i] = 0;
    for (int j = 0; j <= grid_rows; j++) {
        const int *row = wall + stride * j;
        if (!row_has_walls(row, columns)) continue;
        for (int i = 0; i < columns; i++) {
            if (row[i] == CELL_FLUID) continue;
            found[count++] = i + stride * j;
            column_start[i + 1]++;
        }
    }
    for (int i = 0; i < columns; i++) column_start[i + 1] += column_start[i];
    for (int n = 0; n < count; n++) order[column_start[found[n] % stride]++] = found[n];
    return count;
}

// The scratch order_wall_cells needs: three ints a cell of the per-cell
// drawing buffer, which has four floats a cell.
static_assert(sizeof(int) == sizeof(float), "wall scratch shares the shade buffer");
static int walls_drawable(void)
{
    return wall && draw_chunk && draw_shade && draw_shade_cells == solver.cell_count &&
           solver.cell_count > 0 && grid_cols == solver.grid_width &&
           grid_rows == solver.grid_height;
}

// Walls and paddle cells as 20-pixel glowing points at each cell's upper-right
// corner (i * cell_w, j * cell_h); the last border column and row are skipped.
// The points go through the vertex chunk.
void draw_walls(void)
{
    glow_blend();
    smooth_points();
    glPointSize(WALL_POINT_SIZE);
    begin_chunk_arrays(2, 4);
    int n = 0;
    if (walls_drawable()) {
        const int stride = solver.grid_width + 2;
        int *order = (int *)draw_shade;
        int *found = order + solver.cell_count;
        int count = order_wall_cells(order, found, found + solver.cell_count);
        GlowVertex *chunk = (GlowVertex *)draw_chunk;
        for (int m = 0; m < count; m++) {
            const int k = order[m], i = k % stride, j = k / stride;
            Color c;
            if (wall[k] == CELL_WALL) {
                c = WALL_COLOR;
            } else if (wall[k] == CELL_PLAYER_PADDLE) {
                c = player_paddle.color;
                c.a = PADDLE_ALPHA;
            } else if (wall[k] == CELL_OPPONENT_PADDLE) {
                c = opponent_paddle.color;
                c.a = PADDLE_ALPHA;
            } else {
                continue;
            }
            chunk[n++] = GlowVertex{(float)i * cell_w, (float)j * cell_h, c.r, c.g, c.b, c.a};
            if (n == POINT_CHUNK_VERTICES) {
                draw_chunk_vertices(GL_POINTS, n);
                n = 0;
            }
        }
    }
    draw_chunk_vertices(GL_POINTS, n);
    end_chunk_arrays();
    glDisable(GL_BLEND);
}

static float clamp_streak(float d)
{
    if (d > STREAK_MAX) return STREAK_MAX;
    if (d < -STREAK_MAX) return -STREAK_MAX;
    return d;
}

// The run of particles waiting in the chunk: all points or all streaks,
// drawn at the point size or line width GL has when they are drawn.
struct ParticleRun {
    unsigned mode;              // GL_POINTS or GL_LINES
    int count;                  // vertices in the chunk
};

static void flush_run(ParticleRun *run)
{
    draw_chunk_vertices(run->mode, run->count);
    run->count = 0;
}

// Every slot of the ring, free ones included (they draw with alpha 0). Points
// fade with life / life_scale; streaks also dim while a game is on screen.
// Consecutive particles of one style whose size changes nothing go to GL in
// one run; a new style, a new size or a full chunk draws the run first, so
// every particle is drawn in ring order with the size it would have had.
void draw_particles(float life_scale)
{
    glow_blend();
    smooth_points();
    float dim = (game.playing || game.game_over) ? STREAK_DIM : 1.0f;
    int count = particle_ring && draw_chunk ? jet_settings.max_particles : 0;
    GlowVertex *chunk = (GlowVertex *)draw_chunk;
    ParticleRun run = {GL_POINTS, 0};
    // Sizes set in this call; 0 before the first (GL keeps the last one).
    float point_size = 0.0f, line_width = 0.0f;
    begin_chunk_arrays(2, 4);
    for (int s = 0; s < count; s++) {
        const Particle &p = particle_ring[s];
        float x = (p.x - 0.5f) * cell_w;
        float y = (p.y - 0.5f) * cell_h;
        float a = p.life >= 0.0f ? p.life / life_scale : 1.0f;
        float r = p.vx;
        float g = std::fabs(p.vx - p.vy);
        float b = p.vy + BLUE_FLOOR;
        // GL refuses sizes <= 0 and keeps the previous one; skipping the call
        // has the same effect without raising an error.
        if (p.style == 0) {
            int resize = p.size > 0.0f && p.size != point_size;
            if (run.mode != GL_POINTS || resize || run.count == POINT_CHUNK_VERTICES) flush_run(&run);
            run.mode = GL_POINTS;
            if (resize) {
                point_size = p.size;
                glPointSize(p.size);
            }
            chunk[run.count++] = GlowVertex{x, y, r, g, b, a};
        } else if (p.style == 1) {
            int resize = p.size > 0.0f && p.size != line_width;
            if (run.mode != GL_LINES || resize || run.count == STREAK_CHUNK_VERTICES) flush_run(&run);
            run.mode = GL_LINES;
            if (resize) {
                line_width = p.size;
                glLineWidth(p.size);
            }
            float dx = clamp_streak(STREAK_LENGTH * p.vx);
            float dy = clamp_streak(STREAK_LENGTH * p.vy);
            chunk[run.count++] = GlowVertex{x, y, r, g, b, dim * a};
            chunk[run.count++] = GlowVertex{x + dx, y + dy, r, g, b, 0.0f};
        }
    }
    flush_run(&run);
    end_chunk_arrays();
    glDisable(GL_BLEND);
}

// From the centre of the cell where the jet being placed starts (white) to
// the centre of the mouse cell. Blending is off here.
void draw_jet_aim(int mx, int my)
{
    if (!jet_table || jet_count < 0 || jet_count >= jet_settings.max_jets) return;
    const Jet &jet = jet_table[jet_count];
    glLineWidth(AIM_LINE_WIDTH);
    glBegin(GL_LINES);
    glColor3f(1.0f, 1.0f, 1.0f);
    glVertex2f(((float)jet.col - 0.5f) * cell_w, ((float)jet.row - 0.5f) * cell_h);
    glColor3f(AIM_END_COLOR.r, AIM_END_COLOR.g, AIM_END_COLOR.b);
    glVertex2f(((float)mx - 0.5f) * cell_w, ((float)my - 0.5f) * cell_h);
    glEnd();
}

// The block_size square the wall tools would paint, from the centre of the
// mouse cell to the right and up.
void draw_wall_brush(int mx, int my)
{
    float x0 = ((float)mx - 0.5f) * cell_w;
    float y0 = ((float)my - 0.5f) * cell_h;
    float side_x = (float)params.block_size * cell_w;
    float side_y = (float)params.block_size * cell_h;
    glow_blend();
    glBegin(GL_QUADS);
    glColor4f(BRUSH_COLOR.r, BRUSH_COLOR.g, BRUSH_COLOR.b, BRUSH_COLOR.a);
    glVertex2f(x0, y0);
    glVertex2f(x0 + side_x, y0);
    glVertex2f(x0 + side_x, y0 + side_y);
    glVertex2f(x0, y0 + side_y);
    glEnd();
    glDisable(GL_BLEND);
}
