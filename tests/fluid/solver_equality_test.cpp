// The shipped step against the plain column-by-column transcription: every
// one of the sixteen fields must hold the same bits after every step, over
// varied scenes, settings, grid shapes, thread counts and every lane width
// (instruction set) the processor runs.
#include "tests/fluid/reference_step.h"
#include "tests/support/test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace {

struct EqualityCase {
    const char *name;
    Scene scene;
    int steps;
};

// Runs both steps from the same fields, frame after frame, and reports the
// first frame at which any field differs.
void expect_same_as_reference(const EqualityCase &c, int threads, int path = SOLVER_PATH_AUTO)
{
    make_scene(c.scene);
    solver_threads = threads;
    solver_simd_path = path;
    ASSERT_TRUE(path == SOLVER_PATH_AUTO || solver_path_in_use() == path);
    for (int frame = 0; frame < c.steps; frame++) {
        enter_frame_sources(c.scene.seed, frame);
        FieldSnapshot before = take_snapshot();
        float *handles[] = {u, v, u_prev, v_prev, dens, dens_prev};
        Color *color_handles[] = {color, color_prev};
        reference_step();
        FieldSnapshot expected = take_snapshot();
        restore_snapshot(before);
        solver_step();
        float *after[] = {u, v, u_prev, v_prev, dens, dens_prev};
        ASSERT_EQ(0, memcmp(handles, after, sizeof handles)) << "handles not restored";
        ASSERT_EQ(color_handles[0], color);
        ASSERT_EQ(color_handles[1], color_prev);
        FieldSnapshot got = take_snapshot();
        std::string diff = differing_fields(expected, got);
        ASSERT_EQ(diff, "") << c.name << ", threads " << threads << ", path "
                            << solver_path_name(solver_path_in_use()) << ", frame " << frame;
    }
    solver_threads = SOLVER_THREADS_AUTO;
    solver_simd_path = SOLVER_PATH_AUTO;
}

// Every scene on one thread and on two, in each lane width; a width the
// processor lacks is skipped, and the log says which width ran.
void expect_path_same_as_reference(const EqualityCase &c, int path)
{
    if (!solver_path_supported(path))
        GTEST_SKIP() << "this processor lacks the " << solver_path_name(path) << " instructions";
    ::testing::Test::RecordProperty("solver_path", solver_path_name(path));
    printf("solver path: %s\n", solver_path_name(path));
    expect_same_as_reference(c, SOLVER_THREADS_ONE, path);
    if (::testing::Test::HasFatalFailure()) return;
    expect_same_as_reference(c, SOLVER_THREADS_TWO, path);
}

class SolverEquality : public ::testing::TestWithParam<EqualityCase> {};

TEST_P(SolverEquality, BitIdenticalToReferenceOnOneThread) { expect_same_as_reference(GetParam(), SOLVER_THREADS_ONE); }
TEST_P(SolverEquality, BitIdenticalToReferenceOnTwoThreads) { expect_same_as_reference(GetParam(), SOLVER_THREADS_TWO); }
TEST_P(SolverEquality, BitIdenticalInSseLanes) { expect_path_same_as_reference(GetParam(), SOLVER_PATH_SSE); }
TEST_P(SolverEquality, BitIdenticalInAvx2Lanes) { expect_path_same_as_reference(GetParam(), SOLVER_PATH_AVX2); }
TEST_P(SolverEquality, BitIdenticalInAvx512Lanes) { expect_path_same_as_reference(GetParam(), SOLVER_PATH_AVX512); }

// width, height, iterations, viscosity, diffusion, dissipation,
// gravity, buoyancy, vorticity, walls, seed
const EqualityCase CASES[] = {
    {"defaults_all_forces", {32, 32, 20, 0.0f, 0.0001f, 0.001f, 1, 1, 1, 1, 11u}, 30},
    {"no_forces_no_walls", {24, 24, 20, 0.0f, 0.0001f, 0.001f, 0, 0, 0, 0, 12u}, 18},
    {"viscous_non_square", {37, 23, 20, 0.002f, 0.0005f, 0.01f, 1, 1, 1, 1, 13u}, 24},
    {"tall_odd_sweeps", {19, 45, 7, 0.001f, 0.0002f, 0.001f, 0, 1, 1, 1, 14u}, 24},
    {"many_sweeps", {48, 40, 60, 0.0005f, 0.0003f, 0.001f, 1, 0, 1, 1, 15u}, 12},
    {"no_sweeps", {30, 20, 0, 0.001f, 0.0001f, 0.001f, 1, 1, 1, 1, 16u}, 15},
    {"one_sweep", {26, 33, 1, 0.001f, 0.0001f, 0.001f, 1, 1, 1, 1, 17u}, 15},
    {"three_sweeps_no_density_sweep", {21, 17, 3, 0.0f, 0.0001f, 0.001f, 0, 0, 1, 1, 18u}, 15},
    {"still_fluid_diffusion", {40, 18, 20, 0.0f, 0.0f, 0.0f, 1, 1, 1, 1, 19u}, 15},
    {"wide_short", {70, 16, 12, 0.0f, 0.0001f, 0.001f, 1, 1, 1, 1, 20u}, 12},
    {"rows_not_a_multiple_of_the_front", {33, 29, 9, 0.0f, 0.0001f, 0.001f, 1, 1, 1, 1, 21u}, 15},
    {"shortest_banded_pressure", {45, 33, 20, 0.0f, 0.0001f, 0.001f, 1, 1, 1, 1, 32u}, 18},
    {"wide_banded_one_spare_row", {64, 47, 20, 0.0005f, 0.0001f, 0.001f, 1, 1, 1, 1, 33u}, 18},
    {"two_sweeps_tall", {24, 37, 2, 0.0f, 0.0001f, 0.001f, 1, 1, 1, 1, 28u}, 12},
    {"three_sweeps_tall", {30, 36, 3, 0.0f, 0.0001f, 0.001f, 1, 1, 1, 1, 29u}, 12},
    {"grid_1", {1, 1, 20, 0.001f, 0.0001f, 0.001f, 1, 1, 1, 0, 22u}, 12},
    {"grid_2", {2, 2, 20, 0.001f, 0.0001f, 0.001f, 1, 1, 1, 1, 23u}, 12},
    {"grid_3", {3, 3, 20, 0.0f, 0.0001f, 0.001f, 1, 1, 1, 1, 24u}, 12},
    {"one_column", {1, 20, 20, 0.001f, 0.0001f, 0.001f, 1, 1, 1, 1, 25u}, 12},
    {"one_row", {20, 1, 20, 0.001f, 0.0001f, 0.001f, 1, 1, 1, 1, 26u}, 12},
    {"narrow_tall_threads", {5, 64, 20, 0.0f, 0.0001f, 0.001f, 1, 1, 1, 1, 27u}, 12},
    // The shortest grids the pressure bands take in eight and in sixteen
    // lanes (the last band partly past the top), and bands that outnumber
    // the sweeps.
    {"eight_bands_shortest", {21, 57, 20, 0.0f, 0.0001f, 0.001f, 1, 1, 1, 1, 34u}, 10},
    {"eight_bands_few_sweeps", {26, 72, 5, 0.001f, 0.0002f, 0.001f, 1, 1, 1, 1, 35u}, 10},
    {"sixteen_bands_shortest", {19, 121, 20, 0.0f, 0.0001f, 0.001f, 1, 1, 1, 1, 36u}, 8},
    {"sixteen_bands_few_sweeps", {35, 140, 3, 0.0f, 0.0001f, 0.001f, 0, 1, 1, 1, 37u}, 8},
    // Large enough that with two threads the second projection shares its
    // bands between them (in every width: thirty-two sixteen-lane bands of
    // eight rows at the widest).
    {"bands_on_two_threads", {104, 250, 12, 0.0f, 0.0001f, 0.001f, 1, 1, 1, 1, 38u}, 3},
    {"fewer_sweeps_than_bands_on_two_threads", {100, 252, 3, 0.001f, 0.0001f, 0.001f, 1, 1, 1, 1, 40u}, 3},
};

INSTANTIATE_TEST_SUITE_P(Scenes, SolverEquality, ::testing::ValuesIn(CASES),
                         [](const ::testing::TestParamInfo<EqualityCase> &info) {
                             return std::string(info.param.name);
                         });

// The program's own start-up state at the default grid, with the game's
// kind of input, a few frames.
TEST(SolverEqualityDefaults, StartUpGridWithInput)
{
    start_program(100);
    gravity_on = buoyancy_on = vorticity_on = 1;
    for (int frame = 0; frame < 6; frame++) {
        enter_frame_sources(99u, frame);
        FieldSnapshot before = take_snapshot();
        reference_step();
        FieldSnapshot expected = take_snapshot();
        restore_snapshot(before);
        solver_step();
        ASSERT_EQ(differing_fields(expected, take_snapshot()), "") << "frame " << frame;
    }
}

// The automatic setting tries the paths over the first steps on a grid and
// then keeps one the processor runs, until the grid changes.
TEST(SolverPaths, AutomaticSettingSettlesOnOnePath)
{
    const int grids[] = {24, 30};
    for (int grid : grids) {
        make_scene(Scene{grid, grid, 4, 0.0f, 0.0001f, 0.001f, 1, 1, 1, 1, 42u});
        solver_simd_path = SOLVER_PATH_AUTO;
        std::vector<int> seen;
        for (int step = 0; step < 60; step++) {
            int path = solver_path_in_use();
            ASSERT_TRUE(solver_path_supported(path)) << "step " << step;
            seen.push_back(path);
            solver_step();
        }
        // Every path tried in the first steps, the last half on one.
        for (int path = SOLVER_PATH_SSE; path <= SOLVER_PATH_AVX512; path++) {
            if (!solver_path_supported(path)) continue;
            EXPECT_NE(std::find(seen.begin(), seen.begin() + 30, path), seen.begin() + 30)
                << solver_path_name(path) << " never tried";
        }
        for (int step = 30; step < 60; step++) ASSERT_EQ(seen[step], seen[30]) << "step " << step;
    }
}

// Without viscosity the velocity diffusion is one sweep of 0 * (sum of the
// neighbours) + source, which leaves most sources as they are but not all:
// a -0 source next to positive neighbours comes out +0, and neighbours
// whose sum overflows give NaN. Both must come out as the plain sweep gives
// them, in every lane width.
TEST(SolverEqualityEdgeValues, NegativeZeroAndOverflowingSumsInTheInviscidSweep)
{
    const int paths[] = {SOLVER_PATH_SSE, SOLVER_PATH_AVX2, SOLVER_PATH_AVX512};
    const char *kinds[] = {"-0 sources", "huge velocity", "huge pressure guess"};
    for (int kind = 0; kind < 3; kind++) {
        for (int path : paths) {
            if (!solver_path_supported(path)) continue;
            make_scene(Scene{30, 26, 20, 0.0f, 0.0001f, 0.001f, 0, 0, 0, 0, 41u});
            solver_simd_path = path;
            if (kind == 0) {
                for (int j = 3; j <= 20; j += 4) {
                    // Velocity plus source is -0 (u and v), and so is the
                    // pressure guess plus its source.
                    int c = cell_index(7 + j % 5, j);
                    u[c] = v[c] = pressure_guess[c] = -0.0f;
                    u_prev[c] = v_prev[c] = pressure_source[c] = -0.0f;
                    u[c + 1] = v[c + 1] = 2.0f;
                }
            } else if (kind == 1) {
                // Finite new left and down neighbours of (13, 13) whose sum
                // is not.
                u[cell_index(12, 13)] = u[cell_index(13, 12)] = 3e38f;
            } else {
                // The same right of and above (20, 6), with small sources.
                pressure_guess[cell_index(21, 6)] = pressure_guess[cell_index(20, 7)] = 3e38f;
            }
            FieldSnapshot before = take_snapshot();
            reference_step();
            FieldSnapshot expected = take_snapshot();
            restore_snapshot(before);
            solver_step();
            // Which NaN a sum of two NaNs gives is the compiler's choice.
            EXPECT_EQ(differing_fields(expected, take_snapshot(), kind > 0), "")
                << solver_path_name(path) << ", " << kinds[kind];
            solver_simd_path = SOLVER_PATH_AUTO;
        }
    }
}

// Two threads sweeping the same field must keep their order when the
// scheduler interrupts either of them at any point: compete with busy
// threads for the two cores while the shipped step runs on two threads.
TEST(SolverEqualityBusyMachine, BitIdenticalWhileOtherThreadsCompete)
{
    std::atomic<int> stop{0};
    std::vector<std::thread> busy;
    for (int n = 0; n < 2; n++)
        busy.emplace_back([&stop] {
            // Bursts of work with pauses, so that the step's threads are
            // preempted at varying points rather than starved.
            volatile unsigned x = 0;
            while (!stop.load()) {
                auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(300);
                while (std::chrono::steady_clock::now() < until) x = x + 1;
                std::this_thread::sleep_for(std::chrono::microseconds(150));
            }
        });
    // A small grid (the density diffusion beside the whole velocity step)
    // and one large enough that the second projection's bands are shared by
    // the two threads in every lane width.
    EqualityCase c{"busy", {24, 144, 40, 0.001f, 0.0004f, 0.001f, 1, 1, 1, 1, 31u}, 8};
    EqualityCase tall{"busy_tall", {104, 250, 20, 0.0f, 0.0004f, 0.001f, 1, 1, 1, 1, 39u}, 3};
    const int paths[] = {SOLVER_PATH_SSE, SOLVER_PATH_AVX2, SOLVER_PATH_AVX512};
    for (int path : paths) {
        if (!solver_path_supported(path)) continue;
        expect_same_as_reference(c, SOLVER_THREADS_TWO, path);
        expect_same_as_reference(tall, SOLVER_THREADS_TWO, path);
    }
    stop.store(1);
    for (std::thread &t : busy) t.join();
}

} // namespace
