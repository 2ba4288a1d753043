// The grid: sizes, indexing, clearing and allocation limits.
#include "tests/support/test_util.h"

#include <gtest/gtest.h>
#include <climits>

namespace {

TEST(Grid, DefaultSizesAndIndexing)
{
    start_program(100);
    EXPECT_EQ(solver.cell_count, 10404);
    EXPECT_EQ(cell_index(0, 0), 0);
    EXPECT_EQ(cell_index(101, 101), 10403);
    EXPECT_EQ(cell_index(1, 1), 103);
    EXPECT_EQ(cell_index(5, 0), 5);
    EXPECT_EQ(cell_index(0, 2), 204);
}

TEST(Grid, ClearEmptiesEveryFieldBorderIncluded)
{
    start_program(8);
    int n = solver.cell_count;
    float *fields[] = {u, v, u_prev, v_prev, vort_force_u, vort_force_v, curl,
                       pressure, divergence, pressure_guess, pressure_source, dens, dens_prev};
    for (float *f : fields)
        for (int k = 0; k < n; k++) f[k] = 3.5f;
    for (int k = 0; k < n; k++) {
        color[k] = Color{1, 2, 3, 4};
        color_prev[k] = Color{1, 2, 3, 4};
        wall[k] = 1;
    }
    clear_grid();
    for (float *f : fields)
        for (int k = 0; k < n; k++) ASSERT_EQ(f[k], 0.0f);
    for (int k = 0; k < n; k++) {
        ASSERT_EQ(color[k].r + color[k].g + color[k].b + color[k].a, 0.0f);
        ASSERT_EQ(color_prev[k].a, 0.0f);
        ASSERT_EQ(wall[k], 0);
    }
}

TEST(Grid, SourceSettersAssign)
{
    start_program(8);
    set_density_source(3, 4, 7.0f);
    set_density_source(3, 4, 9.0f);
    EXPECT_EQ(dens_prev[cell_index(3, 4)], 9.0f);
    set_color_source(8, 8, 0.1f, 0.2f, 0.3f, 1.0f);
    Color c = color_prev[cell_index(8, 8)];
    EXPECT_EQ(c.r, 0.1f);
    EXPECT_EQ(c.a, 1.0f);
}

TEST(Grid, ZeroOrNegativeSizeMakesAnEmptyInterior)
{
    Params p;
    set_default_params(&p);
    p.grid_cols = p.grid_rows = 0;
    start_program_with(p);
    EXPECT_EQ(solver.cell_count, 4);
    FILE *sink = fopen("/dev/null", "w");
    ASSERT_NE(sink, nullptr);
    parse_param_line(&p, "grid_res = -7\n", sink);     // a negative size as read
    fclose(sink);
    start_program_with(p);
    EXPECT_EQ(solver.grid_width, 0);
    EXPECT_EQ(solver.cell_count, 4);
    // A frame over the empty grid does nothing harmful.
    on_idle();
}

TEST(Grid, SizeBeyondIntOrMemoryIsAnAllocationError)
{
    Params p;
    set_default_params(&p);
    p.grid_cols = p.grid_rows = 2000000000;
    stop_program();
    params = p;
    load_solver_settings();
    std::string out = capture_stdout([] { EXPECT_EQ(allocate_grid(), 0); });
    EXPECT_EQ(out, "Error: cannot allocate solver data!\n");
    EXPECT_EQ(u, nullptr);
    free_grid();

    // Fits an int, but not the machine's memory.
    p.grid_cols = p.grid_rows = 40000;
    params = p;
    load_solver_settings();
    out = capture_stdout([] { EXPECT_EQ(allocate_grid(), 0); });
    EXPECT_EQ(out, "Error: cannot allocate solver data!\n");
    free_grid();
    free_grid();    // releasing twice is harmless
}

TEST(Tables, NoSlotsIsNotAnError)
{
    Params p;
    set_default_params(&p);
    p.max_particles = 0;
    p.max_jets = -3;
    start_program_with(p);
    EXPECT_EQ(particle_ring, nullptr);
    EXPECT_EQ(jet_table, nullptr);
    clear_particles();
    clear_jets();
    apply_jets();
    move_particles();
    spawn_particle(5, 5, 1, 10, 1, 1, 0);
    open_jet(3, 3);
    complete_jet(4, 4, 0, Color{0, 0, 0, 0}, Particle{});
    EXPECT_EQ(particle_ring, nullptr);
}

} // namespace

namespace {

TEST(Tables, TablesBeyondMemoryAreRefusedAndLargeOnesRun)
{
    Params p;
    set_default_params(&p);
    stop_program();
    params = p;
    params.max_particles = INT_MAX;         // tens of gigabytes
    params.max_jets = INT_MAX;
    load_working_copies();
    std::string out = capture_stdout([] {
        EXPECT_EQ(allocate_particles(), 0);
        EXPECT_EQ(allocate_jets(), 0);
    });
    EXPECT_EQ(out, "Error: cannot allocate particle data!\nError: cannot allocate emitter data!\n");
    params.max_particles = 2000000;
    params.max_jets = 2000000;
    load_working_copies();
    EXPECT_EQ(allocate_particles(), 1);
    EXPECT_EQ(allocate_jets(), 1);
    clear_particles();
    put_particle(Particle{3, 3, 0, 0, 1, 9, 1, 1, 0});
    particle_next = 1999999;
    put_particle(Particle{4, 4, 0, 0, 1, 9, 1, 1, 0});
    EXPECT_EQ(particle_ring[1999999].x, 4.0f);
    EXPECT_EQ(particle_next, 2000000);
    stop_program();
}

} // namespace
