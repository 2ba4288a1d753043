// What one solver step does to simple scenes: a fluid at rest, sources,
// sinks and shockwaves, walls, density decay, the refill of the sources and
// the settings at their limits.
#include "tests/fluid/reference_step.h"
#include "tests/support/test_util.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

namespace {

float &at(float *f, int i, int j) { return f[cell_index(i, j)]; }

void expect_sources_refilled(void)
{
    for (int k = 0; k < solver.cell_count; k++) {
        ASSERT_EQ(u_prev[k], SOURCE_REFILL);
        ASSERT_EQ(v_prev[k], SOURCE_REFILL);
        ASSERT_EQ(dens_prev[k], SOURCE_REFILL);
        ASSERT_EQ(pressure_source[k], SOURCE_REFILL);
        ASSERT_EQ(color_prev[k].r, SOURCE_REFILL);
        ASSERT_EQ(color_prev[k].g, SOURCE_REFILL);
        ASSERT_EQ(color_prev[k].b, SOURCE_REFILL);
        ASSERT_EQ(color_prev[k].a, SOURCE_REFILL);
    }
}

TEST(SolverStep, FluidAtRestStaysAtRestApartFromTheRefill)
{
    start_program(24);
    gravity_on = vorticity_on = 1;     // buoyancy would sink empty fluid
    for (int step = 0; step < 20; step++) {
        solver_step();
        expect_sources_refilled();
    }
    for (int k = 0; k < solver.cell_count; k++) {
        ASSERT_LT(std::fabs(u[k]), 1e-9f);
        ASSERT_LT(std::fabs(v[k]), 1e-9f);
        ASSERT_LT(std::fabs(dens[k]), 1e-9f);
    }
    // The first step after a clear adds nothing; the next adds dt * 1e-10.
    start_program(8);
    solver_step();
    EXPECT_EQ(at(u, 4, 4), 0.0f);
    EXPECT_EQ(at(dens, 4, 4), 0.0f);
}

TEST(SolverStep, DensitySourceIsScaledByTheTimestepAndColourIsNot)
{
    start_program(16);
    solver.diffusion = 0.0f;
    color[cell_index(8, 8)].a = 0.25f;
    set_density_source(8, 8, 50.0f);
    set_color_source(8, 8, 0.5f, 0.25f, 0.125f, 1.0f);
    solver_step();
    EXPECT_EQ(at(dens, 8, 8), (0.1f * 50.0f) * (1 - 0.001f));
    Color c = color[cell_index(8, 8)];
    EXPECT_EQ(c.r, 0.5f);
    EXPECT_EQ(c.g, 0.25f);
    EXPECT_EQ(c.b, 0.125f);
    EXPECT_EQ(c.a, 0.25f);                  // alpha is the step's to keep
    EXPECT_EQ(at(dens, 7, 8), 0.0f);        // no diffusion, no flow
}

TEST(SolverStep, InjectedDensityDecaysByTheDissipationEachStep)
{
    start_program(16);
    solver.diffusion = 0.0f;
    at(dens, 5, 6) = 100.0f;
    color[cell_index(5, 6)] = Color{0.75f, 0.5f, 0.25f, 1.0f};
    float expected = 100.0f;
    for (int step = 0; step < 30; step++) {
        solver_step();
        expected = (expected + (step ? 0.1f * SOURCE_REFILL : 0.0f)) * (1 - 0.001f);
        ASSERT_NEAR(at(dens, 5, 6), expected, 1e-4f) << "step " << step;
    }
    EXPECT_NEAR(at(dens, 5, 6), 100.0f * std::pow(0.999f, 30.0f), 1e-3f);
    Color c = color[cell_index(5, 6)];
    EXPECT_NEAR(c.r, 0.75f, 1e-6f);         // colour does not decay
    EXPECT_NEAR(c.b, 0.25f, 1e-6f);
}

TEST(SolverStep, WallCellsHoldNoVelocityAfterAStep)
{
    Scene scene{30, 22, 20, 0.001f, 0.0001f, 0.001f, 1, 1, 1, 1, 3u};
    make_scene(scene);
    for (int frame = 0; frame < 3; frame++) {
        enter_frame_sources(3u, frame);
        solver_step();
        for (int j = 1; j <= 22; j++) {
            for (int i = 1; i <= 30; i++) {
                if (wall[cell_index(i, j)] == CELL_FLUID) continue;
                ASSERT_EQ(at(u, i, j), 0.0f);
                ASSERT_EQ(at(v, i, j), 0.0f);
            }
        }
    }
}

TEST(SolverStep, SinkDrawsFluidInAndShockwavePushesItOut)
{
    start_program(21);
    pressure_source[cell_index(11, 11)] = SINK_PRESSURE;
    solver_step();
    // Two cells out on each side the flow points at the sink.
    EXPECT_GT(at(u, 9, 11), 0.0f);      // from the left, moving right
    EXPECT_LT(at(u, 13, 11), 0.0f);
    EXPECT_GT(at(v, 11, 9), 0.0f);      // from below, moving up
    EXPECT_LT(at(v, 11, 13), 0.0f);
    // With viscosity 0 the guess is the frame's source, and only that frame's.
    EXPECT_EQ(at(pressure_guess, 11, 11), SINK_PRESSURE);
    solver_step();
    EXPECT_EQ(at(pressure_guess, 11, 11), SOURCE_REFILL);

    start_program(21);
    pressure_source[cell_index(11, 11)] = SHOCKWAVE_PRESSURE;
    solver_step();
    EXPECT_LT(at(u, 9, 11), 0.0f);
    EXPECT_GT(at(u, 13, 11), 0.0f);
    EXPECT_LT(at(v, 11, 9), 0.0f);
    EXPECT_GT(at(v, 11, 13), 0.0f);
}

TEST(SolverStep, WithoutSweepsThePressureIsTheGuess)
{
    start_program(12);
    solver.iterations = 0;
    solver.viscosity = 0.01f;   // no velocity sweep either
    pressure_source[cell_index(6, 6)] = 3.0f;
    at(pressure_guess, 6, 6) = 1.0f;
    at(u, 4, 4) = 0.5f;
    solver_step();
    // Added source: 1 + 0.1 * 3, untouched by any sweep.
    EXPECT_EQ(at(pressure_guess, 6, 6), 1.0f + 0.1f * 3.0f);
    for (int j = 1; j <= 12; j++)
        for (int i = 1; i <= 12; i++)
            ASSERT_EQ(at(pressure, i, j), at(pressure_guess, i, j)) << i << "," << j;
}

TEST(SolverStep, HugeVelocitiesAreClampedToTheGrid)
{
    start_program(10);
    for (int j = 1; j <= 10; j++) {
        for (int i = 1; i <= 10; i++) {
            at(u_prev, i, j) = (i + j) % 2 ? 1e7f : -1e7f;
            at(v_prev, i, j) = (i * j) % 3 ? 1e7f : -1e7f;
            at(dens, i, j) = 1.0f;
        }
    }
    FieldSnapshot before = take_snapshot();
    reference_step();
    FieldSnapshot expected = take_snapshot();
    restore_snapshot(before);
    solver_step();
    EXPECT_EQ(differing_fields(expected, take_snapshot()), "");
    for (int k = 0; k < solver.cell_count; k++) ASSERT_TRUE(std::isfinite(dens[k]));
}

// Overflowing settings fill the velocity with infinities and NaNs; the
// back-trace must still sample inside the grid.
TEST(SolverStep, NonFiniteVelocitiesStayInsideTheArrays)
{
    start_program(12);
    solver.timestep = 1e30f;
    for (int j = 1; j <= 12; j++) {
        for (int i = 1; i <= 12; i++) {
            at(u_prev, i, j) = (i % 3 == 0) ? NAN : 1e30f;
            at(v_prev, i, j) = (j % 2) ? -INFINITY : 3e38f;
            at(dens, i, j) = 1.0f;
        }
    }
    for (int step = 0; step < 3; step++) {
        FieldSnapshot before = take_snapshot();
        reference_step();
        FieldSnapshot expected = take_snapshot();
        restore_snapshot(before);
        solver_step();
        ASSERT_EQ(differing_fields(expected, take_snapshot(), 1), "") << "step " << step;
    }
    int not_finite = 0;
    for (int k = 0; k < solver.cell_count; k++) not_finite += !std::isfinite(u[k]);
    EXPECT_GT(not_finite, 0);   // the scene did overflow
}

TEST(SolverStep, GridWithoutCellsDoesNothing)
{
    const int shapes[][2] = {{0, 0}, {0, 5}, {4, 0}};
    for (const auto &shape : shapes) {
        Params p;
        set_default_params(&p);
        p.grid_cols = shape[0];
        p.grid_rows = shape[1];
        start_program_with(p);
        gravity_on = buoyancy_on = vorticity_on = 1;
        for (int k = 0; k < solver.cell_count; k++) {
            u[k] = v[k] = dens[k] = u_prev[k] = dens_prev[k] = 2.0f;
            color_prev[k] = Color{1, 1, 1, 1};
        }
        FieldSnapshot before = take_snapshot();
        solver_step();
        EXPECT_EQ(differing_fields(before, take_snapshot()), "")
            << shape[0] << "x" << shape[1];
    }
}

TEST(SolverStep, NegativeSweepCountsRunNoSweep)
{
    Scene scene{18, 18, -5, 0.001f, 0.0002f, 0.001f, 1, 1, 1, 1, 4u};
    make_scene(scene);
    enter_frame_sources(4u, 0);
    FieldSnapshot before = take_snapshot();
    reference_step();
    FieldSnapshot expected = take_snapshot();
    restore_snapshot(before);
    solver_step();
    EXPECT_EQ(differing_fields(expected, take_snapshot()), "");
    // Nothing relaxed: the density kept what the source added, less dissipation.
    EXPECT_TRUE(std::isfinite(at(dens, 9, 9)));
}

TEST(SolverStep, AlphaIsNeverTouched)
{
    Scene scene{26, 19, 20, 0.0f, 0.0001f, 0.001f, 1, 1, 1, 1, 8u};
    make_scene(scene);
    for (int frame = 0; frame < 4; frame++) {
        enter_frame_sources(8u, frame);
        std::vector<float> alpha;
        for (int k = 0; k < solver.cell_count; k++) alpha.push_back(color[k].a);
        solver_step();
        for (int k = 0; k < solver.cell_count; k++) ASSERT_EQ(color[k].a, alpha[k]);
    }
}

// In the automatic setting, a step that takes well under its budget alone
// leaves the helper out, but for the few trial steps that keep the shared
// figure current; with no room in the budget the faster way is taken, and
// the forced settings hold whatever the budget.
TEST(SolverStep, HelperSitsOutStepsThatFitTheirBudgetAlone)
{
    const int STEPS = 128;
    const int TRIALS_AT_MOST = 4;           // two in every 64 steps
    const int ALONE_STEP_US = 200;
    Scene scene{40, 40, 4, 0.0f, 0.0001f, 0.001f, 1, 1, 1, 1, 5u};
    make_scene(scene);
    auto shared_steps = [&](int threads, long long budget_ns) {
        solver_threads = threads;
        solver_step_budget_ns = budget_ns;
        int shared = 0;
        for (int n = 0; n < STEPS; n++) {
            solver_timing_begin();
            int alone = solver_thread_count() == 1;
            // Steps alone are made the slower ones.
            if (alone) std::this_thread::sleep_for(std::chrono::microseconds(ALONE_STEP_US));
            shared += !alone;
            solver_timing_end();
        }
        return shared;
    };
    const long long ONE_SECOND_NS = 1000000000LL;
    shared_steps(SOLVER_THREADS_AUTO, ONE_SECOND_NS);    // times a step alone first
    int with_budget = shared_steps(SOLVER_THREADS_AUTO, ONE_SECOND_NS);
    EXPECT_GE(with_budget, 1);
    EXPECT_LE(with_budget, TRIALS_AT_MOST);
    // A budget no step fits: the faster way, shared, but for the trials.
    shared_steps(SOLVER_THREADS_AUTO, 1);
    EXPECT_GE(shared_steps(SOLVER_THREADS_AUTO, 1), STEPS - TRIALS_AT_MOST);
    EXPECT_EQ(shared_steps(SOLVER_THREADS_TWO, ONE_SECOND_NS), STEPS);
    EXPECT_EQ(shared_steps(SOLVER_THREADS_ONE, 0), 0);
    solver_threads = SOLVER_THREADS_AUTO;
    solver_step_budget_ns = 0;
}

} // namespace
