// grid.cpp -- the simulation grid: the solver's settings, the sixteen fields,
// their allocation, clearing and release, and the two source setters.
#include "fluid/fluid.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

SolverSettings solver;

float *u, *v, *u_prev, *v_prev;
float *vort_force_u, *vort_force_v, *curl;
float *pressure, *divergence, *pressure_guess, *pressure_source;
float *dens, *dens_prev;
Color *color, *color_prev;
int *wall;

enum { FLOAT_FIELDS = 13, COLOR_FIELDS = 2, INT_FIELDS = 1 };

// Cell count of a W x H grid with its border ring, or -1 when it does not
// fit an int.
static long long count_cells(int width, int height)
{
    if (width < 0) width = 0;
    if (height < 0) height = 0;
    long long cells = ((long long)width + 2) * ((long long)height + 2);
    return cells > INT32_MAX ? -1 : cells;
}

void load_solver_settings(void)
{
    solver.grid_width = params.grid_cols;
    solver.grid_height = params.grid_rows;
    long long cells = count_cells(solver.grid_width, solver.grid_height);
    solver.cell_count = cells < 0 ? 0 : (int)cells;
    solver.iterations = params.iterations;
    solver.timestep = params.timestep;
    solver.diffusion = params.diffusion;
    solver.viscosity = params.viscosity;
    solver.dissipation = params.dissipation;
    solver.turbulance = params.turbulance;
    solver.gravity_force = params.gravity_force;
    solver.buoyancy_force = params.buoyancy_force;
}

// Bytes the sixteen fields need for one cell.
static const size_t BYTES_PER_CELL =
    FLOAT_FIELDS * sizeof(float) + COLOR_FIELDS * sizeof(Color) + INT_FIELDS * sizeof(int);

// Larger requests than the physical memory would only be granted lazily and
// fail when first touched.
int fits_in_memory(double bytes)
{
    long pages = sysconf(_SC_PHYS_PAGES);
    long page_size = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page_size <= 0) return 1;
    return bytes <= (double)pages * (double)page_size;
}

static float *new_float_field(size_t cells) { return (float *)malloc(cells * sizeof(float)); }

int allocate_grid(void)
{
    long long cells = count_cells(params.grid_cols, params.grid_rows);
    if (cells < 0 || cells != solver.cell_count || !fits_in_memory((double)cells * (double)BYTES_PER_CELL)) {
        printf("Error: cannot allocate solver data!\n");
        return 0;
    }
    size_t n = (size_t)cells;
    u = new_float_field(n);
    v = new_float_field(n);
    u_prev = new_float_field(n);
    v_prev = new_float_field(n);
    vort_force_u = new_float_field(n);
    vort_force_v = new_float_field(n);
    curl = new_float_field(n);
    pressure = new_float_field(n);
    divergence = new_float_field(n);
    pressure_guess = new_float_field(n);
    pressure_source = new_float_field(n);
    dens = new_float_field(n);
    dens_prev = new_float_field(n);
    color = (Color *)malloc(n * sizeof(Color));
    color_prev = (Color *)malloc(n * sizeof(Color));
    wall = (int *)malloc(n * sizeof(int));
    if (!u || !v || !u_prev || !v_prev || !vort_force_u || !vort_force_v || !curl || !pressure ||
        !divergence || !pressure_guess || !pressure_source || !dens || !dens_prev || !color ||
        !color_prev || !wall) {
        printf("Error: cannot allocate solver data!\n");
        return 0;
    }
    return 1;
}

template <typename T> static void release(T *&field)
{
    free(field);
    field = nullptr;
}

void free_grid(void)
{
    release(u);
    release(v);
    release(u_prev);
    release(v_prev);
    release(vort_force_u);
    release(vort_force_v);
    release(curl);
    release(pressure);
    release(divergence);
    release(pressure_guess);
    release(pressure_source);
    release(dens);
    release(dens_prev);
    release(color);
    release(color_prev);
    release(wall);
}

template <typename T> static void zero(T *field)
{
    if (field) memset(field, 0, (size_t)solver.cell_count * sizeof(T));
}

void clear_grid(void)
{
    zero(u);
    zero(v);
    zero(u_prev);
    zero(v_prev);
    zero(vort_force_u);
    zero(vort_force_v);
    zero(curl);
    zero(pressure);
    zero(divergence);
    zero(pressure_guess);
    zero(pressure_source);
    zero(dens);
    zero(dens_prev);
    zero(color);
    zero(color_prev);
    zero(wall);
}

void set_density_source(int i, int j, float amount) { dens_prev[cell_index(i, j)] = amount; }

void set_color_source(int i, int j, float r, float g, float b, float a)
{
    color_prev[cell_index(i, j)] = Color{r, g, b, a};
}
