// fields.cpp -- the seven field views: plasma, 3-D density, velocity,
// pressure, divergence, curl and dye.
//
// Every view draws the same quad lattice: for i = 0..grid_cols (outer) and
// j = 0..grid_rows (inner) one quad joining the centres of cells (i, j),
// (i + 1, j), (i + 1, j + 1) and (i, j + 1), each corner coloured from its
// own cell, so the border ring is read too and neighbouring quads share
// their corner colours. Smooth shading does the rest. Every view adds onto
// the picture, so quads too faint to change a pixel are left out (see
// faint_limit). No state of its own.
#include "render/render.h"

#include "fluid/fluid.h"
#include "game/game.h"

#include <GL/gl.h>
#include <cmath>

// Colour maps of the simple views: field value to colour scale.
static const float VELOCITY_GAIN = 10.0f;
static const float PRESSURE_GAIN = 4000.0f;
static const float DIVERGENCE_GAIN = 15000.0f;
static const float DYE_GAIN = 2.0f;

// Plasma view: density and speed brighten with the level; the pressure term
// is 2 plus (player's half) or minus (opponent's half) the frames a paddle
// has held the ball.
static const float PLASMA_DENSITY_PER_LEVEL = 0.2f, PLASMA_DENSITY_BASE = 1.0f;
static const float PLASMA_SPEED_PER_LEVEL = 0.1f, PLASMA_SPEED_BASE = 0.2f;
static const float PLASMA_DENSITY_MAX = 30.0f;
static const float PLASMA_PRESSURE_BASE = 2.0f;
static const float PLASMA_V_RED_SHARE = 20.0f;     // vertical speed adds 1/20 of itself to red

// 3-D density view: half the density is the height, damped during play.
static const float DEPTH_DENSITY_SHARE = 0.5f;
static const float DEPTH_PLAY_DAMPING = 0.3f;
static const float DEPTH_DENSITY_MAX = 5.0f;

// Pixel formats up to this many bits per channel are taken as fixed point.
static const int MAX_FIXED_POINT_BITS = 16;
// Just under half a step of a fixed-point channel, so that rounding of the
// limit itself cannot reach the half.
static const float HALF_STEP_MARGIN = 0.49f;

int lattice_ready(void)
{
    return solver.cell_count > 0 && grid_cols == solver.grid_width &&
           grid_rows == solver.grid_height && u && v && dens && color && pressure &&
           divergence && curl && vort_force_u && vort_force_v;
}

struct Rgb {
    float r, g, b;
};

// Every view adds its quads onto the picture. A colour component at most this
// large rounds to nothing in the window's fixed-point pixels (under half a
// step), so a quad whose corners are all that faint leaves every pixel as it
// was and is not sent at all: the picture stays the same, the software
// rasterizer is spared most of an empty or calm field. 0 when the pixel
// format is not known to be fixed point.
static float faint_limit(void)
{
    GLint r = 0, g = 0, b = 0;
    glGetIntegerv(GL_RED_BITS, &r);
    glGetIntegerv(GL_GREEN_BITS, &g);
    glGetIntegerv(GL_BLUE_BITS, &b);
    GLint bits = r > g ? r : g;
    if (b > bits) bits = b;
    if (bits <= 0 || bits > MAX_FIXED_POINT_BITS) return 0.0f;
    return HALF_STEP_MARGIN / (float)((1 << bits) - 1);
}

static inline int faint(const Rgb &c, float limit)
{
    return c.r <= limit && c.g <= limit && c.b <= limit;
}

static inline Rgb shade_velocity(int k)
{
    float s = VELOCITY_GAIN * u[k];
    float t = VELOCITY_GAIN * v[k];
    return Rgb{s - t, s, t};
}

static inline Rgb shade_pressure(int k)
{
    float p = PRESSURE_GAIN * pressure[k];
    return Rgb{-p, -p / 5.0f, p};
}

static inline Rgb shade_divergence(int k)
{
    float d = DIVERGENCE_GAIN * divergence[k];
    return Rgb{d, -d / 3.0f, -d / 2.0f};
}

static inline Rgb shade_curl(int k)
{
    float c = curl[k];
    return Rgb{-c / 2.0f, c / 2.0f, c / 4.0f};
}

static inline Rgb shade_dye(int k)
{
    float d = DYE_GAIN * dens[k];
    return Rgb{d * color[k].r, d * color[k].g, d * color[k].b};
}

// The quad of lattice point (x, y) with its corners' colours, in the
// lattice order: bottom left, bottom right, top right, top left.
static inline void emit_quad(float x, float y, float w, float h, const Rgb &c0, const Rgb &c1,
                             const Rgb &c2, const Rgb &c3)
{
    glColor3f(c0.r, c0.g, c0.b);
    glVertex2f(x, y);
    glColor3f(c1.r, c1.g, c1.b);
    glVertex2f(x + w, y);
    glColor3f(c2.r, c2.g, c2.b);
    glVertex2f(x + w, y + h);
    glColor3f(c3.r, c3.g, c3.b);
    glVertex2f(x, y + h);
}

// One additive pass over the lattice with the per-cell colour map `shade`.
// Going up a column, a quad's top corners are the next quad's bottom ones.
template <Rgb (*shade)(int)>
static void draw_lattice(void)
{
    if (!lattice_ready()) return;
    const int stride = grid_cols + 2;
    const float w = cell_w, h = cell_h;
    const float limit = faint_limit();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glBegin(GL_QUADS);
    for (int i = 0; i <= grid_cols; i++) {
        float x = ((float)i - 0.5f) * w;
        Rgb c0 = shade(i), c1 = shade(i + 1);
        for (int j = 0; j <= grid_rows; j++) {
            float y = ((float)j - 0.5f) * h;
            int k = i + stride * (j + 1);
            Rgb c3 = shade(k), c2 = shade(k + 1);
            if (!(faint(c0, limit) && faint(c1, limit) && faint(c2, limit) && faint(c3, limit)))
                emit_quad(x, y, w, h, c0, c1, c2, c3);
            c0 = c3;
            c1 = c2;
        }
    }
    glEnd();
    glDisable(GL_BLEND);
}

void draw_velocity_shader(void) { draw_lattice<shade_velocity>(); }
void draw_pressure_shader(void) { draw_lattice<shade_pressure>(); }
void draw_divergence_shader(void) { draw_lattice<shade_divergence>(); }
void draw_curl_shader(void) { draw_lattice<shade_curl>(); }
void draw_dye_shader(void) { draw_lattice<shade_dye>(); }

static inline Rgb shade_plasma(int k, float dscale, float vscale, float a)
{
    float d = dens[k] * dscale;
    if (d > PLASMA_DENSITY_MAX) d = PLASMA_DENSITY_MAX;
    float su = fabsf(u[k] * vscale);
    float sv = fabsf(v[k] * vscale);
    float p = pressure[k] * a;
    return Rgb{color[k].r * d + su + sv / PLASMA_V_RED_SHARE, color[k].g * d + sv + p,
               color[k].b * d + sv - p};
}

void draw_plasma_shader(void)
{
    if (!lattice_ready()) return;
    const int stride = grid_cols + 2;
    const float w = cell_w, h = cell_h;
    const float level = (float)game.level;
    const float dscale = PLASMA_DENSITY_PER_LEVEL * level + PLASMA_DENSITY_BASE;
    const float vscale = PLASMA_SPEED_PER_LEVEL * level + PLASMA_SPEED_BASE;
    const float player_a = PLASMA_PRESSURE_BASE + (float)player_paddle.held_frames;
    const float opponent_a = PLASMA_PRESSURE_BASE - (float)opponent_paddle.held_frames;
    const int half = grid_cols / 2;
    const float limit = faint_limit();
    glEnable(GL_BLEND);
    // With alpha 1 this adds onto the black background.
    glBlendFunc(GL_SRC_ALPHA, GL_SRC_ALPHA);
    glBegin(GL_QUADS);
    for (int i = 0; i <= grid_cols; i++) {
        float x = ((float)i - 0.5f) * w;
        // The quad's column picks the half; all four corners share it.
        float a = i < half ? player_a : opponent_a;
        Rgb c0 = shade_plasma(i, dscale, vscale, a), c1 = shade_plasma(i + 1, dscale, vscale, a);
        for (int j = 0; j <= grid_rows; j++) {
            float y = ((float)j - 0.5f) * h;
            int k = i + stride * (j + 1);
            Rgb c3 = shade_plasma(k, dscale, vscale, a);
            Rgb c2 = shade_plasma(k + 1, dscale, vscale, a);
            if (!(faint(c0, limit) && faint(c1, limit) && faint(c2, limit) && faint(c3, limit)))
                emit_quad(x, y, w, h, c0, c1, c2, c3);
            c0 = c3;
            c1 = c2;
        }
    }
    glEnd();
    glDisable(GL_BLEND);
}

// Height of one corner of the 3-D density view.
static inline float depth_of(int k, int damped)
{
    float d = DEPTH_DENSITY_SHARE * dens[k];
    if (damped) d *= DEPTH_PLAY_DAMPING;
    if (d > DEPTH_DENSITY_MAX) d = DEPTH_DENSITY_MAX;
    return d;
}

// Alpha 1 - 1/d: invisible up to d = 1. At d = 0 the limit (minus infinity,
// clamped by GL to 0) is used directly rather than dividing by zero.
static inline float depth_alpha(float d) { return d == 0.0f ? 0.0f : 1.0f - 1.0f / d; }

// One sheet of a 3-D density quad: corner heights d, alphas a, hue c, and
// the sign of the heights (+1 upper sheet, -1 lower sheet).
static inline void emit_sheet(float x0, float y0, float x1, float y1, const float d[4],
                              const float a[4], const float c[3], float z_scale)
{
    glColor4f(d[0] * c[0], d[0] * c[1], d[0] * c[2], a[0]);
    glVertex3f(x0, y0, z_scale * d[0]);
    glColor4f(d[1] * c[0], d[1] * c[1], d[1] * c[2], a[1]);
    glVertex3f(x1, y0, z_scale * d[1]);
    glColor4f(d[2] * c[0], d[2] * c[1], d[2] * c[2], a[2]);
    glVertex3f(x1, y1, z_scale * d[2]);
    glColor4f(d[3] * c[0], d[3] * c[1], d[3] * c[2], a[3]);
    glVertex3f(x0, y1, z_scale * d[3]);
}

// 1 when a sheet adds nothing: every corner's alpha or every corner's colour
// is below the faint limit.
static inline int sheet_faint(const float d[4], const float a[4], const float c[3], float limit)
{
    if (a[0] <= limit && a[1] <= limit && a[2] <= limit && a[3] <= limit) return 1;
    for (int n = 0; n < 4; n++)
        if (d[n] * c[0] > limit || d[n] * c[1] > limit || d[n] * c[2] > limit) return 0;
    return 1;
}

void draw_density_depth(void)
{
    if (!lattice_ready()) return;
    const int stride = grid_cols + 2;
    const float w = cell_w, h = cell_h;
    const int damped = game.playing != 0;
    const float depth = (float)density_depth;
    const float limit = faint_limit();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glBegin(GL_QUADS);
    for (int i = 0; i <= grid_cols; i++) {
        float x0 = ((float)i - 0.5f) * w;
        float x1 = x0 + w;
        for (int j = 0; j <= grid_rows; j++) {
            float y0 = ((float)j - 0.5f) * h;
            float y1 = y0 + h;
            int k = i + stride * j;
            const float d[4] = {depth_of(k, damped), depth_of(k + 1, damped),
                                depth_of(k + 1 + stride, damped), depth_of(k + stride, damped)};
            const float a[4] = {depth_alpha(d[0]), depth_alpha(d[1]), depth_alpha(d[2]),
                                depth_alpha(d[3])};
            // The upper sheet in the first hue, then its mirror below in the
            // second.
            if (!sheet_faint(d, a, plasma_color1, limit))
                emit_sheet(x0, y0, x1, y1, d, a, plasma_color1, depth);
            if (!sheet_faint(d, a, plasma_color2, limit))
                emit_sheet(x0, y0, x1, y1, d, a, plasma_color2, -depth);
        }
    }
    glEnd();
    glDisable(GL_BLEND);
}
