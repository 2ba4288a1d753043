// fields.cpp -- the seven field views: plasma, 3-D density, velocity,
// pressure, divergence, curl and dye.
//
// Every view draws the same quad lattice: for i = 0..grid_cols (outer) and
// j = 0..grid_rows (inner) one quad joining the centres of cells (i, j),
// (i + 1, j), (i + 1, j + 1) and (i, j + 1), each corner coloured from its
// own cell, so the border ring is read too and neighbouring quads share
// their corner colours. Smooth shading does the rest. Every quad is sent,
// every frame, however faint: what the driver draws may depend on the whole
// stream, not only on the quads that show. Each cell's colour is computed
// once, in memory order, into draw_shade, and read from there up the
// columns, each corner handed on to the next quad up. The quads go to GL
// through the vertex chunk, four vertices each with the values the plain
// glColor/glVertex calls would send, in the same order: the colours from the
// chunk, the positions, which never change, from lattice_corners. No state
// of its own.
#include "render/render.h"

#include "fluid/fluid.h"
#include "game/game.h"

#include <GL/gl.h>
#include <cmath>

#include <emmintrin.h>

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
    return draw_chunk && draw_shade && draw_shade_cells == solver.cell_count &&
           solver.cell_count > 0 && grid_cols == solver.grid_width &&
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

// Whole quads of the flat views a chunk holds.
static const int FLAT_CHUNK_VERTICES = DRAW_CHUNK_VERTICES / 4 * 4;

// A colour with the float after it, as one vector (which the buffers
// always hold: see send_lattice).
static inline __m128 load_rgb(const Rgb *c) { return _mm_loadu_ps(&c->r); }

// The colours of one quad's corners in the lattice order: bottom left,
// bottom right, top right, top left (its positions: lattice_corners). Each
// store also writes one float past its colour, which the next store (or the
// next quad's) overwrites.
static inline void put_quad_colours(Rgb *q, __m128 c0, __m128 c1, __m128 c2, __m128 c3)
{
    float *f = &q->r;
    _mm_storeu_ps(f, c0);
    _mm_storeu_ps(f + 3, c1);
    _mm_storeu_ps(f + 6, c2);
    _mm_storeu_ps(f + 9, c3);
}

// Sends the lattice's quads, corner colours from `shaded` (a colour a cell,
// in memory order). Quad column seam_column - 1 takes its right corners from
// `seam` instead (a colour a row of cells), when seam is not null. Going up a
// column, a quad's top corners are the next quad's bottom ones. The colours
// are moved four floats at a time: both arrays lie inside draw_shade with
// room after them (three floats a colour of the DRAW_SHADE_FLOATS a cell),
// and the chunk holds more floats than the quads' colours.
static void send_lattice(const Rgb *shaded, const Rgb *seam, int seam_column)
{
    const int stride = grid_cols + 2;
    const float *corners = lattice_corners();
    Rgb *chunk = (Rgb *)draw_chunk;
    int n = 0, first = 0;
    begin_chunk_arrays(2, 3);
    for (int i = 0; i <= grid_cols; i++) {
        const Rgb *left = shaded + i, *right = shaded + i + 1;
        int right_stride = stride;
        if (seam && i + 1 == seam_column) {
            right = seam;
            right_stride = 1;
        }
        __m128 c0 = load_rgb(left), c1 = load_rgb(right);
        for (int j = 0; j <= grid_rows; j++) {
            __m128 c3 = load_rgb(left + stride * (j + 1)), c2 = load_rgb(right + right_stride * (j + 1));
            put_quad_colours(chunk + n, c0, c1, c2, c3);
            n += 4;
            if (n == FLAT_CHUNK_VERTICES) {
                draw_lattice_quads(corners, first, n);
                first += n;
                n = 0;
            }
            c0 = c3;
            c1 = c2;
        }
    }
    draw_lattice_quads(corners, first, n);
    end_chunk_arrays();
}

// One additive pass over the lattice with the per-cell colour map `shade`.
template <Rgb (*shade)(int)>
static void draw_lattice(void)
{
    if (!lattice_ready()) return;
    // Every cell's colour in memory order first (the lattice reads them all).
    Rgb *shaded = (Rgb *)draw_shade;
    for (int k = 0; k < solver.cell_count; k++) shaded[k] = shade(k);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    send_lattice(shaded, nullptr, -1);
    glDisable(GL_BLEND);
}

void draw_velocity_shader(void) { draw_lattice<shade_velocity>(); }
void draw_pressure_shader(void) { draw_lattice<shade_pressure>(); }
void draw_divergence_shader(void) { draw_lattice<shade_divergence>(); }
void draw_curl_shader(void) { draw_lattice<shade_curl>(); }
void draw_dye_shader(void) { draw_lattice<shade_dye>(); }

// The plasma colour of a cell without its pressure term: red, and green and
// blue before the term is added and taken away (the term depends on the
// quad's half, so a cell on the middle column gets both).
struct PlasmaCell {
    float r, g, b, pressure;
};

static inline PlasmaCell plasma_cell(int k, float dscale, float vscale)
{
    float d = dens[k] * dscale;
    if (d > PLASMA_DENSITY_MAX) d = PLASMA_DENSITY_MAX;
    float su = fabsf(u[k] * vscale);
    float sv = fabsf(v[k] * vscale);
    return PlasmaCell{color[k].r * d + su + sv / PLASMA_V_RED_SHARE, color[k].g * d + sv,
                      color[k].b * d + sv, pressure[k]};
}

static inline Rgb shade_plasma(const PlasmaCell &c, float a)
{
    float p = c.pressure * a;
    return Rgb{c.r, c.g + p, c.b - p};
}

// Cells k .. k+3 of one row shaded for the half whose pressure factor is a:
// the arithmetic of plasma_cell and shade_plasma, lane by lane. The
// colours are stored at a colour's stride, each store writing one float
// into the next cell, which is shaded later.
static inline void shade_plasma_four(Rgb *shaded, int k, __m128 dscale, __m128 vscale, __m128 a)
{
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 density_max = _mm_set1_ps(PLASMA_DENSITY_MAX);
    // Not above the maximum, and a NaN kept as it is (min gives its second
    // operand when either is one).
    __m128 d = _mm_min_ps(density_max, _mm_mul_ps(_mm_loadu_ps(dens + k), dscale));
    __m128 su = _mm_and_ps(_mm_mul_ps(_mm_loadu_ps(u + k), vscale), magnitude);
    __m128 sv = _mm_and_ps(_mm_mul_ps(_mm_loadu_ps(v + k), vscale), magnitude);
    __m128 r = _mm_loadu_ps(&color[k].r), g = _mm_loadu_ps(&color[k + 1].r);
    __m128 b = _mm_loadu_ps(&color[k + 2].r), alpha = _mm_loadu_ps(&color[k + 3].r);
    _MM_TRANSPOSE4_PS(r, g, b, alpha);
    __m128 red = _mm_add_ps(_mm_add_ps(_mm_mul_ps(r, d), su),
                            _mm_div_ps(sv, _mm_set1_ps(PLASMA_V_RED_SHARE)));
    __m128 green = _mm_add_ps(_mm_mul_ps(g, d), sv);
    __m128 blue = _mm_add_ps(_mm_mul_ps(b, d), sv);
    __m128 p = _mm_mul_ps(_mm_loadu_ps(pressure + k), a);
    green = _mm_add_ps(green, p);
    blue = _mm_sub_ps(blue, p);
    __m128 spare = _mm_setzero_ps();
    _MM_TRANSPOSE4_PS(red, green, blue, spare);
    float *to = &shaded[k].r;
    _mm_storeu_ps(to, red);
    _mm_storeu_ps(to + 3, green);
    _mm_storeu_ps(to + 6, blue);
    _mm_storeu_ps(to + 9, spare);
}

// Columns c0 .. c1-1 of row `row` shaded for the half whose factor is a;
// four at a time while the fourth store's extra float stays in the row.
static void shade_plasma_cells(Rgb *shaded, int row, int c0, int c1, float dscale, float vscale,
                               float a)
{
    const int stride = grid_cols + 2;
    const __m128 vd = _mm_set1_ps(dscale), vv = _mm_set1_ps(vscale), va = _mm_set1_ps(a);
    int c = c0;
    for (; c + 4 <= c1 && c + 4 < stride; c += 4) shade_plasma_four(shaded, row + c, vd, vv, va);
    for (; c < c1; c++) shaded[row + c] = shade_plasma(plasma_cell(row + c, dscale, vscale), a);
}

void draw_plasma_shader(void)
{
    if (!lattice_ready()) return;
    const int stride = grid_cols + 2;
    const float level = (float)game.level;
    const float dscale = PLASMA_DENSITY_PER_LEVEL * level + PLASMA_DENSITY_BASE;
    const float vscale = PLASMA_SPEED_PER_LEVEL * level + PLASMA_SPEED_BASE;
    const float player_a = PLASMA_PRESSURE_BASE + (float)player_paddle.held_frames;
    const float opponent_a = PLASMA_PRESSURE_BASE - (float)opponent_paddle.held_frames;
    // A quad's column picks the half, and all four corners share it: each
    // cell is shaded for its own column's half, and the cells of column
    // `half` once more for the player's half, as the right corners of the
    // quads just left of it (the seam, after the cells: a grid one column
    // wide or more leaves the room in the buffer).
    const int half = grid_cols / 2;
    Rgb *shaded = (Rgb *)draw_shade;
    Rgb *seam = shaded + solver.cell_count;
    for (int r = 0; r < grid_rows + 2; r++) {
        const int row = stride * r;
        shade_plasma_cells(shaded, row, 0, half, dscale, vscale, player_a);
        shade_plasma_cells(shaded, row, half, stride, dscale, vscale, opponent_a);
        seam[r] = shade_plasma(plasma_cell(row + half, dscale, vscale), player_a);
    }
    glEnable(GL_BLEND);
    // With alpha 1 this adds onto the black background.
    glBlendFunc(GL_SRC_ALPHA, GL_SRC_ALPHA);
    send_lattice(shaded, seam, half);
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

// Whole quad pairs (both sheets) of the 3-D density view a chunk holds.
static const int DEPTH_CHUNK_VERTICES = DRAW_CHUNK_VERTICES / 8 * 8;

// One sheet of a 3-D density quad: corner heights d, alphas a, hue c, and
// the sign of the heights (+1 upper sheet, -1 lower sheet).
static inline void put_sheet(DepthVertex *q, float x0, float y0, float x1, float y1,
                             const float d[4], const float a[4], const float c[3], float z_scale)
{
    q[0] = DepthVertex{x0, y0, z_scale * d[0], d[0] * c[0], d[0] * c[1], d[0] * c[2], a[0]};
    q[1] = DepthVertex{x1, y0, z_scale * d[1], d[1] * c[0], d[1] * c[1], d[1] * c[2], a[1]};
    q[2] = DepthVertex{x1, y1, z_scale * d[2], d[2] * c[0], d[2] * c[1], d[2] * c[2], a[2]};
    q[3] = DepthVertex{x0, y1, z_scale * d[3], d[3] * c[0], d[3] * c[1], d[3] * c[2], a[3]};
}

void draw_density_depth(void)
{
    if (!lattice_ready()) return;
    const int stride = grid_cols + 2;
    const float w = cell_w, h = cell_h;
    const int damped = game.playing != 0;
    const float depth = (float)density_depth;
    DepthVertex *chunk = (DepthVertex *)draw_chunk;
    int n = 0;
    // Every cell's height and alpha in memory order first.
    float *heights = draw_shade;
    for (int k = 0; k < solver.cell_count; k++) {
        float dk = depth_of(k, damped);
        heights[2 * k] = dk;
        heights[2 * k + 1] = depth_alpha(dk);
    }
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    begin_chunk_arrays(3, 4);
    for (int i = 0; i <= grid_cols; i++) {
        float x0 = ((float)i - 0.5f) * w;
        float x1 = x0 + w;
        // Corners in the lattice order; going up a column, the top corners
        // of one quad are the bottom corners of the next.
        float d[4], a[4];
        d[0] = heights[2 * i];
        d[1] = heights[2 * (i + 1)];
        a[0] = heights[2 * i + 1];
        a[1] = heights[2 * (i + 1) + 1];
        for (int j = 0; j <= grid_rows; j++) {
            float y0 = ((float)j - 0.5f) * h;
            float y1 = y0 + h;
            int k = i + stride * (j + 1);
            d[3] = heights[2 * k];
            d[2] = heights[2 * (k + 1)];
            a[3] = heights[2 * k + 1];
            a[2] = heights[2 * (k + 1) + 1];
            // The upper sheet in the first hue, then its mirror below in the
            // second.
            put_sheet(chunk + n, x0, y0, x1, y1, d, a, plasma_color1, depth);
            put_sheet(chunk + n + 4, x0, y0, x1, y1, d, a, plasma_color2, -depth);
            n += 8;
            if (n == DEPTH_CHUNK_VERTICES) {
                draw_chunk_vertices(GL_QUADS, n);
                n = 0;
            }
            d[0] = d[3];
            d[1] = d[2];
            a[0] = a[3];
            a[1] = a[2];
        }
    }
    draw_chunk_vertices(GL_QUADS, n);
    end_chunk_arrays();
    glDisable(GL_BLEND);
}
