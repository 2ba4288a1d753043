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

// The fields in use, in one list, so that a grid can be made beside them.
static float **const float_fields[FLOAT_FIELDS] = {
    &u, &v, &u_prev, &v_prev, &vort_force_u, &vort_force_v, &curl,
    &pressure, &divergence, &pressure_guess, &pressure_source, &dens, &dens_prev,
};
static Color **const color_fields[COLOR_FIELDS] = {&color, &color_prev};

struct GridStorage {
    float *floats[FLOAT_FIELDS];
    Color *colors[COLOR_FIELDS];
    int *wall;
    int width, height;      // interior cells
    int cells;              // with the border ring
};

static void discard_fields(GridStorage *g)
{
    for (float *&f : g->floats) free(f);
    for (Color *&c : g->colors) free(c);
    free(g->wall);
    free(g);
}

// The sixteen fields of a width x height grid, or nullptr (after the
// error message) when they cannot all be had.
static GridStorage *make_fields(int width, int height)
{
    long long cells = count_cells(width, height);
    if (cells < 0 || !fits_in_memory((double)cells * (double)BYTES_PER_CELL)) {
        printf("Error: cannot allocate solver data!\n");
        return nullptr;
    }
    GridStorage *g = (GridStorage *)calloc(1, sizeof(GridStorage));
    if (!g) {
        printf("Error: cannot allocate solver data!\n");
        return nullptr;
    }
    size_t n = (size_t)cells;
    int ok = 1;
    for (float *&f : g->floats) ok = (f = (float *)malloc(n * sizeof(float))) && ok;
    for (Color *&c : g->colors) ok = (c = (Color *)malloc(n * sizeof(Color))) && ok;
    g->wall = (int *)malloc(n * sizeof(int));
    if (!ok || !g->wall) {
        discard_fields(g);
        printf("Error: cannot allocate solver data!\n");
        return nullptr;
    }
    g->width = width;
    g->height = height;
    g->cells = (int)cells;
    return g;
}

// The fields of g become the fields in use; those in use before are freed.
static void take_fields(GridStorage *g)
{
    for (int k = 0; k < FLOAT_FIELDS; k++) {
        free(*float_fields[k]);
        *float_fields[k] = g->floats[k];
    }
    for (int k = 0; k < COLOR_FIELDS; k++) {
        free(*color_fields[k]);
        *color_fields[k] = g->colors[k];
    }
    free(wall);
    wall = g->wall;
    free(g);
}

int allocate_grid(void)
{
    long long cells = count_cells(params.grid_cols, params.grid_rows);
    if (cells < 0 || cells != solver.cell_count) {
        printf("Error: cannot allocate solver data!\n");
        return 0;
    }
    GridStorage *g = make_fields(params.grid_cols, params.grid_rows);
    if (!g) return 0;
    take_fields(g);
    return 1;
}

GridStorage *make_grid_storage(int width, int height) { return make_fields(width, height); }

void discard_grid_storage(GridStorage *g)
{
    if (g) discard_fields(g);
}

void use_grid_storage(GridStorage *g)
{
    solver.grid_width = g->width;
    solver.grid_height = g->height;
    solver.cell_count = g->cells;
    take_fields(g);
    // The wall list of the last step names cells of the old grid.
    forget_wall_cells();
    clear_grid();
}

template <typename T> static void release(T *&field)
{
    free(field);
    field = nullptr;
}

void free_grid(void)
{
    for (float **f : float_fields) release(*f);
    for (Color **c : color_fields) release(*c);
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
