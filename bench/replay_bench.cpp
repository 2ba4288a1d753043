// What recording a replay costs: a whole game frame on the default 100 x 100
// grid with and without the recording, the recording's own work per frame
// alone (an event, the clock, the frame record, and every 60th frame the
// state checksum), one state checksum, and the bytes a frame adds.
#include "tests/support/test_util.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

static const int FRAMES_PER_HOUR = 60 * 60 * 60;   // at the shipped 60 frames a second

// A game in play with the pointer moving every frame, recorded or not.
static void start_game(int recording)
{
    std::string dir = make_temp_dir();
    if (chdir(dir.c_str()) != 0) abort();
    replay_reset();
    start_program(100);
    params.record_replays = recording;
    replay_start("params.txt");
    replay_set_window_size();
    stub_elapsed_ms = 1000;
    game_start();
    game.max_lives = game.lives = -1;   // never ends
}

static size_t recorded_bytes(void)
{
    size_t size = 0;
    free(replay_recording_bytes(&size));
    return size;
}

static void report_size(benchmark::State &state, size_t before)
{
    double per_frame = (double)(recorded_bytes() - before) / (double)state.iterations();
    state.counters["bytes_per_frame"] = per_frame;
    state.counters["MB_per_hour"] = per_frame * FRAMES_PER_HOUR / 1e6;
}

static void BM_GameFrame(benchmark::State &state)
{
    int recording = (int)state.range(0);
    start_game(recording);
    size_t before = recording ? recorded_bytes() : 0;
    int f = 0;
    for (auto _ : state) {
        on_motion(40, 300 + (f % 200) - 100);
        stub_elapsed_ms += 16 + (f % 3 == 0);
        on_idle();
        f++;
    }
    if (recording) report_size(state, before);
    replay_reset();
}
BENCHMARK(BM_GameFrame)->ArgName("recording")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The recording's own work in a frame: what the hooks add to on_idle.
static void BM_RecordingPerFrame(benchmark::State &state)
{
    start_game(1);
    size_t before = recorded_bytes();
    int f = 0;
    for (auto _ : state) {
        replay_idle();
        record_event(EVENT_MOTION, 40, 300 + (f % 200) - 100, 0, 0);
        replay_frame_begin();
        replay_clock(1000 + 17 * f);
        replay_frame_end();
        f++;
    }
    report_size(state, before);
    replay_reset();
}
BENCHMARK(BM_RecordingPerFrame);

static void BM_StateChecksum(benchmark::State &state)
{
    start_program((int)state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(replay_state_checksum());
}
BENCHMARK(BM_StateChecksum)->ArgName("grid")->Arg(100)->Arg(200)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
