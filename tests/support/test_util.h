// test_util.h -- shared set-up for the unit tests: a fresh program state at a
// chosen grid size, as start-up leaves it, without a window or sound device.
#pragma once

#include "app/app.h"
#include "fluid/fluid.h"
#include "game/game.h"
#include "sound/sound.h"
#include "replay/replay.h"

#include <string>

// The stand-in window layer (stub_window.cpp).
extern int stub_elapsed_ms;
extern int stub_fullscreen_requests;
extern int stub_fullscreen_leaves;
extern int stub_redisplays;
extern long long stub_clock_ns;     // the monotonic clock, ns
extern int stub_sleeps;
// Sizes a replay asked the window for that no window can have.
extern int stub_impossible_sizes;
extern long long stub_draw_ns;      // ns each redisplay moves the monotonic clock on
extern int stub_clock_reads;        // calls of elapsed_ms

// Defaults with grid_res = grid; then as start-up: working copies, flags,
// colours, allocation and clearing of the grid, particles and jets, the game
// record zeroed and reset to the title. Releases what an earlier call made.
void start_program(int grid = 100);
// The same with a prepared parameter record.
void start_program_with(const Params &p);
void stop_program(void);

// Runs fn and returns what it printed to stdout.
std::string capture_stdout(void (*fn)(void));
// Writes text into a new file at path.
void write_file(const std::string &path, const std::string &text);
std::string read_file(const std::string &path);
// A fresh empty directory under the system's temporary folder.
std::string make_temp_dir(void);
