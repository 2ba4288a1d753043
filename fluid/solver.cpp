// solver.cpp -- the solver step: sources, viscous diffusion, pressure
// projection and advection of the velocity, then diffusion and advection of
// density and ink colour, then the refill of the sources. Owns the choice of
// the lane kernels (solver_lanes.inc, compiled once per instruction set in
// solver_sse.cpp, solver_avx2.cpp and solver_avx512.cpp); the diffusions are
// solver_diffuse.cpp's, and the helper thread that the step (and the force
// stage) share the work with is solver_threads.cpp's.
//
// The pressure solve runs bands of rows in the lanes of a vector, each band
// one sweep behind the band below (on two threads, each its own bands),
// keeping for every cell the neighbours a plain sweep sees updated, so the
// fields come out bit for bit as with one plain column-by-column pass per
// sweep. The straight kernels split the rows between the threads and run
// several cells at a time, lane by lane the same arithmetic. With two
// threads the density's diffusion runs beside the velocity step.
#include "fluid/fluid.h"

#include <utility>

#include <emmintrin.h>

int solver_simd_path = SOLVER_PATH_AUTO;

// ---------------------------------------------------------------------------
// Lane kernels: which instruction set
// ---------------------------------------------------------------------------

int solver_path_supported(int path)
{
    switch (path) {
    case SOLVER_PATH_SSE:
        return 1;
    case SOLVER_PATH_AVX2:
        return __builtin_cpu_supports("avx2") != 0;
    case SOLVER_PATH_AVX512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
               __builtin_cpu_supports("avx512vl");
    default:
        return 0;
    }
}

// In the automatic setting the first PATH_TRIAL_ROUNDS rounds of steps on a
// grid take each path the processor runs in turn; then the path with the
// shortest of its steps is kept until the grid changes. Wider lanes are not
// faster everywhere (some processors split a 512-bit operation in two, and
// the wider bands of the pressure solve waste more passes), and the
// shortest step is the one least disturbed by other work on the machine.
static const int PATH_TRIAL_ROUNDS = 6;
static const int PATH_COUNT = SOLVER_PATH_AVX512 + 1;
static int chosen_path;                     // 0 while trying
static int trial_cells;                     // cell_count the trials are for
static int trial_step;
static long long shortest_ns[PATH_COUNT];   // per path; 0: not timed yet

static int trial_path(void)
{
    int paths[PATH_COUNT], count = 0;
    for (int path = SOLVER_PATH_SSE; path < PATH_COUNT; path++)
        if (solver_path_supported(path)) paths[count++] = path;
    return paths[trial_step % count];
}

int solver_path_in_use(void)
{
    if (solver_path_supported(solver_simd_path)) return solver_simd_path;
    if (trial_cells != solver.cell_count) return trial_path();
    return chosen_path ? chosen_path : trial_path();
}

// Books the time of a step that ran on `path` in the automatic setting.
static void book_path_time(int path, long long ns)
{
    if (trial_cells != solver.cell_count) {
        trial_cells = solver.cell_count;
        chosen_path = 0;
        trial_step = 0;
        for (long long &t : shortest_ns) t = 0;
    }
    if (chosen_path) return;
    if (shortest_ns[path] == 0 || ns < shortest_ns[path]) shortest_ns[path] = ns;
    trial_step++;
    int paths = 0;
    for (int p = SOLVER_PATH_SSE; p < PATH_COUNT; p++) paths += solver_path_supported(p);
    if (trial_step < PATH_TRIAL_ROUNDS * paths) return;
    for (int p = SOLVER_PATH_SSE; p < PATH_COUNT; p++)
        if (shortest_ns[p] > 0 && (!chosen_path || shortest_ns[p] < shortest_ns[chosen_path]))
            chosen_path = p;
}

const char *solver_path_name(int path)
{
    switch (path) {
    case SOLVER_PATH_SSE:
        return "sse";
    case SOLVER_PATH_AVX2:
        return "avx2";
    case SOLVER_PATH_AVX512:
        return "avx512";
    default:
        return "auto";
    }
}

static const SolverLaneKernels &lane_kernels(int path)
{
    switch (path) {
    case SOLVER_PATH_AVX512:
        return solver_lanes_avx512;
    case SOLVER_PATH_AVX2:
        return solver_lanes_avx2;
    default:
        return solver_lanes_sse;
    }
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

// ---------------------------------------------------------------------------
// Projection and refill
// ---------------------------------------------------------------------------

// The pressure sweeps in the widest bands the grid is tall enough for;
// short grids sweep row by row.
static void relax_pressure(const SolverLaneKernels &lanes, float *p, const float *d)
{
    if (lanes.relax_pressure(p, d, solver.iterations)) return;
    const SolverLaneKernels *narrower[] = {&solver_lanes_avx2, &solver_lanes_sse};
    for (const SolverLaneKernels *k : narrower)
        if (k->lanes < lanes.lanes && k->relax_pressure(p, d, solver.iterations)) return;
    solver_relax_pressure_rows(p, d, solver.iterations);
}

// Makes (u, v) divergence-free, using u_prev as the pressure and v_prev as
// the divergence term.
static void project(const SolverLaneKernels &lanes, float h)
{
    float *p = u_prev, *d = v_prev;
    lanes.divergence(p, d, h);
    set_boundary(d, BOUNDARY_SCALAR);
    set_boundary(p, BOUNDARY_SCALAR);
    if (solver.iterations > 0) relax_pressure(lanes, p, d);
    set_boundary(p, BOUNDARY_SCALAR);
    lanes.gradient(p, d, h);
    set_boundary(u, BOUNDARY_U);
    set_boundary(v, BOUNDARY_V);
}

static void refill_part(void *, int part, int parts)
{
    int first, end;
    solver_part_cells(solver.cell_count, part, parts, &first, &end);
    __m128 refill = _mm_set1_ps(SOURCE_REFILL);
    float *fields[4] = {pressure_source, u_prev, v_prev, dens_prev};
    for (float *f : fields) {
        int n = first;
        for (; n + 4 <= end; n += 4) _mm_storeu_ps(f + n, refill);
        for (; n < end; n++) f[n] = SOURCE_REFILL;
    }
    Color *col0 = color_prev;
    for (int n = first; n < end; n++) _mm_storeu_ps(&col0[n].r, refill);
}

// ---------------------------------------------------------------------------
// The step
// ---------------------------------------------------------------------------

// Velocity step, first half: sources, diffusion, the first projection.
static void diffuse_velocity_step(const SolverLaneKernels &lanes, float dt, float h)
{
    solver_diffuse_velocity(lanes, dt);
    project(lanes, h);
    std::swap(u, u_prev);
    std::swap(v, v_prev);
}

// Velocity step, second half: advection and the second projection.
static void advect_velocity_step(const SolverLaneKernels &lanes, float h, float dt0)
{
    lanes.advect_velocity(dt0);
    set_boundary(u, BOUNDARY_U);
    set_boundary(v, BOUNDARY_V);
    project(lanes, h);
}

struct StepHalves {
    const SolverLaneKernels *lanes;
    float dt, h, dt0;
    int whole_velocity;     // 1: the helper's task is set against the whole velocity step
};

// The velocity step's first half (or all of it) on the calling thread, the
// density's diffusion on the helper.
static void step_halves_part(void *ctx, int part, int)
{
    const StepHalves *job = (const StepHalves *)ctx;
    if (part == 1) {
        solver_diffuse_density(*job->lanes, job->dt);
        return;
    }
    diffuse_velocity_step(*job->lanes, job->dt, job->h);
    if (job->whole_velocity) advect_velocity_step(*job->lanes, job->h, job->dt0);
}

// The density's sources and diffusion depend on nothing the velocity step
// does, so with two threads they run on the helper while the calling thread
// runs the first half of the velocity step; the rest of the step then
// shares its kernels between the threads. On small grids, where those
// kernels are too short to split with profit, the calling thread runs the
// whole velocity step meanwhile.
static const int WHOLE_VELOCITY_MAX_CELLS = 160 * 160;

static void velocity_and_density_steps(const SolverLaneKernels &lanes, float dt, float h,
                                       float dt0)
{
    int whole = solver.cell_count <= WHOLE_VELOCITY_MAX_CELLS;
    StepHalves halves{&lanes, dt, h, dt0, whole};
    if (run_solver_tasks(step_halves_part, &halves)) {
        if (!whole) advect_velocity_step(lanes, h, dt0);
    } else {
        diffuse_velocity_step(lanes, dt, h);
        advect_velocity_step(lanes, h, dt0);
        solver_diffuse_density(lanes, dt);
    }
    lanes.advect_density(dt0);
    set_boundary(dens, BOUNDARY_SCALAR);
}

void solver_step(void)
{
    if (!grid_usable()) return;
    int w = solver.grid_width, h = solver.grid_height;
    float dt = solver.timestep;
    float scale = (float)(1.0 / ((w + h) * 0.5));
    float dt0 = (float)(dt * (w + h) * 0.5);
    int path = solver_path_in_use();
    const SolverLaneKernels &lanes = lane_kernels(path);

    solver_timing_begin();
    list_wall_cells();
    compute_vorticity();
    compute_confinement();
    if (gravity_on) apply_gravity();
    if (buoyancy_on) apply_buoyancy();
    if (vorticity_on) apply_confinement();
    velocity_and_density_steps(lanes, dt, scale, dt0);
    run_solver_parts(refill_part, nullptr);
    forget_wall_cells();
    long long ns = solver_timing_end();
    if (!solver_path_supported(solver_simd_path)) book_path_time(path, ns);
}
