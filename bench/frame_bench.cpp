// frame_bench.cpp -- the cost of one whole frame: the idle step (tools, jets,
// particles, solver, game) and the display callback, finished with glFinish,
// in an 800 x 600 double-buffered window under Xvfb (software GL).
//
// Arguments: grid size, then the state: 0 the start-up state (game mode,
// plasma view, particles on) with a disc of moving ink added, 1 the solver
// mode's 3-D density view at depth 5 with the same ink, 2 the start-up state
// exactly as the program starts. BM_ViewFrame and BM_ViewDraw take a field
// view instead (0 plasma, 1 3-D density, 2 velocity, 3 pressure, 4
// divergence, 5 curl, 6 dye), drawn in the solver mode over the same ink;
// BM_OverlayDraw an overlay (0 velocity lines, 1 vorticity lines, 2 velocity
// grid) over no view.
//
// Run it under the software GL (llvmpipe) for the cost of drawing, and with
// GALLIUM_NOOP=1, which drops the drawing and leaves what a hardware driver
// leaves on the processor: the program's and the driver's own work. The CPU
// column of the view benchmarks is processor time, all threads counted.
#include "render/render.h"
#include "tests/support/test_util.h"
#include "tests/support/xvfb.h"

#include <GL/glut.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

namespace {

enum { VIEW_PLASMA = 0, VIEW_DENSITY_DEPTH = 1, VIEW_START_UP = 2 };
const int WINDOW_W = 800, WINDOW_H = 600;
const int DEPTH_VIEW_LEVEL = 5;         // the depth F1 selects
const float INK_DENSITY = 10.0f;
const float INK_SPEED = 0.5f;
const int WARM_UP_FRAMES = 100;             // frames run before a display-only measurement
const float PARTICLE_LIFE_SCALE = 500.0f;   // as the frame draws them

void open_window_once(void)
{
    static int open = 0;
    if (open) return;
    if (!ensure_display()) {
        fprintf(stderr, "frame_bench: no X display\n");
        exit(1);
    }
    int argc = 1;
    char name[] = "frame_bench";
    char *argv[] = {name, nullptr};
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE);
    glutInitWindowPosition(0, 0);
    glutInitWindowSize(WINDOW_W, WINDOW_H);
    window_id = glutCreateWindow("frame_bench");
    register_callbacks();
    open = 1;
}

// A disc of coloured, moving ink in the middle, so that every view has
// something to draw and the solver something to carry.
void add_ink(int grid)
{
    const int c = grid / 2, r = grid / 5;
    for (int i = 1; i <= grid; i++)
        for (int j = 1; j <= grid; j++) {
            int di = i - c, dj = j - c;
            if (di * di + dj * dj > r * r) continue;
            int k = cell_index(i, j);
            dens[k] = INK_DENSITY;
            color[k] = Color{1.0f, 0.3f, 0.1f, 1.0f};
            u[k] = INK_SPEED;
            v[k] = -INK_SPEED;
        }
}

void set_up(int grid, int view)
{
    open_window_once();
    start_program(grid);
    small_font = GLUT_BITMAP_8_BY_13;
    large_font = GLUT_BITMAP_HELVETICA_18;
    win_width = WINDOW_W;
    win_height = WINDOW_H;
    mouse_x = WINDOW_W / 2;
    mouse_y = WINDOW_H / 2;
    if (view == VIEW_DENSITY_DEPTH) {
        // As F1 leaves the solver mode.
        game_mode = 0;
        plasma_shader = 0;
        density_depth = DEPTH_VIEW_LEVEL;
    }
    if (view != VIEW_START_UP) add_ink(grid);
}

// Times whole frames (idle step, display, and the GL finishing them) of the
// program as set up, then stops it.
void time_whole_frames(benchmark::State &state)
{
    for (auto _ : state) {
        on_idle();
        draw_frame();
        glFinish();
    }
    state.counters["fps"] = benchmark::Counter((double)state.iterations(),
                                               benchmark::Counter::kIsRate);
    stop_program();
}

void BM_WholeFrame(benchmark::State &state)
{
    set_up((int)state.range(0), (int)state.range(1));
    time_whole_frames(state);
}

// One field view alone (cleared window, projection, the view's quads).
void BM_FieldView(benchmark::State &state)
{
    const int view = (int)state.range(1);
    set_up((int)state.range(0), view);
    for (int n = 0; n < WARM_UP_FRAMES; n++) on_idle();
    void (*draw)(void) = view == VIEW_DENSITY_DEPTH ? draw_density_depth : draw_plasma_shader;
    for (auto _ : state) {
        set_projection();
        draw();
        glFinish();
    }
    state.counters["fps"] = benchmark::Counter((double)state.iterations(),
                                               benchmark::Counter::kIsRate);
    stop_program();
}

// The particles alone (every slot of the ring, one draw call each).
void BM_Particles(benchmark::State &state)
{
    set_up((int)state.range(0), (int)state.range(1));
    for (int n = 0; n < WARM_UP_FRAMES; n++) on_idle();
    for (auto _ : state) {
        set_projection();
        draw_particles(PARTICLE_LIFE_SCALE);
        glFinish();
    }
    stop_program();
}

// The status lines, probe and FPS line alone, as a frame of the solver mode
// writes them, with nothing else drawn.
void BM_Text(benchmark::State &state)
{
    set_up((int)state.range(0), VIEW_DENSITY_DEPTH);
    density_depth = 0;
    particles_on = 0;
    mouse_probe = (int)state.range(1);
    for (auto _ : state) {
        draw_frame();
        glFinish();
    }
    stop_program();
}

// The display callback alone, on the same state.
void BM_DrawOnly(benchmark::State &state)
{
    set_up((int)state.range(0), (int)state.range(1));
    for (int n = 0; n < WARM_UP_FRAMES; n++) on_idle();
    for (auto _ : state) {
        draw_frame();
        glFinish();
    }
    state.counters["fps"] = benchmark::Counter((double)state.iterations(),
                                               benchmark::Counter::kIsRate);
    stop_program();
}

// The seven field views, each with the toggle value its key first sets.
struct FieldView {
    int *toggle;
    int value;
    void (*draw)(void);
};
const FieldView FIELD_VIEWS[] = {
    {&plasma_shader, 1, draw_plasma_shader},
    {&density_depth, DEPTH_VIEW_LEVEL, draw_density_depth},
    {&velocity_shader, 1, draw_velocity_shader},
    {&pressure_shader, 1, draw_pressure_shader},
    {&divergence_shader, 1, draw_divergence_shader},
    {&curl_shader, 1, draw_curl_shader},
    {&dye_shader, 1, draw_dye_shader},
};
const int FIELD_VIEW_COUNT = (int)(sizeof FIELD_VIEWS / sizeof FIELD_VIEWS[0]);

// The solver mode with inked fluid and only the given view switched on.
const FieldView &set_up_view(int grid, int view)
{
    set_up(grid, VIEW_DENSITY_DEPTH);
    plasma_shader = density_depth = 0;
    dye_shader = velocity_shader = pressure_shader = divergence_shader = curl_shader = 0;
    *FIELD_VIEWS[view].toggle = FIELD_VIEWS[view].value;
    return FIELD_VIEWS[view];
}

// Whole frames (idle step and display) with one field view on.
void BM_ViewFrame(benchmark::State &state)
{
    set_up_view((int)state.range(0), (int)state.range(1));
    time_whole_frames(state);
}

// One field view alone, after the ink has moved for a while.
void BM_ViewDraw(benchmark::State &state)
{
    const FieldView &view = set_up_view((int)state.range(0), (int)state.range(1));
    for (int n = 0; n < WARM_UP_FRAMES; n++) on_idle();
    for (auto _ : state) {
        set_projection();
        view.draw();
        glFinish();
    }
    state.counters["fps"] = benchmark::Counter((double)state.iterations(),
                                               benchmark::Counter::kIsRate);
    stop_program();
}

// The three overlays, each with the toggle value its key first sets.
const FieldView OVERLAYS[] = {
    {&velocity_lines, 1, draw_velocity_lines},
    {&vorticity_lines, 1, draw_vorticity_lines},
    {&velocity_grid, 1, draw_velocity_grid},
};

// One overlay alone over no view, after the ink has moved for a while.
void BM_OverlayDraw(benchmark::State &state)
{
    set_up_view((int)state.range(0), 0);
    plasma_shader = 0;
    const FieldView &overlay = OVERLAYS[state.range(1)];
    *overlay.toggle = overlay.value;
    for (int n = 0; n < WARM_UP_FRAMES; n++) on_idle();
    for (auto _ : state) {
        set_projection();
        overlay.draw();
        glFinish();
    }
    stop_program();
}

void overlay_args(benchmark::internal::Benchmark *b)
{
    for (int grid : {200, 400})
        for (int overlay = 0; overlay < 3; overlay++) b->Args({grid, overlay});
    b->ArgNames({"grid", "overlay"})->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
    b->UseRealTime();
}

void view_args(benchmark::internal::Benchmark *b)
{
    for (int grid : {100, 200, 400})
        for (int view = 0; view < FIELD_VIEW_COUNT; view++) b->Args({grid, view});
    // The CPU column counts every thread of the process, the GL driver's
    // rasterizer threads included: on a shared machine it varies less with
    // the load than the real time does.
    b->ArgNames({"grid", "view"})->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
    b->UseRealTime();
}

void frame_args(benchmark::internal::Benchmark *b)
{
    for (int grid : {100, 200})
        for (int view : {VIEW_PLASMA, VIEW_DENSITY_DEPTH, VIEW_START_UP}) b->Args({grid, view});
    b->ArgNames({"grid", "view"})->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_WholeFrame)->Apply(frame_args);
BENCHMARK(BM_DrawOnly)->Apply(frame_args);
BENCHMARK(BM_FieldView)->Apply(frame_args);
BENCHMARK(BM_ViewFrame)->Apply(view_args);
BENCHMARK(BM_ViewDraw)->Apply(view_args);
BENCHMARK(BM_OverlayDraw)->Apply(overlay_args);
BENCHMARK(BM_Text)->Args({100, 0})->Args({100, 1})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Particles)->Args({100, VIEW_PLASMA})->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
