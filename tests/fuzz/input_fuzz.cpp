// Fuzz target: arbitrary key, mouse and window-event sequences through the
// input callbacks, the tool pass and frames of the simulation and the game,
// without a window (the player away from it pauses the game).
// Each input byte pair is one event; the keys that quit are left out.
#include "tests/support/test_util.h"

#include <cstdint>
#include <cstdio>
#include <unistd.h>

static const int FUZZ_GRID = 24;
static const int WINDOW_W = 240;
static const int WINDOW_H = 180;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    std::string dir = make_temp_dir();
    if (chdir(dir.c_str()) != 0) return 1;
    if (!freopen("/dev/null", "w", stdout)) return 1;
    return 0;
}

static int quits(unsigned char key) { return key == 27 || key == 'q' || key == 'Q'; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Params p;
    set_default_params(&p);
    p.grid_cols = p.grid_rows = FUZZ_GRID;
    p.win_width = WINDOW_W;
    p.win_height = WINDOW_H;
    p.max_particles = 64;
    p.max_jets = 4;
    p.paddle_height = 9;
    p.auto_pause = 1;
    start_program_with(p);
    int clock = 0;
    for (size_t k = 0; k + 1 < size; k += 2) {
        uint8_t op = data[k], arg = data[k + 1];
        switch (op % 8) {
        case 0:
            if (!quits(arg)) on_keyboard(arg, 0, 0);
            break;
        case 1: {
            static const int special[] = {KEY_F1, KEY_F1, KEY_LEFT, KEY_RIGHT,
                                          KEY_UP, KEY_DOWN, KEY_F12, 7};
            on_special_key(special[arg % 8], 0, 0);
            break;
        }
        case 2:
            on_mouse(arg % 4, (arg / 4) % 2, (int)(arg * 3) - 200, (int)(op * 2) - 150);
            break;
        case 3:
        case 4:
            on_motion((int)(arg * 2) - 100, (int)(op * 3) - 300);
            break;
        case 5:
            if (arg & 1)
                on_window_status((arg >> 1) & 1);
            else
                on_entry((arg >> 1) & 1);
            break;
        default:
            clock += 17 * (arg % 80);
            stub_elapsed_ms = clock;
            on_idle();
            break;
        }
    }
    return 0;
}
