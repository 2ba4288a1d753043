// overlays.cpp -- velocity lines, vorticity lines and the velocity grid,
// drawn over the field view.
//
// All three visit the field views' lattice (i = 0..grid_cols, j =
// 0..grid_rows) anchored on the centre of cell (i, j), and add velocities and
// forces to view coordinates as they are, through the vertex chunk, vertex
// for vertex as the plain glColor/glVertex calls would send them. No state
// of their own; each leaves the line width at 1 and blending off.
#include "render/render.h"

#include "fluid/fluid.h"

#include <GL/gl.h>
#include <cmath>

static const float LINE_WIDTH = 1.0f;
static const int VELOCITY_DIRECTION_STYLE = 2;   // every line the same length
static const float DIRECTION_LINE_LENGTH = 0.1f;    // view units
static const float VORTICITY_LINE_GAIN = 7.0f;
static const float GRID_OFFSET_MAX = 0.1f;          // view units a grid side may move

// Whole lines and whole grid rectangles a chunk holds.
static const int LINE_CHUNK_VERTICES = DRAW_CHUNK_VERTICES / 2 * 2;
static const int GRID_CHUNK_VERTICES = DRAW_CHUNK_VERTICES / 8 * 8;

// Additive lines of width 1 (glow over the field view), through the chunk.
static void begin_glow_lines(void)
{
    glLineWidth(LINE_WIDTH);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    begin_chunk_arrays(2, 4);
}

// Draws what the chunk still holds.
static void end_lines(int n)
{
    draw_chunk_vertices(GL_LINES, n);
    end_chunk_arrays();
    glDisable(GL_BLEND);
}

// One line from (x0, y0) in colour a to (x1, y1) in colour b; draws the
// chunk once it is full. Returns the vertices the chunk now holds.
static inline int put_line(GlowVertex *chunk, int n, float x0, float y0, const Color &a, float x1,
                           float y1, const Color &b)
{
    chunk[n] = GlowVertex{x0, y0, a.r, a.g, a.b, a.a};
    chunk[n + 1] = GlowVertex{x1, y1, b.r, b.g, b.b, b.a};
    n += 2;
    if (n == LINE_CHUNK_VERTICES) {
        draw_chunk_vertices(GL_LINES, n);
        n = 0;
    }
    return n;
}

static const Color VELOCITY_ROOT = {0, 1, 0, 0.5f}, VELOCITY_TIP = {0, 0, 1, 0.5f};
static const Color VORTICITY_ROOT = {1, 0, 0, 0.5f}, VORTICITY_TIP = {0.8f, 0.8f, 0.1f, 0.5f};
static const Color GRID_LEFT_TOP = {0, 0, 1, 1}, GRID_RIGHT_BOTTOM = {1, 0, 0, 1};

void draw_velocity_lines(void)
{
    const int style = velocity_lines;
    int n = 0;
    begin_glow_lines();
    if (lattice_ready()) {
        GlowVertex *chunk = (GlowVertex *)draw_chunk;
        const int stride = grid_cols + 2;
        for (int i = 0; i <= grid_cols; i++) {
            float x = ((float)i - 0.5f) * cell_w;
            for (int j = 0; j <= grid_rows; j++) {
                float y = ((float)j - 0.5f) * cell_h;
                int k = i + stride * j;
                float du = u[k], dv = v[k];
                if (style == VELOCITY_DIRECTION_STYLE) {
                    float length_sq = du * du + dv * dv;
                    // No direction to show (still cell, or a length below
                    // single precision): no line rather than a division by 0.
                    if (!(length_sq > 0.0f)) continue;
                    float s = (float)(1.0f / sqrtf(length_sq)) * DIRECTION_LINE_LENGTH;
                    du = du * s;
                    dv = dv * s;
                }
                n = put_line(chunk, n, x, y, VELOCITY_ROOT, x + du, y + dv, VELOCITY_TIP);
            }
        }
    }
    end_lines(n);
}

void draw_vorticity_lines(void)
{
    int n = 0;
    begin_glow_lines();
    if (lattice_ready()) {
        GlowVertex *chunk = (GlowVertex *)draw_chunk;
        const int stride = grid_cols + 2;
        for (int i = 0; i <= grid_cols; i++) {
            float x = ((float)i - 0.5f) * cell_w;
            for (int j = 0; j <= grid_rows; j++) {
                float y = ((float)j - 0.5f) * cell_h;
                int k = i + stride * j;
                n = put_line(chunk, n, x, y, VORTICITY_ROOT, x + VORTICITY_LINE_GAIN * vort_force_u[k],
                             y + VORTICITY_LINE_GAIN * vort_force_v[k], VORTICITY_TIP);
            }
        }
    }
    end_lines(n);
}

static inline float clamp_offset(float d)
{
    if (d < -GRID_OFFSET_MAX) return -GRID_OFFSET_MAX;
    if (d > GRID_OFFSET_MAX) return GRID_OFFSET_MAX;
    return d;
}

static inline GlowVertex grid_vertex(float x, float y, const Color &c)
{
    return GlowVertex{x, y, c.r, c.g, c.b, c.a};
}

// Each lattice square becomes a rectangle whose sides the flow pushes: left
// and right by u at its bottom corners, bottom and top by v at its left ones.
// Drawn without blending.
void draw_velocity_grid(void)
{
    int n = 0;
    glLineWidth(LINE_WIDTH);
    begin_chunk_arrays(2, 4);
    if (lattice_ready()) {
        GlowVertex *chunk = (GlowVertex *)draw_chunk;
        const int stride = grid_cols + 2;
        for (int i = 0; i <= grid_cols; i++) {
            float left = ((float)i - 0.5f) * cell_w;
            float right = ((float)i + 0.5f) * cell_w;
            for (int j = 0; j <= grid_rows; j++) {
                int k = i + stride * j;
                float l = left + clamp_offset(u[k]);
                float r = right + clamp_offset(u[k + 1]);
                float b = ((float)j - 0.5f) * cell_h + clamp_offset(v[k]);
                float t = ((float)j + 0.5f) * cell_h + clamp_offset(v[k + stride]);
                GlowVertex *q = chunk + n;
                q[0] = grid_vertex(l, b, GRID_LEFT_TOP);
                q[1] = grid_vertex(l, t, GRID_LEFT_TOP);
                q[2] = grid_vertex(l, t, GRID_LEFT_TOP);
                q[3] = grid_vertex(r, t, GRID_LEFT_TOP);
                q[4] = grid_vertex(r, t, GRID_RIGHT_BOTTOM);
                q[5] = grid_vertex(r, b, GRID_RIGHT_BOTTOM);
                q[6] = grid_vertex(r, b, GRID_RIGHT_BOTTOM);
                q[7] = grid_vertex(l, b, GRID_RIGHT_BOTTOM);
                n += 8;
                if (n == GRID_CHUNK_VERTICES) {
                    draw_chunk_vertices(GL_LINES, n);
                    n = 0;
                }
            }
        }
    }
    draw_chunk_vertices(GL_LINES, n);
    end_chunk_arrays();
    glDisable(GL_BLEND);
}
