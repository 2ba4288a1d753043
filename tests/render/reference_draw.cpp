// reference_draw.cpp -- the drawings that send vertices per cell or per
// particle, written out plainly: one glColor and one glVertex call per
// vertex between glBegin and glEnd, as the program drew them before its
// vertex arrays. The pixel comparison draws every view and overlay both
// ways. Shares nothing with the program's drawing but the fields, the flags
// and the drawing copies of the grid size.
#include "tests/render/reference_draw.h"

#include "fluid/fluid.h"
#include "game/game.h"
#include "render/render.h"

#include <GL/gl.h>
#include <GL/glut.h>
#include <cmath>

namespace reference_draw {

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

int lattice_ready(void)
{
    return solver.cell_count > 0 && grid_cols == solver.grid_width &&
           grid_rows == solver.grid_height && u && v && dens && color && pressure &&
           divergence && curl && vort_force_u && vort_force_v;
}

struct Rgb {
    float r, g, b;
};

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

void draw_density_depth(void)
{
    if (!lattice_ready()) return;
    const int stride = grid_cols + 2;
    const float w = cell_w, h = cell_h;
    const int damped = game.playing != 0;
    const float depth = (float)density_depth;
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glBegin(GL_QUADS);
    for (int i = 0; i <= grid_cols; i++) {
        float x0 = ((float)i - 0.5f) * w;
        float x1 = x0 + w;
        // Corners in the lattice order; going up a column, the top corners
        // of one quad are the bottom corners of the next.
        float d[4], a[4];
        d[0] = depth_of(i, damped);
        d[1] = depth_of(i + 1, damped);
        a[0] = depth_alpha(d[0]);
        a[1] = depth_alpha(d[1]);
        for (int j = 0; j <= grid_rows; j++) {
            float y0 = ((float)j - 0.5f) * h;
            float y1 = y0 + h;
            int k = i + stride * (j + 1);
            d[3] = depth_of(k, damped);
            d[2] = depth_of(k + 1, damped);
            a[3] = depth_alpha(d[3]);
            a[2] = depth_alpha(d[2]);
            // The upper sheet in the first hue, then its mirror below in the
            // second.
            emit_sheet(x0, y0, x1, y1, d, a, plasma_color1, depth);
            emit_sheet(x0, y0, x1, y1, d, a, plasma_color2, -depth);
            d[0] = d[3];
            d[1] = d[2];
            a[0] = a[3];
            a[1] = a[2];
        }
    }
    glEnd();
    glDisable(GL_BLEND);
}

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

static const float WALL_POINT_SIZE = 20.0f;    // pixels
static const Color WALL_COLOR = {0.6f, 0.2f, 0.0f, 0.8f};
static const float PADDLE_ALPHA = 0.6f;
static const float STREAK_DIM = 0.15f;         // streak strength during a game
static const float STREAK_LENGTH = 0.015f;     // view units per cell/frame of speed
static const float STREAK_MAX = 0.08f;         // view units, each axis
static const float BLUE_FLOOR = 0.8f;          // particle blue when still

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

// Walls and paddle cells as 20-pixel glowing points at each cell's upper-right
// corner (i * cell_w, j * cell_h); the last border column and row are skipped.
void draw_walls(void)
{
    glow_blend();
    smooth_points();
    glPointSize(WALL_POINT_SIZE);
    glBegin(GL_POINTS);
    if (wall) {
        for (int i = 0; i <= grid_cols; i++) {
            for (int j = 0; j <= grid_rows; j++) {
                if (!cell_in_array(i, j)) continue;
                int w = wall[cell_index(i, j)];
                if (w == CELL_WALL) {
                    glColor4f(WALL_COLOR.r, WALL_COLOR.g, WALL_COLOR.b, WALL_COLOR.a);
                } else if (w == CELL_PLAYER_PADDLE) {
                    const Color &c = player_paddle.color;
                    glColor4f(c.r, c.g, c.b, PADDLE_ALPHA);
                } else if (w == CELL_OPPONENT_PADDLE) {
                    const Color &c = opponent_paddle.color;
                    glColor4f(c.r, c.g, c.b, PADDLE_ALPHA);
                } else {
                    continue;
                }
                glVertex2f((float)i * cell_w, (float)j * cell_h);
            }
        }
    }
    glEnd();
    glDisable(GL_BLEND);
}

static float clamp_streak(float d)
{
    if (d > STREAK_MAX) return STREAK_MAX;
    if (d < -STREAK_MAX) return -STREAK_MAX;
    return d;
}

// Every slot of the ring, free ones included (they draw with alpha 0). Points
// fade with life / life_scale; streaks also dim while a game is on screen.
void draw_particles(float life_scale)
{
    glow_blend();
    smooth_points();
    float dim = (game.playing || game.game_over) ? STREAK_DIM : 1.0f;
    int count = particle_ring ? jet_settings.max_particles : 0;
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
            if (p.size > 0.0f) glPointSize(p.size);
            glBegin(GL_POINTS);
            glColor4f(r, g, b, a);
            glVertex2f(x, y);
            glEnd();
        } else if (p.style == 1) {
            if (p.size > 0.0f) glLineWidth(p.size);
            float dx = clamp_streak(STREAK_LENGTH * p.vx);
            float dy = clamp_streak(STREAK_LENGTH * p.vy);
            glBegin(GL_LINES);
            glColor4f(r, g, b, dim * a);
            glVertex2f(x, y);
            glColor4f(r, g, b, 0.0f);
            glVertex2f(x + dx, y + dy);
            glEnd();
        }
    }
    glDisable(GL_BLEND);
}

void draw_text(const char *text, void *font, float x, float y, float r, float g, float b)
{
    glColor3f(r, g, b);
    glRasterPos2f(x, y);
    for (const char *c = text; *c; c++) glutBitmapCharacter(font, (unsigned char)*c);
}

}  // namespace reference_draw
