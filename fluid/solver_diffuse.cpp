// solver_diffuse.cpp -- the solver step's diffusions: the velocity's and
// the density's sources added and their fields relaxed towards them, and the
// pressure's plain row sweeps for grids too short for the banded solve
// (solver_lanes.inc). Owns the scratch of the packed relaxations.
//
// The relaxations are Gauss-Seidel sweeps in place, so which neighbours a
// cell sees already updated is part of the result: (i-1, j) and (i, j-1)
// new, (i+1, j) and (i, j+1) old. The sweeps here run several rows at once
// on a skewed front (solver_front.inc), the sweeps of one relaxation
// following each other up the grid a block of rows apart. That keeps
// exactly that set of neighbours for every cell, and every value is
// computed from the same operands in the same order in single precision,
// so the fields come out bit for bit as with one plain column-by-column
// pass per sweep.
#include "fluid/fluid.h"

#include <cstring>
#include <utility>

#include <emmintrin.h>
#include <mm_malloc.h>

// Lanes r, g, b of a colour kept, alpha taken from another colour.
static inline __m128 keep_alpha(__m128 rgb, __m128 alpha_from)
{
    const __m128 rgb_mask = _mm_castsi128_ps(_mm_set_epi32(0, -1, -1, -1));
    return _mm_or_ps(_mm_and_ps(rgb_mask, rgb), _mm_andnot_ps(rgb_mask, alpha_from));
}

static inline __m128 load_color(const Color *c) { return _mm_loadu_ps(&c->r); }
static inline void store_color(Color *c, __m128 x) { _mm_storeu_ps(&c->r, x); }

#include "fluid/solver_front.inc"

// `sweeps` sweeps of the whole grid in blocks of FRONT_ROWS rows from the
// bottom up, each block on one front. The sweeps follow each other up the
// grid a block apart: at stage t sweep s relaxes block t - s, the sweeps in
// turn. A block's bottom row then sees the block below after the same sweep
// and its top row the block above after the sweep before, as in whole
// sweeps one after the other, while the rows being worked on stay few
// enough to be kept in the cache instead of read again for every sweep.
// `rows` hears of each block's rows: ready_through(r) before the first
// sweep reads rows up to r, done(j0, j1) once the last sweep has left them.
struct AllRows {
    void ready_through(int) {}
    void done(int, int) {}
};

template <class Kernel, class Rows> static void relax(const Kernel &kern, int sweeps, Rows &rows)
{
    int h = solver.grid_height;
    int blocks = (h + FRONT_ROWS - 1) / FRONT_ROWS;
    for (int stage = 0; stage < blocks + sweeps - 1; stage++) {
        for (int s = 0; s < sweeps; s++) {
            int block = stage - s;
            if (block < 0 || block >= blocks) continue;
            int j0 = 1 + block * FRONT_ROWS;
            int count = h - j0 + 1 < FRONT_ROWS ? h - j0 + 1 : FRONT_ROWS;
            if (s == 0) rows.ready_through(j0 + count);
            relax_front<Kernel, FRONT_ROWS>(kern, j0, count);
            if (s == sweeps - 1) rows.done(j0, j0 + count - 1);
        }
    }
}

template <class Kernel> static void relax(const Kernel &kern, int sweeps)
{
    AllRows rows;
    relax(kern, sweeps, rows);
}

// Velocity diffusion: u, v and pressure_guess relaxed towards their sources.
// Dividing by a denominator of exactly 1 changes nothing, so that division
// is left out when 1 + 4a is 1 (a is 0, or too small to show).
template <bool DIVIDE> struct VelocityDiffusion {
    float *x, *y, *g;
    const float *x0, *y0, *g0;
    float a, denominator;
    int stride;
};

struct VelocityCell {
    float u, v, g;
};

template <bool DIVIDE> static inline VelocityCell load_cell(const VelocityDiffusion<DIVIDE> &r, int c)
{
    return VelocityCell{r.x[c], r.y[c], r.g[c]};
}

template <bool DIVIDE>
static inline VelocityCell relax_cell(const VelocityDiffusion<DIVIDE> &r, int c, VelocityCell left,
                                      VelocityCell down)
{
    int s = r.stride;
    float nu = r.a * (left.u + r.x[c + 1] + down.u + r.x[c + s]) + r.x0[c];
    float nv = r.a * (left.v + r.y[c + 1] + down.v + r.y[c + s]) + r.y0[c];
    float ng = r.a * (left.g + r.g[c + 1] + down.g + r.g[c + s]) + r.g0[c];
    if (DIVIDE) {
        nu = nu / r.denominator;
        nv = nv / r.denominator;
        ng = ng / r.denominator;
    }
    r.x[c] = nu;
    r.y[c] = nv;
    r.g[c] = ng;
    return VelocityCell{nu, nv, ng};
}

// Pressure solve: p relaxed towards the divergence term d.
struct PressureRelaxation {
    float *p;
    const float *d;
    int stride;
};

static inline float load_cell(const PressureRelaxation &r, int c) { return r.p[c]; }

static inline float relax_cell(const PressureRelaxation &r, int c, float left, float down)
{
    float value = (r.d[c] + left + r.p[c + 1] + down + r.p[c + r.stride]) * 0.25f;
    r.p[c] = value;
    return value;
}

// Density and colour diffusion; the colour's alpha stays as it is.
template <bool DIVIDE> struct DensityDiffusion {
    float *x;
    const float *x0;
    Color *col;
    const Color *col0;
    float a, denominator;
    int stride;
};

struct DensityCell {
    float d;
    __m128 c;
};

template <bool DIVIDE> static inline DensityCell load_cell(const DensityDiffusion<DIVIDE> &r, int c)
{
    return DensityCell{r.x[c], load_color(r.col + c)};
}

template <bool DIVIDE>
static inline DensityCell relax_cell(const DensityDiffusion<DIVIDE> &r, int c, DensityCell left,
                                     DensityCell down)
{
    int s = r.stride;
    float nd = r.a * (left.d + r.x[c + 1] + down.d + r.x[c + s]) + r.x0[c];
    __m128 sum = _mm_add_ps(_mm_add_ps(_mm_add_ps(left.c, load_color(r.col + c + 1)), down.c),
                            load_color(r.col + c + s));
    __m128 nc = _mm_add_ps(_mm_mul_ps(_mm_set1_ps(r.a), sum), load_color(r.col0 + c));
    if (DIVIDE) {
        nd = nd / r.denominator;
        nc = _mm_div_ps(nc, _mm_set1_ps(r.denominator));
    }
    nc = keep_alpha(nc, load_color(r.col + c));
    r.x[c] = nd;
    store_color(r.col + c, nc);
    return DensityCell{nd, nc};
}

// Several fields relaxed at once, one per lane of a packed cell (see
// PackedFields): the lanes are independent, so each lane's arithmetic is
// that of its own field, and one division serves all of them.
template <bool DIVIDE> struct PackedDiffusion {
    __m128 *x;
    const __m128 *x0;
    __m128 a, denominator;
    int stride;
};

template <bool DIVIDE> static inline __m128 load_cell(const PackedDiffusion<DIVIDE> &r, int c)
{
    return r.x[c];
}

template <bool DIVIDE>
static inline __m128 relax_cell(const PackedDiffusion<DIVIDE> &r, int c, __m128 left, __m128 down)
{
    __m128 sum = _mm_add_ps(_mm_add_ps(_mm_add_ps(left, r.x[c + 1]), down), r.x[c + r.stride]);
    __m128 value = _mm_add_ps(_mm_mul_ps(r.a, sum), r.x0[c]);
    if (DIVIDE) value = _mm_div_ps(value, r.denominator);
    r.x[c] = value;
    return value;
}

// Scratch for the packed relaxations: two arrays of cell_count packed cells,
// grown once to the grid's size. The velocity and the density have one
// each, as their diffusions may run at the same time.
struct PackedScratch {
    __m128 *field, *source;
    int capacity;
};
static PackedScratch velocity_scratch, density_scratch;

static int packed_ready(PackedScratch *s)
{
    int n = solver.cell_count;
    if (s->capacity >= n) return 1;
    _mm_free(s->field);
    _mm_free(s->source);
    s->field = (__m128 *)_mm_malloc((size_t)n * sizeof(__m128), 64);
    s->source = (__m128 *)_mm_malloc((size_t)n * sizeof(__m128), 64);
    if (!s->field || !s->source) {
        _mm_free(s->field);
        _mm_free(s->source);
        s->field = s->source = nullptr;
        s->capacity = 0;
        return 0;
    }
    s->capacity = n;
    return 1;
}

// The fields a packed relaxation works on, one per lane of a packed cell:
// either u, v and pressure_guess relaxed towards their sources (lanes 0-2,
// lane 3 unused), or, when `color` is set, colour r, g, b and density (lanes
// 0-3) with the density step's sources added on the way in. Then the
// packed source gets colour + colour source and density + dt * density
// source, computed as the separate passes would, and the packed field the
// sources themselves; the diffused fields go back into the source arrays.
// The sums are stored back only on the border ring: advection rebuilds
// every interior cell of density and colour from the diffused fields (the
// colour keeping the alpha it has, which the sum keeps too), so only the
// ring ever shows them.
struct PackedFields {
    PackedScratch *scratch;
    float *field[3];
    const float *source[3];
    Color *color;
    Color *color_source;
    float *density;
    float *density_source;
    float dt;
};

// The density's packing at work: the fields' pointers held apart from the
// record, so that stores into the fields cannot be taken to change them.
struct DensityPacking {
    __m128 *field, *source;
    Color *color;
    const Color *color_source;
    float *density;
    const float *density_source;
    float dt;
};

// One density cell into the packing; `ring` when it is on the border ring.
static inline void pack_density_cell(const DensityPacking &p, int n, int ring)
{
    __m128 c = load_color(p.color + n), c0 = load_color(p.color_source + n);
    __m128 sum = _mm_add_ps(c, c0);
    float d_sum = p.density[n] + p.dt * p.density_source[n];
    p.field[n] = keep_alpha(c0, _mm_set1_ps(p.density_source[n]));
    p.source[n] = keep_alpha(sum, _mm_set1_ps(d_sum));
    if (ring) {
        store_color(p.color + n, keep_alpha(sum, c));
        p.density[n] = d_sum;
    }
}

// Grid rows j0 .. j1 (border columns included) into the packing.
static void pack_rows(const PackedFields &f, int j0, int j1)
{
    int w = solver.grid_width, h = solver.grid_height, stride = w + 2;
    if (f.color) {
        const DensityPacking p{f.scratch->field, f.scratch->source, f.color, f.color_source,
                               f.density, f.density_source, f.dt};
        for (int j = j0; j <= j1; j++) {
            int ring_row = j == 0 || j == h + 1, row = stride * j;
            pack_density_cell(p, row, 1);
            for (int i = 1; i <= w; i++) pack_density_cell(p, row + i, ring_row);
            pack_density_cell(p, row + w + 1, 1);
        }
        return;
    }
    float *x = (float *)f.scratch->field, *x0 = (float *)f.scratch->source;
    const float *f0 = f.field[0], *f1 = f.field[1], *f2 = f.field[2];
    const float *s0 = f.source[0], *s1 = f.source[1], *s2 = f.source[2];
    for (int n = stride * j0; n < stride * (j1 + 1); n++) {
        x[4 * n] = f0[n];
        x[4 * n + 1] = f1[n];
        x[4 * n + 2] = f2[n];
        x[4 * n + 3] = 0.0f;
        x0[4 * n] = s0[n];
        x0[4 * n + 1] = s1[n];
        x0[4 * n + 2] = s2[n];
        x0[4 * n + 3] = 0.0f;
    }
}

// Grid rows j0 .. j1 written back from the packing.
static void unpack_rows(const PackedFields &f, int j0, int j1)
{
    int stride = solver.grid_width + 2;
    const __m128 *packed = f.scratch->field;
    const float *x = (const float *)packed;
    int first = stride * j0, end = stride * (j1 + 1);
    if (f.color) {
        Color *c = f.color_source;
        float *d = f.density_source;
        for (int n = first; n < end; n++) {
            store_color(c + n, keep_alpha(packed[n], load_color(c + n)));
            d[n] = x[4 * n + 3];
        }
        return;
    }
    float *f0 = f.field[0], *f1 = f.field[1], *f2 = f.field[2];
    for (int n = first; n < end; n++) {
        f0[n] = x[4 * n];
        f1[n] = x[4 * n + 1];
        f2[n] = x[4 * n + 2];
    }
}

// Packs rows as the first sweep comes to them and writes them back as the
// last sweep leaves them, so that each row passes through the cache once.
// The border rows are only read, and stay as they are.
struct PackedRows {
    const PackedFields *fields;
    int packed_through;     // last grid row packed; -1 before the first
    void ready_through(int row)
    {
        if (row <= packed_through) return;
        pack_rows(*fields, packed_through + 1, row);
        packed_through = row;
    }
    void done(int j0, int j1) { unpack_rows(*fields, j0, j1); }
};

// Relaxes the packed fields with coefficient a for `sweeps` sweeps (see
// relax) and writes them back; 0, with nothing changed, when the scratch
// could not be had.
static int relax_packed(const PackedFields &fields, float a, float denominator, int sweeps)
{
    PackedScratch *s = fields.scratch;
    if (!packed_ready(s)) return 0;
    PackedRows rows{&fields, -1};
    int stride = solver.grid_width + 2;
    if (denominator == 1.0f) {
        PackedDiffusion<false> kern{s->field, s->source, _mm_set1_ps(a),
                                    _mm_set1_ps(denominator), stride};
        relax(kern, sweeps, rows);
    } else {
        PackedDiffusion<true> kern{s->field, s->source, _mm_set1_ps(a),
                                   _mm_set1_ps(denominator), stride};
        relax(kern, sweeps, rows);
    }
    return 1;
}

// The colour's sources added where the density is not diffused packed: r,
// g and b summed, the alpha kept.
static void add_color_sources_part(void *, int part, int parts)
{
    int first, end;
    solver_part_cells(solver.cell_count, part, parts, &first, &end);
    Color *col = color;
    const Color *col0 = color_prev;
    for (int n = first; n < end; n++) {
        __m128 c = load_color(col + n);
        store_color(col + n, keep_alpha(_mm_add_ps(c, load_color(col0 + n)), c));
    }
}


// The single sweep of a = 0 sets each cell to 0 * (sum of four neighbours)
// + source. While every value those sums take is below SUM_SAFE in size (so
// no sum overflows) and no source is -0, each 0 * sum is a zero that leaves
// the source as it is: the sweep copies the sources, bit for bit. Otherwise
// (an infinity, a NaN, a -0 source) it runs as written.
static const float SUM_SAFE = 1e37f;
static const unsigned MAGNITUDE_BITS = 0x7fffffffu;
static const unsigned NEGATIVE_ZERO = 0x80000000u;

// The velocity's sources added (u += dt * u_prev, v += dt * v_prev,
// pressure_guess += dt * pressure_source, over all cells) while looking for
// what would rule the copy out, in the arrays as they will stand after the
// swap of u and v with their sources: the sweep's fields are the source
// arrays of u and v as they were and pressure_guess with its sum (every
// row, border columns included), its sources the sums of u and v and
// pressure_source (rows 1 .. H).
struct VelocitySources {
    float *x[3];                        // u, v, pressure_guess
    const float *x0[3];                 // u_prev, v_prev, pressure_source
    float dt;
    int unsafe[SOLVER_MAX_THREADS];     // per part: 1 when a value rules the copy out
};

static inline unsigned float_bits(float f)
{
    unsigned b;
    memcpy(&b, &f, sizeof b);
    return b;
}

static inline int unsafe_scalar(float field, float source, int interior)
{
    int bad = (float_bits(field) & MAGNITUDE_BITS) >= float_bits(SUM_SAFE);
    if (interior)
        bad |= (float_bits(source) & MAGNITUDE_BITS) >= float_bits(SUM_SAFE) ||
               float_bits(source) == NEGATIVE_ZERO;
    return bad;
}

static void add_velocity_sources_part(void *ctx, int part, int parts)
{
    VelocitySources *job = (VelocitySources *)ctx;
    int w = solver.grid_width, h = solver.grid_height, stride = w + 2;
    int first, last;
    solver_part_rows(0, h + 1, part, parts, &first, &last);
    const __m128i limit = _mm_set1_epi32((int)float_bits(SUM_SAFE));
    const __m128i magnitude = _mm_set1_epi32((int)MAGNITUDE_BITS);
    const __m128i negative_zero = _mm_set1_epi32((int)NEGATIVE_ZERO);
    const __m128 dt = _mm_set1_ps(job->dt);
    __m128i bad = _mm_setzero_si128();
    int bad_scalar = 0;
    for (int f = 0; f < 3; f++) {
        int sum_is_source = f < 2;      // u and v swap with their sources
        for (int j = first; j <= last; j++) {
            float *x = job->x[f] + stride * j;
            const float *x0 = job->x0[f] + stride * j;
            int interior = j >= 1 && j <= h;
            int i = 0;
            for (; i + 4 <= stride; i += 4) {
                __m128 given = _mm_loadu_ps(x0 + i);
                __m128 sum = _mm_add_ps(_mm_loadu_ps(x + i), _mm_mul_ps(dt, given));
                _mm_storeu_ps(x + i, sum);
                __m128i field = _mm_castps_si128(sum_is_source ? given : sum);
                __m128i source = _mm_castps_si128(sum_is_source ? sum : given);
                __m128i a = _mm_and_si128(field, magnitude);
                bad = _mm_or_si128(bad, _mm_cmpgt_epi32(a, limit));
                bad = _mm_or_si128(bad, _mm_cmpeq_epi32(a, limit));
                if (!interior) continue;
                __m128i m = _mm_and_si128(source, magnitude);
                bad = _mm_or_si128(bad, _mm_cmpgt_epi32(m, limit));
                bad = _mm_or_si128(bad, _mm_cmpeq_epi32(m, limit));
                bad = _mm_or_si128(bad, _mm_cmpeq_epi32(source, negative_zero));
            }
            for (; i < stride; i++) {
                float sum = x[i] + job->dt * x0[i];
                x[i] = sum;
                bad_scalar |= sum_is_source ? unsafe_scalar(x0[i], sum, interior)
                                            : unsafe_scalar(sum, x0[i], interior);
            }
        }
    }
    job->unsafe[part] = bad_scalar || _mm_movemask_epi8(bad) != 0;
}

struct SourceCopy {
    float *x[3];
    const float *x0[3];
};

static void copy_sources_part(void *ctx, int part, int parts)
{
    const SourceCopy *job = (const SourceCopy *)ctx;
    int w = solver.grid_width, stride = w + 2;
    int first, last;
    solver_part_rows(1, solver.grid_height, part, parts, &first, &last);
    for (int f = 0; f < 3; f++)
        for (int j = first; j <= last; j++)
            memcpy(job->x[f] + 1 + stride * j, job->x0[f] + 1 + stride * j, w * sizeof(float));
}

// More than one sweep: relaxed packed (one division per cell for all three
// fields); a single sweep does not pay for the packing.
static void relax_velocity(float a, float denominator, int sweeps)
{
    PackedFields fields{&velocity_scratch, {u, v, pressure_guess},
                        {u_prev, v_prev, pressure_source}, nullptr, nullptr, nullptr, nullptr, 0.0f};
    if (sweeps > 1 && relax_packed(fields, a, denominator, sweeps)) return;
    int stride = solver.grid_width + 2;
    if (denominator == 1.0f) {
        VelocityDiffusion<false> kern{u, v, pressure_guess, u_prev, v_prev, pressure_source,
                                      a, denominator, stride};
        relax(kern, sweeps);
    } else {
        VelocityDiffusion<true> kern{u, v, pressure_guess, u_prev, v_prev, pressure_source,
                                     a, denominator, stride};
        relax(kern, sweeps);
    }
}

static void diffuse_velocity(float a)
{
    relax_velocity(a, 1 + 4 * a, solver.iterations);
    set_boundary(u, BOUNDARY_U);
    set_boundary(v, BOUNDARY_V);
}

static void relax_density(float a, float denominator, int sweeps)
{
    int stride = solver.grid_width + 2;
    if (denominator == 1.0f) {
        DensityDiffusion<false> kern{dens, dens_prev, color, color_prev, a, denominator, stride};
        relax(kern, sweeps);
    } else {
        DensityDiffusion<true> kern{dens, dens_prev, color, color_prev, a, denominator, stride};
        relax(kern, sweeps);
    }
}

static float density_coefficient(float dt)
{
    return solver.diffusion * dt * solver.grid_width * solver.grid_height;
}

static int density_sweeps(float a) { return (a == 0 ? 4 : solver.iterations) / 4; }

static void diffuse_density(float dt)
{
    float a = density_coefficient(dt);
    relax_density(a, 1 + 4 * a, density_sweeps(a));
    set_boundary(dens, BOUNDARY_SCALAR);
}

void solver_diffuse_velocity(const SolverLaneKernels &lanes, float dt)
{
    float a = solver.viscosity * dt * solver.grid_width * solver.grid_height;
    if (a == 0) {
        // The single sweep, as a copy of the sources where it is one.
        VelocitySources sources{{u, v, pressure_guess}, {u_prev, v_prev, pressure_source}, dt, {}};
        run_solver_parts(add_velocity_sources_part, &sources);
        std::swap(u, u_prev);
        std::swap(v, v_prev);
        int unsafe = 0;
        for (int part = 0; part < SOLVER_MAX_THREADS; part++) unsafe |= sources.unsafe[part];
        SourceCopy copy{{u, v, pressure_guess}, {u_prev, v_prev, pressure_source}};
        if (unsafe)
            relax_velocity(a, 1 + 4 * a, 1);
        else
            run_solver_parts(copy_sources_part, &copy);
        set_boundary(u, BOUNDARY_U);
        set_boundary(v, BOUNDARY_V);
    } else {
        lanes.add_sources(u, v, pressure_guess, u_prev, v_prev, pressure_source, dt);
        std::swap(u, u_prev);
        std::swap(v, v_prev);
        diffuse_velocity(a);
    }
}


void solver_diffuse_density(const SolverLaneKernels &lanes, float dt)
{
    float a = density_coefficient(dt);
    PackedFields fields{&density_scratch, {nullptr, nullptr, nullptr}, {nullptr, nullptr, nullptr},
                        color, color_prev, dens, dens_prev, dt};
    if (density_sweeps(a) > 1 && relax_packed(fields, a, 1 + 4 * a, density_sweeps(a))) {
        set_boundary(dens_prev, BOUNDARY_SCALAR);
        return;
    }
    lanes.add_sources(dens, nullptr, nullptr, dens_prev, nullptr, nullptr, dt);
    run_solver_parts(add_color_sources_part, nullptr);
    std::swap(dens, dens_prev);
    std::swap(color, color_prev);
    diffuse_density(dt);
    std::swap(dens, dens_prev);
    std::swap(color, color_prev);
}

void solver_relax_pressure_rows(float *p, const float *d, int sweeps)
{
    PressureRelaxation kern{p, d, solver.grid_width + 2};
    relax(kern, sweeps);
}
