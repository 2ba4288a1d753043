// Time of one solver step, the shipped one against the plain column-by-column
// reference, at the grid sizes the program is run with. The scene has all
// three forces on, walls and paddles, and a frame's worth of sources each step.
//
// The shipped step runs as the program runs it (BM_step/auto/threads:auto)
// and in each lane width the processor has, on one thread and on two
// (BM_step/<width>/threads:<n>), so that one run compares every path with
// the reference: --benchmark_filter=avx2 picks one width, grid:200 one grid.
#include "tests/fluid/reference_step.h"
#include "tests/support/test_util.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

static const int GRIDS[] = {100, 200, 400};

static void prepare(int grid)
{
    Scene scene{grid, grid, 20, 0.0f, 0.0001f, 0.001f, 1, 1, 1, 1, 7u};
    make_scene(scene);
}

static void run_shipped(benchmark::State &state, int path, int threads)
{
    prepare((int)state.range(0));
    solver_simd_path = path;
    solver_threads = threads;
    int frame = 0;
    for (auto _ : state) {
        enter_frame_sources(7u, frame++);
        solver_step();
    }
    state.SetLabel(solver_path_name(solver_path_in_use()));
    solver_simd_path = SOLVER_PATH_AUTO;
    solver_threads = SOLVER_THREADS_AUTO;
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

// The fastest repetition: the machine is shared, and other work only ever
// makes a run slower.
static double fastest(const std::vector<double> &v)
{
    return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end());
}

static void add_grids(benchmark::internal::Benchmark *b)
{
    for (int grid : GRIDS) b->Arg(grid);
    b->ArgName("grid")->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", fastest);
}

int main(int argc, char **argv)
{
    struct Setting {
        const char *name;
        int threads;
    };
    const Setting settings[] = {{"threads:1", SOLVER_THREADS_ONE},
                                {"threads:2", SOLVER_THREADS_TWO}};
    add_grids(benchmark::RegisterBenchmark("BM_step/auto/threads:auto", run_shipped,
                                           SOLVER_PATH_AUTO, SOLVER_THREADS_AUTO));
    const int paths[] = {SOLVER_PATH_SSE, SOLVER_PATH_AVX2, SOLVER_PATH_AVX512};
    for (int path : paths) {
        if (!solver_path_supported(path)) continue;
        for (const Setting &s : settings) {
            std::string name = std::string("BM_step/") + solver_path_name(path) + "/" + s.name;
            add_grids(benchmark::RegisterBenchmark(name.c_str(), run_shipped, path, s.threads));
        }
    }
    add_grids(benchmark::RegisterBenchmark("BM_reference_step", BM_reference_step));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
