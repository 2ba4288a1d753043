// overlays.cpp -- velocity lines, vorticity lines and the velocity grid,
// drawn over the field view.
//
// All three visit the field views' lattice (i = 0..grid_cols, j =
// 0..grid_rows) anchored on the centre of cell (i, j), and add velocities and
// forces to view coordinates as they are. No state of their own; each
// leaves the line width at 1 and blending off.
#include "render/render.h"

#include "fluid/fluid.h"

#include <GL/gl.h>
#include <cmath>

static const float LINE_WIDTH = 1.0f;
static const int VELOCITY_DIRECTION_STYLE = 2;   // every line the same length
static const float DIRECTION_LINE_LENGTH = 0.1f;    // view units
static const float VORTICITY_LINE_GAIN = 7.0f;
static const float GRID_OFFSET_MAX = 0.1f;          // view units a grid side may move

// Additive lines of width 1 (glow over the field view), one glBegin for all.
static void begin_glow_lines(void)
{
    glLineWidth(LINE_WIDTH);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glBegin(GL_LINES);
}

static void end_lines(void)
{
    glEnd();
    glDisable(GL_BLEND);
}

void draw_velocity_lines(void)
{
    const int style = velocity_lines;
    begin_glow_lines();
    if (lattice_ready()) {
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
                glColor4f(0, 1, 0, 0.5f);
                glVertex2f(x, y);
                glColor4f(0, 0, 1, 0.5f);
                glVertex2f(x + du, y + dv);
            }
        }
    }
    end_lines();
}

void draw_vorticity_lines(void)
{
    begin_glow_lines();
    if (lattice_ready()) {
        const int stride = grid_cols + 2;
        for (int i = 0; i <= grid_cols; i++) {
            float x = ((float)i - 0.5f) * cell_w;
            for (int j = 0; j <= grid_rows; j++) {
                float y = ((float)j - 0.5f) * cell_h;
                int k = i + stride * j;
                glColor4f(1, 0, 0, 0.5f);
                glVertex2f(x, y);
                glColor4f(0.8f, 0.8f, 0.1f, 0.5f);
                glVertex2f(x + VORTICITY_LINE_GAIN * vort_force_u[k],
                           y + VORTICITY_LINE_GAIN * vort_force_v[k]);
            }
        }
    }
    end_lines();
}

static inline float clamp_offset(float d)
{
    if (d < -GRID_OFFSET_MAX) return -GRID_OFFSET_MAX;
    if (d > GRID_OFFSET_MAX) return GRID_OFFSET_MAX;
    return d;
}

// Each lattice square becomes a rectangle whose sides the flow pushes: left
// and right by u at its bottom corners, bottom and top by v at its left ones.
void draw_velocity_grid(void)
{
    glLineWidth(LINE_WIDTH);
    glBegin(GL_LINES);
    if (lattice_ready()) {
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
                glColor4f(0, 0, 1, 1);
                glVertex2f(l, b);
                glVertex2f(l, t);
                glVertex2f(l, t);
                glVertex2f(r, t);
                glColor4f(1, 0, 0, 1);
                glVertex2f(r, t);
                glVertex2f(r, b);
                glVertex2f(r, b);
                glVertex2f(l, b);
            }
        }
    }
    end_lines();
}
