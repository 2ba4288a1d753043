// fluid.h -- the fluid: grid and fields, the solver step, the boundary rule,
// vorticity and body forces, jets and particles, and what the mouse tools do
// to the fluid.
//
// Cell (i, j) of every field is at cell_index(i, j); column 1 is at the left,
// row 1 at the bottom, and a ring of border cells one cell thick surrounds
// the grid_width x grid_height interior cells.
#pragma once

#include "app/app.h"

// ---------------------------------------------------------------------------
// Solver settings: the solver's own copy of the parameters, taken by
// load_solver_settings at start-up and again by the options page after a
// change; the size only changes with the grid (use_grid_storage).
// ---------------------------------------------------------------------------
struct SolverSettings {
    int grid_width;         // interior columns
    int grid_height;        // interior rows
    int cell_count;         // (grid_width + 2) * (grid_height + 2); 0 when unusable
    int iterations;         // relaxation sweeps
    float timestep;
    float diffusion;
    float viscosity;
    float dissipation;
    float turbulance;
    float gravity_force;
    float buoyancy_force;
};
extern SolverSettings solver;

// Boundary kinds of the boundary rule.
enum { BOUNDARY_SCALAR = 0, BOUNDARY_U = 1, BOUNDARY_V = 2 };

// Values of the wall field.
enum { CELL_FLUID = 0, CELL_WALL = 1, CELL_PLAYER_PADDLE = 2, CELL_OPPONENT_PADDLE = 3 };

// Value every source cell is refilled with after a step.
const float SOURCE_REFILL = 1e-10f;

// ---------------------------------------------------------------------------
// Fields: allocated at start-up, made anew at another size by the options
// page (make_grid_storage, use_grid_storage), released by an exit handler. The solver
// step swaps u/u_prev, v/v_prev, dens/dens_prev and color/color_prev while it
// runs and always swaps them back before it returns. Sources (u_prev, v_prev,
// dens_prev, color_prev, pressure_source) are assigned by tools, jets and the
// game during a frame and refilled with SOURCE_REFILL by the step.
// ---------------------------------------------------------------------------
extern float *u, *v, *u_prev, *v_prev;
extern float *vort_force_u, *vort_force_v, *curl;
extern float *pressure, *divergence, *pressure_guess, *pressure_source;
extern float *dens, *dens_prev;
extern Color *color, *color_prev;
extern int *wall;

inline int cell_index(int i, int j) { return i + (solver.grid_width + 2) * j; }

// 1 when (i, j) lies inside the arrays (border ring included).
inline int cell_in_array(int i, int j)
{
    return i >= 0 && j >= 0 && i <= solver.grid_width + 1 && j <= solver.grid_height + 1 &&
           solver.cell_count > 0;
}

void load_solver_settings(void);
// 1 when a block of this many bytes fits into the machine's physical memory.
int fits_in_memory(double bytes);
int allocate_grid(void);            // 1 on success; prints the error on failure
void free_grid(void);               // exit handler
// A grid of another size, made beside the one in use so that the old one
// stays when the new one cannot be had: make_grid_storage gives its fields
// (nullptr, after the error message, when they cannot all be had),
// use_grid_storage puts them in place of the fields in use (which it frees),
// sets the solver's size and clears them; discard_grid_storage frees an
// unused one (nullptr: nothing).
struct GridStorage;
GridStorage *make_grid_storage(int width, int height);
void use_grid_storage(GridStorage *g);
void discard_grid_storage(GridStorage *g);
void clear_grid(void);
void set_density_source(int i, int j, float amount);
void set_color_source(int i, int j, float r, float g, float b, float a);

// ---------------------------------------------------------------------------
// Solver step, boundary rule, force stage
// ---------------------------------------------------------------------------
void solver_step(void);
void set_boundary(float *f, int kind);
void compute_vorticity(void);
void compute_confinement(void);
void apply_gravity(void);
void apply_buoyancy(void);
void apply_confinement(void);

// The step lists the wall cells once (the wall field does not change while
// it runs) and the boundary rule uses that list until forget_wall_cells.
void list_wall_cells(void);
void forget_wall_cells(void);
// 1 when any of the n wall values from row on is not CELL_FLUID (which is 0,
// so that a row is checked with one vectorised pass).
int row_has_walls(const int *row, int n);

// Threads the step uses: SOLVER_THREADS_AUTO (the default) shares the work
// with one helper thread when that makes the step faster and the step alone
// would not fit well within solver_step_budget_ns; ONE keeps to the calling
// thread; TWO always uses the helper. Every setting gives the same fields.
enum { SOLVER_THREADS_AUTO = 0, SOLVER_THREADS_ONE = 1, SOLVER_THREADS_TWO = 2 };
// Threads the solver ever uses: the calling thread and one helper; work is
// split into at most this many parts.
enum { SOLVER_MAX_THREADS = 2 };
extern int solver_threads;
// Time a step may take without holding up the frames (nanoseconds; 0: as
// fast as possible). In the automatic setting a step that takes well under
// it alone leaves the helper out. Written by the shell before each step.
extern long long solver_step_budget_ns;
// Runs job(ctx, part, parts) for part = 0 .. parts-1 on the solver's threads
// and returns when every part is done; parts is 2 when the helper thread
// takes part, else 1.
void run_solver_parts(void (*job)(void *ctx, int part, int parts), void *ctx);

// Instruction sets the step's vector kernels use: SOLVER_PATH_AUTO (the
// default) times the first steps on a grid on each path the processor runs
// and keeps the fastest (wider is not faster on every processor); the
// others force one (a path the processor lacks runs as AUTO). Every path
// gives the same fields.
enum { SOLVER_PATH_AUTO = 0, SOLVER_PATH_SSE = 1, SOLVER_PATH_AVX2 = 2, SOLVER_PATH_AVX512 = 3 };
extern int solver_simd_path;
int solver_path_supported(int path);    // 1 when this processor runs the path
int solver_path_in_use(void);           // the path the next step runs (never AUTO)
const char *solver_path_name(int path); // "auto", "sse", "avx2", "avx512"

// ---------------------------------------------------------------------------
// Solver internals shared by solver.cpp, solver_diffuse.cpp,
// solver_threads.cpp and the lane kernel files (solver_sse.cpp,
// solver_avx2.cpp, solver_avx512.cpp)
// ---------------------------------------------------------------------------

// Brackets every step: in the automatic thread setting, times the step and
// chooses whether the next one takes the helper. The end returns the
// step's duration in nanoseconds.
void solver_timing_begin(void);
long long solver_timing_end(void);
// Runs job(ctx, 0, 2) on the calling thread and job(ctx, 1, 2) on the
// helper, each a whole task in which run_solver_parts keeps to one thread;
// 0 (nothing run) when the step is not using the helper.
int run_solver_tasks(void (*job)(void *ctx, int part, int parts), void *ctx);
// Threads run_solver_parts uses in the coming call: 1 or 2.
int solver_thread_count(void);
// One round of a busy wait: pauses, and every so often yields the core.
void solver_spin_pause(int *spins);

// Rows first .. last of `part` when rows lo .. hi are split into `parts`.
inline void solver_part_rows(int lo, int hi, int part, int parts, int *first, int *last)
{
    int rows = hi - lo + 1;
    if (rows < 0) rows = 0;
    *first = lo + (int)((long long)rows * part / parts);
    *last = lo + (int)((long long)rows * (part + 1) / parts) - 1;
}

// Cells first .. end-1 of `part` when count cells are split into `parts`.
inline void solver_part_cells(int count, int part, int parts, int *first, int *end)
{
    *first = (int)((long long)count * part / parts);
    *end = (int)((long long)count * (part + 1) / parts);
}

// The step's kernels that run in vector lanes, one set per instruction set;
// each runs its rows on the solver's threads. Set up as constants, never
// changed.
struct SolverLaneKernels {
    int lanes;                          // floats per vector
    // x += dt * x0 over all cells, for each of x, y, z that is not null.
    void (*add_sources)(float *x, float *y, float *z, const float *x0, const float *y0,
                        const float *z0, float dt);
    // Projection, first part: d from (u, v), p from pressure_guess.
    void (*divergence)(float *p, float *d, float h);
    // Projection, last part: pressure and divergence shown, (u, v) corrected.
    void (*gradient)(const float *p, const float *d, float h);
    // `sweeps` pressure sweeps on p; 0 (nothing done) when the grid is too
    // short for the bands or scratch could not be had.
    int (*relax_pressure)(float *p, const float *d, int sweeps);
    // u, v from u_prev, v_prev; dens, color from dens_prev, color_prev.
    void (*advect_velocity)(float dt0);
    void (*advect_density)(float dt0);
};
extern const SolverLaneKernels solver_lanes_sse, solver_lanes_avx2, solver_lanes_avx512;

// The velocity's sources added and the velocity diffused: u and v change
// places with u_prev and v_prev and hold the diffused velocity, its
// boundary set (the step then projects it and changes them back).
void solver_diffuse_velocity(const SolverLaneKernels &lanes, float dt);
// The density's and colour's sources added and both diffused into
// dens_prev and color_prev (the density's boundary set).
void solver_diffuse_density(const SolverLaneKernels &lanes, float dt);
// `sweeps` pressure sweeps on p row by row, for grids too short for bands.
void solver_relax_pressure_rows(float *p, const float *d, int sweeps);

// ---------------------------------------------------------------------------
// Jets and particles
// ---------------------------------------------------------------------------
struct Particle {
    float x, y;             // cells
    float vx, vy;           // cells per frame
    float size;             // pixels; also frames it may stay walled in
    float life;             // frames left; 0 = free slot
    float flow_gain;
    float flow_scale;
    int style;              // 0 point, 1 streak
};

struct Jet {
    int col, row;           // the jet's cell
    float push_x, push_y;   // release cell minus jet cell
    float density_amount;
    Color color;
    Particle particle_template;   // life 0: emits no particles
};

// The jets' and particles' copies of the parameters, filled at start-up and
// after a change on the options page (max_particles with a new ring only).
struct JetSettings {
    int max_particles;
    int max_jets;
    float timestep;
    float jet_force;
    float emitter_rate;
};
extern JetSettings jet_settings;

// particle_ring: max_particles slots, written by spawn_particle and the
// ball's trail; particle_next is the next slot to fill (wraps to 0).
extern Particle *particle_ring;
extern int particle_next;
// jet_table: max_jets slots; jet_count is the slot the next placement fills.
extern Jet *jet_table;
extern int jet_count;
extern float emit_timer;            // shared by all jets; reset by an emission

int allocate_particles(void);       // 1 on success; prints the error on failure
int allocate_jets(void);
// A particle ring of another size, made beside the one in use: 1 with the
// new ring in *ring (nullptr for none and slots <= 0), 0 after the error
// message. use_particle_ring puts it in place of the ring in use (which it
// frees), sets the capacity and clears it.
int make_particle_ring(int slots, Particle **ring);
void use_particle_ring(Particle *ring, int slots);
void free_particles(void);          // exit handlers
void free_jets(void);
void clear_particles(void);
void clear_jets(void);
void apply_jets(void);
void spawn_particle(float x, float y, float size, float life, float flow_gain,
                    float flow_scale, int style);
// Writes p into the next ring slot (wrap rule); nothing when the ring has no slot.
void put_particle(const Particle &p);
void move_particles(void);
void open_jet(int col, int row);
void complete_jet(int release_col, int release_row, float density_amount, Color c,
                  Particle particle_template);

// ---------------------------------------------------------------------------
// Mouse tools: what each does to the fluid at an interior cell (i, j). The
// tool pass (app/) chooses which one a button runs.
// ---------------------------------------------------------------------------
const float SINK_PRESSURE = -10.0f;
const float SHOCKWAVE_PRESSURE = 5.0f;
const float INK_ALPHA = 1.0f;
const float JET_DENSITY_AMOUNT = 800.0f;

// The drag (pixels, y pointing up) times velocity_force becomes the cell's
// velocity source.
void stir_cell(int i, int j, double drag_x, double drag_y);
// density_source of ink in colour ink (its alpha is not used).
void ink_cell(int i, int j, Color ink);
void sink_cell(int i, int j);
void shockwave_cell(int i, int j);
// Sets wall to value in the block_size square whose lower-left cell is (i, j).
void paint_walls(int i, int j, int value);
// Completes the open jet placement with (i, j) as the release cell: with
// density_jet a density jet of a random hue, with particle_jet a jet of
// streak particles; either, both or neither.
void complete_jet_placement(int i, int j, int density_jet, int particle_jet);
