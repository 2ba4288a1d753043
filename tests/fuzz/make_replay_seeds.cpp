// make_replay_seeds -- records the seed corpus of the replay fuzz target
// through the core library: short sessions of a game, the solver mode's
// tools, the view keys and window changes, each with a small params.txt and
// a scores.txt of its own. Each is played back to its end before it is
// written, so a seed is always a replay the program plays exactly.
// Usage: make_replay_seeds OUT_DIR (run from any folder; it works in a
// temporary one).
#include "tests/support/test_util.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

const char PARAMS_TEXT[] =
    "# a small field for quick runs (within the fuzz target's bounds)\ngrid_res = 6\n"
    "iterations = 2\nwin_width = 160\nwin_height = 120\nmax_lives = 1\nmax_particles = 64\n"
    "max_jets = 4\npaddle_height = 3\nrecord_replays = 1\n";
const char SCORES_TEXT[] = "Bob = 3\n";
const int WIN_W = 160, WIN_H = 120;

void key(unsigned char k) { on_keyboard(k, 0, 0); }
void special(int k) { on_special_key(k, 0, 0); }
void button(int b, int state, int x, int y) { on_mouse(b, state, x, y); }

// A game from the title page: served, the paddle steered, shots and a suck.
void game_events(int f)
{
    int y = WIN_H / 2 + (int)(WIN_H / 3 * std::sin(f * 0.1));
    if (f == 0) on_reshape(WIN_W, WIN_H);
    if (f == 3) key(' ');
    on_motion(20, y);
    if (f % 40 == 10) button(BUTTON_LEFT, MOUSE_PRESSED, 20, y);
    if (f % 40 == 20) button(BUTTON_LEFT, MOUSE_RELEASED, 20, y);
    if (f == 50) button(BUTTON_RIGHT, MOUSE_PRESSED, 20, y);
    if (f == 70) button(BUTTON_RIGHT, MOUSE_RELEASED, 20, y);
    if (f == 90) key('l');
    if (f == 100) key('t');
}

// The solver mode: stirring, ink, walls, a sink and a wave, a jet.
void tools_events(int f)
{
    if (f == 0) special(KEY_F1);
    if (f == 2) button(BUTTON_LEFT, MOUSE_PRESSED, 40, 40);
    if (f > 2 && f < 15) on_motion(40 + f * 3, 40 + f);
    if (f == 15) button(BUTTON_LEFT, MOUSE_RELEASED, 85, 55);
    if (f == 17) button(BUTTON_RIGHT, MOUSE_PRESSED, 80, 60);
    if (f > 17 && f < 27) on_motion(80 - f, 60 + f);
    if (f == 27) button(BUTTON_RIGHT, MOUSE_RELEASED, 53, 87);
    if (f == 30) key('w');
    if (f == 31) button(BUTTON_LEFT, MOUSE_PRESSED, 60, 30);
    if (f > 31 && f < 38) on_motion(60 + f, 30);
    if (f == 38) button(BUTTON_LEFT, MOUSE_RELEASED, 97, 30);
    if (f == 39) button(BUTTON_RIGHT, MOUSE_PRESSED, 97, 30);
    if (f == 40) button(BUTTON_RIGHT, MOUSE_RELEASED, 97, 30);
    if (f == 41) key('w');
    if (f == 45) key('s');
    if (f == 46) button(BUTTON_LEFT, MOUSE_PRESSED, 30, 90);
    if (f == 48) button(BUTTON_LEFT, MOUSE_RELEASED, 30, 90);
    if (f == 49) button(BUTTON_RIGHT, MOUSE_PRESSED, 120, 90);
    if (f == 50) button(BUTTON_RIGHT, MOUSE_RELEASED, 120, 90);
    if (f == 51) key('s');
    if (f == 55) button(BUTTON_MIDDLE, MOUSE_PRESSED, 50, 60);
    if (f == 57) on_motion(70, 50);
    if (f == 58) button(BUTTON_LEFT, MOUSE_PRESSED, 70, 50);
    if (f == 59) button(BUTTON_RIGHT, MOUSE_PRESSED, 70, 50);
    if (f == 61) button(BUTTON_MIDDLE, MOUSE_RELEASED, 70, 50);
    if (f == 62) button(BUTTON_LEFT, MOUSE_RELEASED, 70, 50);
    if (f == 63) button(BUTTON_RIGHT, MOUSE_RELEASED, 70, 50);
    if (f == 70) key(' ');
    if (f == 75) key(' ');
    if (f == 80) key('c');
}

// The view keys: every field view, the lines, the colours, the texts.
void view_events(int f)
{
    static const char keys[] = "0123456789rdetfp[]bgvm";
    if (f == 0) special(KEY_F1);
    if (f >= 2 && f - 2 < (int)sizeof keys - 1) key((unsigned char)keys[f - 2]);
    if (f == 30) special(KEY_LEFT);
    if (f == 31) special(KEY_RIGHT);
    if (f == 32) special(KEY_UP);
    if (f == 33) special(KEY_DOWN);
    if (f == 35) key('h');
    if (f == 37) key(27);       // closes the help page
    if (f > 40) on_motion(f, WIN_H - f / 2);
}

// The window: resized, full screen and back, hidden and shown, the pointer
// leaving and coming back, a game paused by it.
void window_events(int f)
{
    if (f == 0) on_reshape(WIN_W, WIN_H);
    if (f == 5) on_reshape(200, 150);
    if (f == 10) on_reshape(1, 1);
    if (f == 15) on_reshape(WIN_W, WIN_H);
    if (f == 20) special(KEY_F2);
    if (f == 25) special(KEY_F2);
    if (f == 30) key(' ');
    if (f == 35) on_window_status(0);
    if (f == 40) on_window_status(1);
    if (f == 45) on_entry(0);
    if (f == 50) on_entry(1);
    if (f == 52) key(' ');
    if (f == 55) on_reshape(320, 90);
    if (f > 55) on_motion(f * 2, 45);
}

struct Session {
    const char *name;
    void (*events)(int frame);
    int frames;
};

const Session sessions[] = {
    {"game.fxr", game_events, 100},
    {"tools.fxr", tools_events, 90},
    {"views.fxr", view_events, 60},
    {"window.fxr", window_events, 70},
};

// Start-up as main does it, from params.txt and scores.txt in the folder.
void start_up(void)
{
    read_params("params.txt");
    is_fullscreen = 0;
    mouse_row = 0;
    program_srand(1);
    stub_elapsed_ms = 0;
    stub_clock_ns = 0;
    Params p = params;
    start_program_with(p);
    if (!replay_start("params.txt")) abort();
    replay_set_window_size();
}

// Records one session; the replay's bytes.
std::string record(const Session &s)
{
    write_file("params.txt", PARAMS_TEXT);
    write_file("scores.txt", SCORES_TEXT);
    replay_reset();
    start_up();
    for (int f = 0; f < s.frames; f++) {
        s.events(f);
        stub_elapsed_ms += 16 + (f % 3 == 0);
        on_idle();
    }
    replay_idle();
    size_t size = 0;
    unsigned char *bytes = replay_recording_bytes(&size);
    if (!bytes) abort();
    std::string file((const char *)bytes, size);
    free(bytes);
    replay_reset();
    return file;
}

// Plays the replay back from a fresh start; 1 when it ends matching.
int plays_to_end(const std::string &file)
{
    write_file("params.txt", PARAMS_TEXT);
    write_file("scores.txt", SCORES_TEXT);
    write_file("seed.fxr", file);
    FILE *f = fopen("params.txt", "a");
    if (!f) abort();
    fprintf(f, "replay = seed.fxr\n");
    fclose(f);
    start_up();
    for (int k = 0; k < 10000 && !replay_over(); k++) on_idle();
    int ok = strncmp(replay_notice, "End of the replay", strlen("End of the replay")) == 0;
    replay_reset();
    return ok;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: make_replay_seeds OUT_DIR\n");
        return 2;
    }
    char out[4096];
    if (!realpath(argv[1], out)) {
        perror(argv[1]);
        return 2;
    }
    std::string dir = make_temp_dir();
    if (chdir(dir.c_str()) != 0) return 2;
    // The parameters echoed at each start-up are of no interest here.
    if (!freopen("/dev/null", "w", stdout)) return 2;
    int status = 0;
    for (const Session &s : sessions) {
        std::string file = record(s);
        if (!plays_to_end(file)) {
            fprintf(stderr, "%s does not play back to its end\n", s.name);
            status = 1;
            continue;
        }
        write_file(std::string(out) + "/" + s.name, file);
        fprintf(stderr, "%s: %zu bytes\n", s.name, file.size());
    }
    std::string cmd = "rm -rf '" + dir + "'";
    if (system(cmd.c_str()) != 0) status = 1;
    return status;
}
