// Time of one solver step, the shipped one against the plain column-by-column
// reference, at the grid sizes the program is run with. The scene has all
// three forces on, walls and paddles, and a frame's worth of sources each step.
#include "tests/fluid/reference_step.h"
#include "tests/support/test_util.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

static void prepare(int grid)
{
    Scene scene{grid, grid, 20, 0.0f, 0.0001f, 0.001f, 1, 1, 1, 1, 7u};
    make_scene(scene);
    solver_threads = SOLVER_THREADS_AUTO;
}

static void BM_solver_step(benchmark::State &state)
{
    prepare((int)state.range(0));
    int frame = 0;
    for (auto _ : state) {
        enter_frame_sources(7u, frame++);
        solver_step();
    }
    benchmark::DoNotOptimize(u[cell_index(1, 1)]);
}

static void BM_reference_step(benchmark::State &state)
{
    prepare((int)state.range(0));
    int frame = 0;
    for (auto _ : state) {
        enter_frame_sources(7u, frame++);
        reference_step();
    }
    benchmark::DoNotOptimize(u[cell_index(1, 1)]);
}

// The shipped step kept to the calling thread.
static void BM_solver_step_one_thread(benchmark::State &state)
{
    prepare((int)state.range(0));
    solver_threads = SOLVER_THREADS_ONE;
    int frame = 0;
    for (auto _ : state) {
        enter_frame_sources(7u, frame++);
        solver_step();
    }
    solver_threads = SOLVER_THREADS_AUTO;
    benchmark::DoNotOptimize(u[cell_index(1, 1)]);
}

// The fastest repetition: the machine is shared, and other work only ever
// makes a run slower.
static double fastest(const std::vector<double> &v)
{
    return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end());
}

BENCHMARK(BM_solver_step)->Arg(100)->Arg(200)->Arg(400)->Unit(benchmark::kMicrosecond)
    ->ComputeStatistics("min", fastest);
BENCHMARK(BM_solver_step_one_thread)->Arg(100)->Arg(200)->Arg(400)
    ->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", fastest);
BENCHMARK(BM_reference_step)->Arg(100)->Arg(200)->Arg(400)->Unit(benchmark::kMicrosecond)
    ->ComputeStatistics("min", fastest);

BENCHMARK_MAIN();
