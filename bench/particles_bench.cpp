// Per-frame cost of the jets, the particle motion and the mouse tools on the
// default 100 x 100 grid with a full ring of 1000 particles.
#include "tests/support/test_util.h"

#include <benchmark/benchmark.h>

namespace {

// A full ring spread over the grid, on a gently swirling flow with a few
// walls for the nudge, and 20 emitting jets.
void prepare(void)
{
    start_program(100);
    game_mode = 0;
    for (int i = 1; i <= 100; i++)
        for (int j = 1; j <= 100; j++) {
            u[cell_index(i, j)] = 0.002f * (float)(j - 50);
            v[cell_index(i, j)] = -0.002f * (float)(i - 50);
        }
    for (int j = 30; j <= 70; j++) wall[cell_index(50, j)] = CELL_WALL;
    for (int n = 0; n < 1000; n++)
        spawn_particle(2.0f + (float)(n % 96), 2.0f + (float)(n / 10 % 96), 4.0f, 1e9f, 1.0f,
                       10.0f, 1);
    Particle t = Particle{};
    t.size = 4.0f;
    t.life = 1e9f;
    t.flow_gain = 1.0f;
    t.flow_scale = 10.0f;
    t.style = 1;
    for (int n = 0; n < 20; n++) {
        open_jet(5 + 4 * n, 10);
        complete_jet(5 + 4 * n, 14, 800.0f, Color{1, 0, 0, 1}, t);
    }
}

void BM_move_particles(benchmark::State &state)
{
    prepare();
    for (auto _ : state) {
        move_particles();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_move_particles);

void BM_apply_jets(benchmark::State &state)
{
    prepare();
    for (auto _ : state) {
        apply_jets();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_apply_jets);

// The tool pass with the left and right buttons held in the wall mode (the
// square brush), the most writing a pass does.
void BM_tool_pass_walls(benchmark::State &state)
{
    prepare();
    win_width = 800;
    win_height = 600;
    wall_mode = 1;
    on_mouse(BUTTON_LEFT, MOUSE_PRESSED, 400, 300);
    on_mouse(BUTTON_RIGHT, MOUSE_PRESSED, 400, 300);
    for (auto _ : state) {
        tool_pass();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_tool_pass_walls);

} // namespace

BENCHMARK_MAIN();
