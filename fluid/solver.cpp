// solver.cpp -- the solver step: sources, viscous diffusion, pressure
// projection and advection of the velocity, then diffusion and advection of
// density and ink colour, then the refill of the sources. Owns the helper
// thread that the step (and the force stage) share the work with.
//
// The relaxations are Gauss-Seidel sweeps in place, so which neighbours a
// cell sees already updated is part of the result: (i-1, j) and (i, j-1)
// new, (i+1, j) and (i, j+1) old. The sweeps here run row by row, several
// rows at once on a skewed front; diffusion sweeps overlap on two threads,
// and the pressure solve runs four bands of rows in the four lanes of a
// vector, each band one sweep behind the band below. Every arrangement
// keeps exactly that set of neighbours for every cell, and every value is
// computed from the same operands in the same order in single precision, so
// the fields come out bit for bit as with one plain column-by-column pass per
// sweep. The straight kernels split the rows between the threads and run
// four cells at a time, lane by lane the same arithmetic.
#include "fluid/fluid.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>
#include <utility>

#include <emmintrin.h>
#include <mm_malloc.h>

int solver_threads = SOLVER_THREADS_AUTO;

static const int MAX_SOLVER_THREADS = 2;     // the calling thread and one helper
static const int PARALLEL_MIN_ROWS = 16;     // smaller grids run on one thread
static const int FRONT_ROWS = 8;             // rows relaxed together on one front
static const int SPINS_BEFORE_YIELD = 256;
static const long long HELPER_SPIN_NS = 200000;    // helper stays awake 0.2 ms after a job

// ---------------------------------------------------------------------------
// Helper thread
// ---------------------------------------------------------------------------

struct HelperPool {
    std::atomic<unsigned> posted{0};        // number of the last job handed out
    std::atomic<unsigned> finished{0};      // number of the last job the helper ended
    std::atomic<int> sleeping{0};
    void (*job)(void *, int, int) = nullptr;
    void *ctx = nullptr;
    std::mutex lock;
    std::condition_variable wake;
};

// Created with the helper thread on first use and kept until the program
// ends (the helper sleeps on it between steps).
static HelperPool *helper_pool;
static int helper_failed;

static inline void spin_pause(int *spins)
{
    if (++*spins < SPINS_BEFORE_YIELD) {
        _mm_pause();
    } else {
        *spins = 0;
        std::this_thread::yield();
    }
}

static unsigned wait_for_job(HelperPool *pool, unsigned seen)
{
    auto start = std::chrono::steady_clock::now();
    int spins = 0;
    for (int n = 0;; n++) {
        unsigned now = pool->posted.load(std::memory_order_acquire);
        if (now != seen) return now;
        spin_pause(&spins);
        if ((n & 255) == 255 &&
            std::chrono::steady_clock::now() - start > std::chrono::nanoseconds(HELPER_SPIN_NS))
            break;
    }
    std::unique_lock<std::mutex> guard(pool->lock);
    pool->sleeping.store(1);
    pool->wake.wait(guard, [&] { return pool->posted.load() != seen; });
    pool->sleeping.store(0);
    return pool->posted.load(std::memory_order_acquire);
}

static void helper_main(HelperPool *pool)
{
    unsigned seen = 0;
    for (;;) {
        unsigned job = wait_for_job(pool, seen);
        pool->job(pool->ctx, 1, 2);
        pool->finished.store(job, std::memory_order_release);
        seen = job;
    }
}

static int helper_ready(void)
{
    if (helper_pool) return 1;
    if (helper_failed) return 0;
    HelperPool *pool = new (std::nothrow) HelperPool;
    if (!pool) {
        helper_failed = 1;
        return 0;
    }
    try {
        std::thread(helper_main, pool).detach();
    } catch (...) {
        delete pool;
        helper_failed = 1;
        return 0;
    }
    helper_pool = pool;
    return 1;
}

// Whether the helper pays off depends on the grid and on what else the
// machine is doing (a descheduled helper stalls the calling thread), so in
// the automatic setting the step times both ways: it keeps moving averages
// of its own duration with and without the helper, takes the faster way, and
// every TRIAL_PERIOD steps runs TRIAL_STEPS steps the other way to keep that
// figure current. The fields come out the same either way.
static const int TRIAL_PERIOD = 64;
static const int TRIAL_STEPS = 2;
static const double AVERAGE_WEIGHT = 0.25;  // of the newest step
static double average_ns_alone, average_ns_shared;  // 0: not measured yet
static unsigned step_number;
static int step_alone;                      // 1 while a step runs without the helper

static long long now_ns(void)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

static void book_step_time(int alone, long long ns)
{
    double &average = alone ? average_ns_alone : average_ns_shared;
    average = average == 0 ? (double)ns : average + AVERAGE_WEIGHT * ((double)ns - average);
}

// 1 when the coming step should leave the helper out.
static int choose_alone(void)
{
    int faster_alone = average_ns_alone > 0 && average_ns_shared > 0 &&
                       average_ns_alone < average_ns_shared;
    int trial = step_number % TRIAL_PERIOD < (unsigned)TRIAL_STEPS;
    step_number++;
    return trial ? !faster_alone : faster_alone;
}

static int solver_parts(void)
{
    if (solver_threads == SOLVER_THREADS_ONE || solver.grid_height < PARALLEL_MIN_ROWS) return 1;
    if (step_alone && solver_threads != SOLVER_THREADS_TWO) return 1;
    return helper_ready() ? MAX_SOLVER_THREADS : 1;
}

void run_solver_parts(void (*job)(void *ctx, int part, int parts), void *ctx)
{
    if (solver_parts() == 1) {
        job(ctx, 0, 1);
        return;
    }
    HelperPool *pool = helper_pool;
    pool->job = job;
    pool->ctx = ctx;
    unsigned ticket = pool->posted.load(std::memory_order_relaxed) + 1;
    pool->posted.store(ticket);
    if (pool->sleeping.load()) {
        std::lock_guard<std::mutex> guard(pool->lock);
        pool->wake.notify_one();
    }
    job(ctx, 0, 2);
    int spins = 0;
    while (pool->finished.load(std::memory_order_acquire) != ticket) spin_pause(&spins);
}

// ---------------------------------------------------------------------------
// Grid helpers
// ---------------------------------------------------------------------------

static int grid_usable(void)
{
    int w = solver.grid_width, h = solver.grid_height;
    return w >= 1 && h >= 1 && solver.cell_count == (w + 2) * (h + 2) && u && v && u_prev &&
           v_prev && vort_force_u && vort_force_v && curl && pressure && divergence &&
           pressure_guess && pressure_source && dens && dens_prev && color && color_prev && wall;
}

// Rows first .. last of `part` when rows lo .. hi are split into `parts`.
static void part_rows(int lo, int hi, int part, int parts, int *first, int *last)
{
    int rows = hi - lo + 1;
    if (rows < 0) rows = 0;
    *first = lo + (int)((long long)rows * part / parts);
    *last = lo + (int)((long long)rows * (part + 1) / parts) - 1;
}

// Cells first .. end-1 of `part` when count cells are split into `parts`.
static void part_cells(int count, int part, int parts, int *first, int *end)
{
    *first = (int)((long long)count * part / parts);
    *end = (int)((long long)count * (part + 1) / parts);
}

// Lanes r, g, b of a colour kept, alpha taken from another colour.
static inline __m128 keep_alpha(__m128 rgb, __m128 alpha_from)
{
    const __m128 rgb_mask = _mm_castsi128_ps(_mm_set_epi32(0, -1, -1, -1));
    return _mm_or_ps(_mm_and_ps(rgb_mask, rgb), _mm_andnot_ps(rgb_mask, alpha_from));
}

static inline __m128 load_color(const Color *c) { return _mm_loadu_ps(&c->r); }
static inline void store_color(Color *c, __m128 x) { _mm_storeu_ps(&c->r, x); }

// ---------------------------------------------------------------------------
// Gauss-Seidel relaxation on a skewed front
//
// FRONT_ROWS rows j0 .. j0+K-1 are swept together: at front step t, row
// j0+k relaxes column t-k. Cell (i, j0+k) thus comes after (i-1, j0+k) and
// (i, j0+k-1) and before (i+1, j0+k) and (i, j0+k+1), as in a plain sweep,
// while the K rows' dependency chains interleave. Each lane keeps its last
// value (its right neighbour's left) and hands it to the lane above as the
// down neighbour, so neither goes through memory.
//
// Each relaxation is a record of its fields and coefficients with two
// overloads: load_cell(r, c), the values stored at cell c, and
// relax_cell(r, c, left, down), which relaxes cell c in place given its new
// left and down neighbours and returns the new values.
// ---------------------------------------------------------------------------

// One front step in which some lanes lie outside the interior (the start
// and the end of the front): only lanes whose column is 1 .. w relax.
template <class Kernel, class State>
static inline void relax_ragged_step(const Kernel &kern, State *lane, int base, int rows, int t)
{
    int w = solver.grid_width, stride = w + 2;
    int top = rows - 1 < t - 1 ? rows - 1 : t - 1;
    int bottom = t - w > 0 ? t - w : 0;
    for (int k = top; k >= bottom; k--) {
        int c = base + k * stride + (t - k);
        State down = k == 0 ? load_cell(kern, c - stride) : lane[k - 1];
        lane[k] = relax_cell(kern, c, lane[k], down);
    }
}

// Relaxes rows j0 .. j0+rows-1 (rows <= K) once, on a skewed front.
template <class Kernel, int K> static void relax_front(const Kernel &shared, int j0, int rows)
{
    // A private copy: stores into the fields cannot then be taken to change
    // the record's pointers, which would have to be reloaded after each.
    const Kernel kern = shared;
    typedef decltype(load_cell(kern, 0)) State;
    int w = solver.grid_width, stride = w + 2;
    int base = j0 * stride;
    State lane[K];
    for (int k = 0; k < rows; k++) lane[k] = load_cell(kern, base + k * stride);

    int last_step = w + rows - 1;
    if (rows < K) {
        for (int t = 1; t <= last_step; t++) relax_ragged_step(kern, lane, base, rows, t);
        return;
    }
    for (int t = 1; t < K; t++) relax_ragged_step(kern, lane, base, rows, t);
    // Full steps: every lane inside; the lanes live in registers.
    State r[K];
    for (int k = 0; k < K; k++) r[k] = lane[k];
    for (int t = K; t <= w; t++) {
        int c0 = base + t;
#pragma GCC unroll 16
        for (int k = K - 1; k >= 0; k--) {
            int c = c0 + k * (stride - 1);
            State down = k == 0 ? load_cell(kern, c - stride) : r[k - 1];
            r[k] = relax_cell(kern, c, r[k], down);
        }
    }
    for (int k = 0; k < K; k++) lane[k] = r[k];
    for (int t = (K > w + 1 ? K : w + 1); t <= last_step; t++)
        relax_ragged_step(kern, lane, base, rows, t);
}

template <class Kernel> struct RelaxJob {
    const Kernel *kern;
    int sweeps;
    // Progress of each thread: sweep * (rows + 1) + the last row it finished.
    alignas(64) std::atomic<long long> progress0;
    alignas(64) std::atomic<long long> progress1;
};

static void wait_for_progress(const std::atomic<long long> &progress, long long wanted)
{
    int spins = 0;
    while (progress.load(std::memory_order_acquire) < wanted) spin_pause(&spins);
}

// Sweeps part, part + parts, ... : with two threads each takes every other
// sweep and starts rows j .. j+K-1 of its sweep once the other thread has
// finished row j+K of the sweep before; that row is then in the state a
// plain sequence of sweeps would leave it, and no later sweep touches it
// before this thread has read it.
template <class Kernel> static void relax_part(void *ctx, int part, int parts)
{
    RelaxJob<Kernel> *job = (RelaxJob<Kernel> *)ctx;
    int h = solver.grid_height;
    std::atomic<long long> &mine = part == 0 ? job->progress0 : job->progress1;
    std::atomic<long long> &other = part == 0 ? job->progress1 : job->progress0;
    for (int s = part; s < job->sweeps; s += parts) {
        for (int j0 = 1; j0 <= h; j0 += FRONT_ROWS) {
            int rows = h - j0 + 1 < FRONT_ROWS ? h - j0 + 1 : FRONT_ROWS;
            int top = j0 + rows - 1;
            if (parts > 1 && s > 0)
                wait_for_progress(other, (long long)(s - 1) * (h + 1) + (top + 1 < h ? top + 1 : h));
            relax_front<Kernel, FRONT_ROWS>(*job->kern, j0, rows);
            if (parts > 1) mine.store((long long)s * (h + 1) + top, std::memory_order_release);
        }
    }
}

template <class Kernel> static void relax(const Kernel &kern, int sweeps)
{
    if (sweeps <= 0) return;
    RelaxJob<Kernel> job;
    job.kern = &kern;
    job.sweeps = sweeps;
    job.progress0.store(-1);
    job.progress1.store(-1);
    if (sweeps == 1)
        relax_part<Kernel>(&job, 0, 1);     // nothing to overlap
    else
        run_solver_parts(relax_part<Kernel>, &job);
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
// grown once to the grid's size.
static __m128 *packed_field, *packed_source;
static int packed_capacity;

static int packed_ready(void)
{
    int n = solver.cell_count;
    if (packed_capacity >= n) return 1;
    _mm_free(packed_field);
    _mm_free(packed_source);
    packed_field = (__m128 *)_mm_malloc((size_t)n * sizeof(__m128), 64);
    packed_source = (__m128 *)_mm_malloc((size_t)n * sizeof(__m128), 64);
    if (!packed_field || !packed_source) {
        _mm_free(packed_field);
        _mm_free(packed_source);
        packed_field = packed_source = nullptr;
        packed_capacity = 0;
        return 0;
    }
    packed_capacity = n;
    return 1;
}

// The fields a packed relaxation works on: either u, v and pressure_guess
// (lanes 0-2, lane 3 unused) or colour r, g, b and density (lanes 0-3).
struct PackedFields {
    float *field[3];
    const float *source[3];
    Color *color_field;
    float *density;
    const Color *color_source;
    const float *density_source;
};

static void pack_part(void *ctx, int part, int parts)
{
    const PackedFields *job = (const PackedFields *)ctx;
    int first, end;
    part_cells(solver.cell_count, part, parts, &first, &end);
    float *x = (float *)packed_field;
    float *x0 = (float *)packed_source;
    if (job->color_field) {
        const Color *c = job->color_field, *c0 = job->color_source;
        const float *d = job->density, *d0 = job->density_source;
        for (int n = first; n < end; n++) {
            packed_field[n] = load_color(c + n);
            packed_source[n] = load_color(c0 + n);
            x[4 * n + 3] = d[n];
            x0[4 * n + 3] = d0[n];
        }
        return;
    }
    const float *f0 = job->field[0], *f1 = job->field[1], *f2 = job->field[2];
    const float *s0 = job->source[0], *s1 = job->source[1], *s2 = job->source[2];
    for (int n = first; n < end; n++) {
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

static void unpack_part(void *ctx, int part, int parts)
{
    const PackedFields *job = (const PackedFields *)ctx;
    int first, end;
    part_cells(solver.cell_count, part, parts, &first, &end);
    const float *x = (const float *)packed_field;
    if (job->color_field) {
        Color *c = job->color_field;
        float *d = job->density;
        for (int n = first; n < end; n++) {
            store_color(c + n, keep_alpha(packed_field[n], load_color(c + n)));
            d[n] = x[4 * n + 3];
        }
        return;
    }
    float *f0 = job->field[0], *f1 = job->field[1], *f2 = job->field[2];
    for (int n = first; n < end; n++) {
        f0[n] = x[4 * n];
        f1[n] = x[4 * n + 1];
        f2[n] = x[4 * n + 2];
    }
}

// Relaxes the packed fields with coefficient a for `sweeps` sweeps and
// writes them back; 0 when the scratch could not be had.
static int relax_packed(const PackedFields &fields, float a, float denominator, int sweeps)
{
    if (!packed_ready()) return 0;
    run_solver_parts(pack_part, (void *)&fields);
    int stride = solver.grid_width + 2;
    if (denominator == 1.0f) {
        PackedDiffusion<false> kern{packed_field, packed_source, _mm_set1_ps(a),
                                    _mm_set1_ps(denominator), stride};
        relax(kern, sweeps);
    } else {
        PackedDiffusion<true> kern{packed_field, packed_source, _mm_set1_ps(a),
                                   _mm_set1_ps(denominator), stride};
        relax(kern, sweeps);
    }
    run_solver_parts(unpack_part, (void *)&fields);
    return 1;
}

// ---------------------------------------------------------------------------
// Straight kernels, split by rows between the threads
// ---------------------------------------------------------------------------

struct AddSources {
    float *x, *y, *z;
    const float *x0, *y0, *z0;
    float dt;
};

static void add_sources_part(void *ctx, int part, int parts)
{
    const AddSources *job = (const AddSources *)ctx;
    int first, end;
    part_cells(solver.cell_count, part, parts, &first, &end);
    __m128 dt = _mm_set1_ps(job->dt);
    float *fields[3] = {job->x, job->y, job->z};
    const float *sources[3] = {job->x0, job->y0, job->z0};
    for (int f = 0; f < 3; f++) {
        float *x = fields[f];
        const float *x0 = sources[f];
        if (!x) continue;
        int n = first;
        for (; n + 4 <= end; n += 4)
            _mm_storeu_ps(x + n, _mm_add_ps(_mm_loadu_ps(x + n),
                                            _mm_mul_ps(dt, _mm_loadu_ps(x0 + n))));
        for (; n < end; n++) x[n] = x[n] + job->dt * x0[n];
    }
}

static void add_color_sources_part(void *, int part, int parts)
{
    int first, end;
    part_cells(solver.cell_count, part, parts, &first, &end);
    Color *col = color;
    const Color *col0 = color_prev;
    for (int n = first; n < end; n++) {
        __m128 c = load_color(col + n);
        store_color(col + n, keep_alpha(_mm_add_ps(c, load_color(col0 + n)), c));
    }
}

struct Projection {
    float *p, *d;
    float h;
};

// The straight kernels below run four cells of a row at a time; each lane
// does the scalar formula's operations in its order, so the results are the
// same bits as one cell at a time.
static const int LANES = 4;

static void divergence_part(void *ctx, int part, int parts)
{
    const Projection *job = (const Projection *)ctx;
    int w = solver.grid_width, stride = w + 2;
    const float *x = u, *y = v, *guess = pressure_guess;
    float *d = job->d, *p = job->p;
    float scale = -0.5f * job->h;
    __m128 vscale = _mm_set1_ps(scale);
    int first, last;
    part_rows(1, solver.grid_height, part, parts, &first, &last);
    for (int j = first; j <= last; j++) {
        int i = 1;
        for (; i + LANES - 1 <= w; i += LANES) {
            int c = i + stride * j;
            __m128 sum = _mm_sub_ps(_mm_loadu_ps(x + c + 1), _mm_loadu_ps(x + c - 1));
            sum = _mm_add_ps(sum, _mm_loadu_ps(y + c + stride));
            sum = _mm_sub_ps(sum, _mm_loadu_ps(y + c - stride));
            _mm_storeu_ps(d + c, _mm_mul_ps(vscale, sum));
            _mm_storeu_ps(p + c, _mm_loadu_ps(guess + c));
        }
        for (; i <= w; i++) {
            int c = i + stride * j;
            d[c] = scale * (x[c + 1] - x[c - 1] + y[c + stride] - y[c - stride]);
            p[c] = guess[c];
        }
    }
}

static void gradient_part(void *ctx, int part, int parts)
{
    const Projection *job = (const Projection *)ctx;
    const float *p = job->p, *d = job->d;
    float *x = u, *y = v, *shown_p = pressure, *shown_d = divergence;
    int w = solver.grid_width, stride = w + 2;
    float h = job->h;
    __m128 vh = _mm_set1_ps(h), half = _mm_set1_ps(0.5f);
    int first, last;
    part_rows(1, solver.grid_height, part, parts, &first, &last);
    for (int j = first; j <= last; j++) {
        int i = 1;
        for (; i + LANES - 1 <= w; i += LANES) {
            int c = i + stride * j;
            _mm_storeu_ps(shown_p + c, _mm_loadu_ps(p + c));
            _mm_storeu_ps(shown_d + c, _mm_loadu_ps(d + c));
            __m128 gx = _mm_mul_ps(half, _mm_sub_ps(_mm_loadu_ps(p + c + 1), _mm_loadu_ps(p + c - 1)));
            __m128 gy = _mm_mul_ps(half, _mm_sub_ps(_mm_loadu_ps(p + c + stride),
                                                    _mm_loadu_ps(p + c - stride)));
            _mm_storeu_ps(x + c, _mm_sub_ps(_mm_loadu_ps(x + c), _mm_div_ps(gx, vh)));
            _mm_storeu_ps(y + c, _mm_sub_ps(_mm_loadu_ps(y + c), _mm_div_ps(gy, vh)));
        }
        for (; i <= w; i++) {
            int c = i + stride * j;
            shown_p[c] = p[c];
            shown_d[c] = d[c];
            x[c] = x[c] - 0.5f * (p[c + 1] - p[c - 1]) / h;
            y[c] = y[c] - 0.5f * (p[c + stride] - p[c - stride]) / h;
        }
    }
}

// ---------------------------------------------------------------------------
// Pressure solve in four bands
//
// The rows 1 .. H are cut into four bands of q rows, and lane k of a vector
// holds band k: banded[r][i] = (p(i, 1 + r), p(i, 1 + q + r),
// p(i, 1 + 2q + r), p(i, 1 + 3q + r)). One pass relaxes the four bands at
// once, band k one sweep behind band k-1: in pass n band k does sweep n-k.
// A band's bottom row then sees the row below it (the top of band k-1) as
// band k-1 left it after that same sweep, and its top row sees the row above
// it (the bottom of band k+1) as band k+1 left it after the sweep before,
// exactly as in a plain sweep. Two halo rows carry those rows across the
// bands: row -1 holds the band tops shifted up one lane (grid row 0 in lane
// 0), refreshed at the end of a pass; row q the band bottoms shifted down
// one lane (grid row H+1 in lane 3), refreshed once the first front of a
// pass has passed row 0. Inside a pass the rows run on a skewed front.
//
// Every lane is relaxed in every pass; the passes in which a band must not
// sweep are undone instead: a band that has not started is loaded afresh
// from the grid when it starts (and its bottom row, while it waits, is
// passed to the band below from a copy); a band that has done all its sweeps
// is copied back to the grid right after its last one, and what later
// passes do to it is never read. Rows of the last band past H hold grid row
// H+1 in the first of them (restored after every pass) and are not copied
// back.
// ---------------------------------------------------------------------------

static const int BANDS = 4;

struct BandedPressure {
    __m128 *x;          // band rows -1 .. q, stride w + 2; x points at row 0
    const __m128 *d;    // band rows 0 .. q-1
    int stride;
};

static inline __m128 load_cell(const BandedPressure &r, int c) { return r.x[c]; }

static inline __m128 relax_cell(const BandedPressure &r, int c, __m128 left, __m128 down)
{
    __m128 sum = _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_add_ps(r.d[c], left), r.x[c + 1]), down),
                            r.x[c + r.stride]);
    __m128 value = _mm_mul_ps(sum, _mm_set1_ps(0.25f));
    r.x[c] = value;
    return value;
}

// Scratch: the banded field with its halo rows, the banded divergence, band
// row 0 as loaded (for the bands that have not started), and grid rows 0
// and H+1.
static __m128 *banded_field, *banded_divergence, *banded_row0;
static float *banded_edges;
static int banded_capacity, banded_row_capacity;

static int banded_ready(int q, int w)
{
    int cells = (q + 2) * (w + 2);
    if (banded_capacity < cells) {
        _mm_free(banded_field);
        _mm_free(banded_divergence);
        banded_field = (__m128 *)_mm_malloc((size_t)cells * sizeof(__m128), 64);
        banded_divergence = (__m128 *)_mm_malloc((size_t)cells * sizeof(__m128), 64);
        banded_capacity = banded_field && banded_divergence ? cells : 0;
        if (!banded_capacity) return 0;
    }
    if (banded_row_capacity < w + 2) {
        free(banded_edges);
        _mm_free(banded_row0);
        banded_edges = (float *)malloc(2 * (size_t)(w + 2) * sizeof(float));
        banded_row0 = (__m128 *)_mm_malloc((size_t)(w + 2) * sizeof(__m128), 64);
        banded_row_capacity = banded_edges && banded_row0 ? w + 2 : 0;
        if (!banded_row_capacity) return 0;
    }
    return 1;
}

// (low, v0, v1, v2) and (v1, v2, v3, high).
static inline __m128 shift_up(__m128 v, float low)
{
    __m128 t = _mm_shuffle_ps(_mm_set_ss(low), v, _MM_SHUFFLE(0, 0, 0, 0));
    return _mm_shuffle_ps(t, v, _MM_SHUFFLE(2, 1, 2, 0));
}

static inline __m128 shift_down(__m128 v, float high)
{
    __m128 t = _mm_shuffle_ps(v, _mm_set_ss(high), _MM_SHUFFLE(0, 0, 3, 3));
    return _mm_shuffle_ps(v, t, _MM_SHUFFLE(2, 0, 2, 1));
}

static inline __m128 select_lanes(__m128 mask, __m128 yes, __m128 no)
{
    return _mm_or_ps(_mm_and_ps(mask, yes), _mm_andnot_ps(mask, no));
}

// Lanes first .. end-1 set.
static __m128 lane_mask(int first, int end)
{
    int bits[BANDS];
    for (int k = 0; k < BANDS; k++) bits[k] = (k >= first && k < end) ? -1 : 0;
    return _mm_castsi128_ps(_mm_set_epi32(bits[3], bits[2], bits[1], bits[0]));
}

struct BandedCopy {
    float *p;
    const float *d;
    int q;
    int lane;           // the one lane to copy, or -1 for all four
};

// Grid rows into band rows (and the divergence, for all four lanes).
static void band_part(void *ctx, int part, int parts)
{
    const BandedCopy *job = (const BandedCopy *)ctx;
    int w = solver.grid_width, h = solver.grid_height, stride = w + 2, q = job->q;
    int first, last;
    part_rows(0, q - 1, part, parts, &first, &last);
    for (int r = first; r <= last; r++) {
        float *x = (float *)(banded_field + (r + 1) * stride);
        float *d = (float *)(banded_divergence + r * stride);
        for (int k = 0; k < BANDS; k++) {
            if (job->lane >= 0 && k != job->lane) continue;
            int row = 1 + k * q + r;
            const float *from = job->p + stride * (row <= h + 1 ? row : h + 1);
            const float *from_d = job->d + stride * (row <= h ? row : h);
            for (int i = 0; i <= w + 1; i++) {
                x[BANDS * i + k] = from[i];
                if (job->lane < 0) d[BANDS * i + k] = from_d[i];
            }
        }
    }
}

// Band rows back into the grid: interior cells of the lanes asked for.
static void unband_part(void *ctx, int part, int parts)
{
    const BandedCopy *job = (const BandedCopy *)ctx;
    int w = solver.grid_width, h = solver.grid_height, stride = w + 2, q = job->q;
    int first, last;
    part_rows(0, q - 1, part, parts, &first, &last);
    for (int r = first; r <= last; r++) {
        const float *x = (const float *)(banded_field + (r + 1) * stride);
        for (int k = 0; k < BANDS; k++) {
            if (job->lane >= 0 && k != job->lane) continue;
            int row = 1 + k * q + r;
            if (row > h) continue;
            float *to = job->p + stride * row;
            for (int i = 1; i <= w; i++) to[i] = x[BANDS * i + k];
        }
    }
}

static void copy_lane(void (*job)(void *, int, int), BandedCopy copy, int lane)
{
    copy.lane = lane;
    run_solver_parts(job, &copy);
}

// Runs `sweeps` sweeps of the pressure relaxation on p; 0 (and nothing
// done) when the grid is too short for the bands or the scratch could not
// be had.
static int relax_pressure_banded(float *p, const float *d, int sweeps)
{
    int w = solver.grid_width, h = solver.grid_height, stride = w + 2;
    int q = (h + BANDS - 1) / BANDS;
    // Row q-1 must come after the first front, and the last band must hold
    // at least one grid row.
    if (q <= FRONT_ROWS || BANDS * q - h >= q || !banded_ready(q, w)) return 0;
    BandedCopy copy{p, d, q, -1};
    run_solver_parts(band_part, &copy);
    float *bottom = banded_edges, *top = banded_edges + stride;
    for (int i = 0; i <= w + 1; i++) {
        bottom[i] = p[i];
        top[i] = p[i + stride * (h + 1)];
    }
    BandedPressure b{banded_field + stride, banded_divergence, stride};
    __m128 *row0 = b.x, *halo_below = b.x - stride, *halo_above = b.x + q * stride;
    __m128 *last_row = b.x + (q - 1) * stride;
    int past_h = h - (BANDS - 1) * q;       // band row of grid row H+1 in lane 3
    float *beyond = past_h < q ? (float *)(b.x + past_h * stride) : nullptr;
    for (int i = 0; i <= w + 1; i++) {
        halo_below[i] = shift_up(last_row[i], bottom[i]);
        halo_above[i] = shift_down(row0[i], top[i]);
        banded_row0[i] = row0[i];
    }
    for (int pass = 0; pass < sweeps + BANDS - 1; pass++) {
        int started = pass + 1 < BANDS ? pass + 1 : BANDS;
        if (pass >= 1 && pass < BANDS) copy_lane(band_part, copy, pass);
        relax_front<BandedPressure, FRONT_ROWS>(b, 0, FRONT_ROWS);
        __m128 running = lane_mask(0, started);
        for (int i = 0; i <= w + 1; i++) {
            __m128 bottoms = started < BANDS ? select_lanes(running, row0[i], banded_row0[i])
                                             : row0[i];
            halo_above[i] = shift_down(bottoms, top[i]);
        }
        for (int r0 = FRONT_ROWS; r0 < q; r0 += FRONT_ROWS)
            relax_front<BandedPressure, FRONT_ROWS>(b, r0, q - r0 < FRONT_ROWS ? q - r0 : FRONT_ROWS);
        for (int i = 0; i <= w + 1; i++) halo_below[i] = shift_up(last_row[i], bottom[i]);
        if (beyond)
            for (int i = 0; i <= w + 1; i++) beyond[BANDS * i + BANDS - 1] = top[i];
        int finished = pass - (sweeps - 1);
        if (finished >= 0 && finished < BANDS) copy_lane(unband_part, copy, finished);
    }
    return 1;
}

// Makes (u, v) divergence-free, using u_prev as the pressure and v_prev as
// the divergence term.
static void project(float h)
{
    Projection job{u_prev, v_prev, h};
    run_solver_parts(divergence_part, &job);
    set_boundary(job.d, BOUNDARY_SCALAR);
    set_boundary(job.p, BOUNDARY_SCALAR);
    if (solver.iterations > 0 && !relax_pressure_banded(job.p, job.d, solver.iterations)) {
        PressureRelaxation kern{job.p, job.d, solver.grid_width + 2};
        relax(kern, solver.iterations);
    }
    set_boundary(job.p, BOUNDARY_SCALAR);
    run_solver_parts(gradient_part, &job);
    set_boundary(u, BOUNDARY_U);
    set_boundary(v, BOUNDARY_V);
}

// Where the back-traced position of a cell falls: the four cells around it
// and their weights.
struct Trace {
    int c00, c01, c10, c11;     // (i0, j0), (i0, j1), (i1, j0), (i1, j1)
    float s0, s1, t0, t1;
};

// Limits of a back-traced position: half a cell inside the border ring.
struct TraceLimits {
    float dt0;
    float right, top;           // grid_width + 0.5, grid_height + 0.5
    int stride;
};

static inline Trace trace_back(int i, int j, float back_x, float back_y, const TraceLimits &lim)
{
    float x = i - lim.dt0 * back_x;
    float y = j - lim.dt0 * back_y;
    // Written as "not at least 0.5" so that a position that is not a number
    // (from an overflowed velocity) lands on the first half cell instead of
    // indexing outside the grid.
    if (!(x >= 0.5f)) x = 0.5f;
    if (x > lim.right) x = lim.right;
    if (!(y >= 0.5f)) y = 0.5f;
    if (y > lim.top) y = lim.top;
    int i0 = (int)x, j0 = (int)y;
    Trace t;
    t.c00 = i0 + lim.stride * j0;
    t.c01 = t.c00 + lim.stride;
    t.c10 = t.c00 + 1;
    t.c11 = t.c01 + 1;
    t.s1 = x - i0;
    t.s0 = 1 - t.s1;
    t.t1 = y - j0;
    t.t0 = 1 - t.t1;
    return t;
}

static inline float sample(const Trace &t, const float *q0)
{
    return t.s0 * (t.t0 * q0[t.c00] + t.t1 * q0[t.c01]) +
           t.s1 * (t.t0 * q0[t.c10] + t.t1 * q0[t.c11]);
}

static inline __m128 sample_color(const Trace &t, const Color *q0)
{
    __m128 s0 = _mm_set1_ps(t.s0), s1 = _mm_set1_ps(t.s1);
    __m128 t0 = _mm_set1_ps(t.t0), t1 = _mm_set1_ps(t.t1);
    __m128 low = _mm_add_ps(_mm_mul_ps(t0, load_color(q0 + t.c00)),
                            _mm_mul_ps(t1, load_color(q0 + t.c01)));
    __m128 high = _mm_add_ps(_mm_mul_ps(t0, load_color(q0 + t.c10)),
                             _mm_mul_ps(t1, load_color(q0 + t.c11)));
    return _mm_add_ps(_mm_mul_ps(s0, low), _mm_mul_ps(s1, high));
}

static TraceLimits trace_limits(float dt0)
{
    return TraceLimits{dt0, solver.grid_width + 0.5f, solver.grid_height + 0.5f,
                       solver.grid_width + 2};
}

// u and v rebuilt from u_prev and v_prev, traced back along themselves.
static void advect_velocity_part(void *ctx, int part, int parts)
{
    const TraceLimits lim = *(const TraceLimits *)ctx;
    int w = solver.grid_width, stride = lim.stride;
    float *x = u, *y = v;
    const float *x0 = u_prev, *y0 = v_prev;
    int first, last;
    part_rows(1, solver.grid_height, part, parts, &first, &last);
    for (int j = first; j <= last; j++) {
        for (int i = 1; i <= w; i++) {
            int c = i + stride * j;
            Trace t = trace_back(i, j, x0[c], y0[c], lim);
            x[c] = sample(t, x0);
            y[c] = sample(t, y0);
        }
    }
}

// dens and colour rebuilt from dens_prev and color_prev along (u, v);
// density loses the fraction `dissipation`, colour keeps its alpha.
static void advect_density_part(void *ctx, int part, int parts)
{
    const TraceLimits lim = *(const TraceLimits *)ctx;
    float keep = 1 - solver.dissipation;
    int w = solver.grid_width, stride = lim.stride;
    const float *x = u, *y = v, *d0 = dens_prev;
    float *d = dens;
    Color *col = color;
    const Color *col0 = color_prev;
    int first, last;
    part_rows(1, solver.grid_height, part, parts, &first, &last);
    for (int j = first; j <= last; j++) {
        for (int i = 1; i <= w; i++) {
            int c = i + stride * j;
            Trace t = trace_back(i, j, x[c], y[c], lim);
            float q = sample(t, d0);
            d[c] = q * keep;
            store_color(col + c, keep_alpha(sample_color(t, col0), load_color(col + c)));
        }
    }
}

static void refill_part(void *, int part, int parts)
{
    int first, end;
    part_cells(solver.cell_count, part, parts, &first, &end);
    __m128 refill = _mm_set1_ps(SOURCE_REFILL);
    float *fields[4] = {pressure_source, u_prev, v_prev, dens_prev};
    for (float *f : fields) {
        int n = first;
        for (; n + 4 <= end; n += 4) _mm_storeu_ps(f + n, refill);
        for (; n < end; n++) f[n] = SOURCE_REFILL;
    }
    Color *col0 = color_prev;
    for (int n = first; n < end; n++) store_color(col0 + n, refill);
}

// ---------------------------------------------------------------------------
// The step
// ---------------------------------------------------------------------------

// More than one sweep: relaxed packed (one division per cell for all three
// fields); a single sweep does not pay for the packing.
static void relax_velocity(float a, float denominator, int sweeps)
{
    PackedFields fields{{u, v, pressure_guess}, {u_prev, v_prev, pressure_source},
                        nullptr, nullptr, nullptr, nullptr};
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

static void diffuse_velocity(float dt)
{
    float a = solver.viscosity * dt * solver.grid_width * solver.grid_height;
    relax_velocity(a, 1 + 4 * a, a == 0 ? 1 : solver.iterations);
    set_boundary(u, BOUNDARY_U);
    set_boundary(v, BOUNDARY_V);
}

static void relax_density(float a, float denominator, int sweeps)
{
    PackedFields fields{{nullptr, nullptr, nullptr}, {nullptr, nullptr, nullptr},
                        color, dens, color_prev, dens_prev};
    if (sweeps > 1 && relax_packed(fields, a, denominator, sweeps)) return;
    int stride = solver.grid_width + 2;
    if (denominator == 1.0f) {
        DensityDiffusion<false> kern{dens, dens_prev, color, color_prev, a, denominator, stride};
        relax(kern, sweeps);
    } else {
        DensityDiffusion<true> kern{dens, dens_prev, color, color_prev, a, denominator, stride};
        relax(kern, sweeps);
    }
}

static void diffuse_density(float dt)
{
    float a = solver.diffusion * dt * solver.grid_width * solver.grid_height;
    relax_density(a, 1 + 4 * a, (a == 0 ? 4 : solver.iterations) / 4);
    set_boundary(dens, BOUNDARY_SCALAR);
}

static void velocity_step(float dt, float h, float dt0)
{
    AddSources sources{u, v, pressure_guess, u_prev, v_prev, pressure_source, dt};
    run_solver_parts(add_sources_part, &sources);
    std::swap(u, u_prev);
    std::swap(v, v_prev);
    diffuse_velocity(dt);
    project(h);
    std::swap(u, u_prev);
    std::swap(v, v_prev);
    TraceLimits limits = trace_limits(dt0);
    run_solver_parts(advect_velocity_part, &limits);
    set_boundary(u, BOUNDARY_U);
    set_boundary(v, BOUNDARY_V);
    project(h);
}

static void density_step(float dt, float dt0)
{
    AddSources sources{dens, nullptr, nullptr, dens_prev, nullptr, nullptr, dt};
    run_solver_parts(add_sources_part, &sources);
    run_solver_parts(add_color_sources_part, nullptr);
    std::swap(dens, dens_prev);
    std::swap(color, color_prev);
    diffuse_density(dt);
    std::swap(dens, dens_prev);
    std::swap(color, color_prev);
    TraceLimits limits = trace_limits(dt0);
    run_solver_parts(advect_density_part, &limits);
    set_boundary(dens, BOUNDARY_SCALAR);
}

void solver_step(void)
{
    if (!grid_usable()) return;
    int w = solver.grid_width, h = solver.grid_height;
    float dt = solver.timestep;
    float scale = (float)(1.0 / ((w + h) * 0.5));
    float dt0 = (float)(dt * (w + h) * 0.5);

    int automatic = solver_threads == SOLVER_THREADS_AUTO && h >= PARALLEL_MIN_ROWS;
    step_alone = automatic && choose_alone();
    long long start = now_ns();

    list_wall_cells();
    compute_vorticity();
    compute_confinement();
    if (gravity_on) apply_gravity();
    if (buoyancy_on) apply_buoyancy();
    if (vorticity_on) apply_confinement();
    velocity_step(dt, scale, dt0);
    density_step(dt, dt0);
    run_solver_parts(refill_part, nullptr);
    forget_wall_cells();

    if (automatic) book_step_time(step_alone, now_ns() - start);
    step_alone = 0;
}
