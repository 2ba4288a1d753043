// Fuzz target: a replay file from anyone, the whole road. The bytes are
// checked as the program checks a replay; one it accepts is unpacked as the
// launcher unpacks it, started as start-up starts it (its own params.txt and
// scores.txt, the grid and tables held small so that each run is quick) and
// played through the frame step with the stand-in window layer for a bounded
// number of frames. A crash, a recorded parameter that names a file or
// switches recording on, and a window size no window can have are faults.
// The last four bytes are taken as the CRC of the others, as a tool that
// writes replays makes them: otherwise nearly every change the fuzzer makes
// would end at the CRC check (the unit tests cover that check).
#include "tests/support/test_util.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <vector>
#include <zlib.h>

static const char REPLAY_NAME[] = "fuzz.fxr";
// Held small: the file's own parameters may ask for any size. The seeds are
// recorded within these bounds, so that they play back exactly to their
// end rather than diverge at their first check.
static const int MAX_GRID = 8;
static const int MAX_PARTICLES = 128;
static const int MAX_JETS = 8;
static const int MAX_ITERATIONS = 2;
static const int MAX_PADDLE = 30;           // cells
static const int MAX_BLOCK = 8;             // cells
static const int MAX_FRAMES = 100;
static const int IDLE_CALLS_PER_FRAME = 3;  // a held frame rate sleeps between frames

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    std::string dir = make_temp_dir();
    if (chdir(dir.c_str()) != 0) return 1;
    if (!freopen("/dev/null", "w", stdout)) return 1;
    // The same fields on one thread, without a hand-over to the helper at
    // every pass of a step on a grid this small.
    solver_threads = SOLVER_THREADS_ONE;
    return 0;
}

static int clamp(int value, int low, int high) { return value < low ? low : value > high ? high : value; }

// What the launcher leaves in its folder: the file and what it unpacks.
static int unpack(const uint8_t *data, size_t size)
{
    unlink("params.txt");
    unlink("scores.txt");
    FILE *f = fopen(REPLAY_NAME, "wb");
    if (!f) abort();
    if (size && fwrite(data, 1, size, f) != size) abort();
    if (fclose(f) != 0) abort();
    return unpack_replay(REPLAY_NAME, ".");
}

static const size_t CRC_BYTES = 4;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    if (size < CRC_BYTES) return 0;
    std::vector<uint8_t> sealed(input, input + size);
    uint32_t crc = (uint32_t)crc32_z(crc32(0L, Z_NULL, 0), sealed.data(), size - CRC_BYTES);
    for (size_t k = 0; k < CRC_BYTES; k++) sealed[size - CRC_BYTES + k] = (uint8_t)(crc >> (8 * k));
    const uint8_t *data = sealed.data();

    replay_reset();
    ReplayFile *r = parse_replay_bytes(data, size, REPLAY_NAME);
    if (!r) return 0;
    // A file the check accepts is one the launcher unpacks.
    if (!unpack(data, size)) abort();

    // Start-up from the recorded parameters: none of them may name a file
    // or start a recording of its own.
    read_params("params.txt");
    if (params.replay[0] || params.replay_video[0] || params.record_replays) abort();
    Params p = params;
    p.grid_cols = clamp(p.grid_cols, 1, MAX_GRID);
    p.grid_rows = clamp(p.grid_rows, 1, MAX_GRID);
    p.max_particles = clamp(p.max_particles, 0, MAX_PARTICLES);
    p.max_jets = clamp(p.max_jets, 0, MAX_JETS);
    p.iterations = clamp(p.iterations, 0, MAX_ITERATIONS);
    p.paddle_width = clamp(p.paddle_width, 0, MAX_PADDLE);
    p.paddle_height = clamp(p.paddle_height, 0, MAX_PADDLE);
    p.block_size = clamp(p.block_size, 0, MAX_BLOCK);
    is_fullscreen = 0;
    mouse_row = 0;
    program_srand(1);
    start_program_with(p);

    // As main: the window opens at the size the replay sets.
    replay_play_file(r, REPLAY_PLAY);
    replay_set_window_size();
    if (!window_size_possible(win_width, win_height)) abort();
    stub_impossible_sizes = 0;
    int frames = replay_frames_total() < MAX_FRAMES ? replay_frames_total() : MAX_FRAMES;
    for (int k = 0; k < (frames + 2) * IDLE_CALLS_PER_FRAME && !replay_over() &&
                    replay_frames_played() < MAX_FRAMES;
         k++) {
        stub_elapsed_ms += 17;      // the live clock: a replay must not use it
        on_idle();
    }
    if (stub_impossible_sizes) abort();
    replay_reset();
    return 0;
}
