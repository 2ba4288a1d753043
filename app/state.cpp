// state.cpp -- the program-wide window, timing, mouse and flag state, and the
// fatal exit of start-up.
#include "app/app.h"
#include "game/game.h"

#include <cstdlib>
#include <termios.h>
#include <unistd.h>

int window_id;
int win_width = 800, win_height = 600;
int is_fullscreen;
int fullscreen;
char full_res[PARAM_TEXT_LEN];

int window_size_possible(int w, int h)
{
    return w > 0 && h > 0 && w <= MAX_WINDOW_SIDE && h <= MAX_WINDOW_SIDE;
}

int frame_count;
int fps_time;
float fps;
int mouse_row;

int mouse_x, mouse_y;
int prev_mouse_x, prev_mouse_y;
int mouse_down[3];

int game_mode;
int plasma_shader, density_depth;
int dye_shader, velocity_shader, pressure_shader, divergence_shader, curl_shader;
int velocity_grid, velocity_lines, vorticity_lines;
int vorticity_on, gravity_on, buoyancy_on;
int wall_mode, pressure_mode, jet_mode;
int mouse_probe, wireframe, show_trajectory;
int show_text;
int particles_on;
int music_on;
int paused;
int cursor_blink;

int help_shown;
int help_page;
int help_page_count = 1;
int window_hidden;
int screen_dirty;

void init_flags(void)
{
    game_mode = 1;
    plasma_shader = 1;
    density_depth = 0;
    dye_shader = velocity_shader = pressure_shader = divergence_shader = curl_shader = 0;
    velocity_grid = velocity_lines = vorticity_lines = 0;
    vorticity_on = gravity_on = buoyancy_on = 0;
    wall_mode = pressure_mode = jet_mode = 0;
    mouse_probe = wireframe = show_trajectory = 0;
    show_text = 1;
    particles_on = 1;
    music_on = 1;
    paused = 0;
    name_entry = score_saved = name_length = 0;
    cursor_blink = 0;
    help_shown = help_page = 0;
    help_page_count = 1;
    options_shown = options_viewing = options_selected = 0;
    options_page_count = 1;
    options_notice[0] = 0;
    window_hidden = screen_dirty = 0;
    screenshot_requested = 0;
    screen_notice[0] = 0;
    screen_notice_until_ms = 0;
}

void fatal_exit(void)
{
    fflush(stdout);
    if (isatty(STDIN_FILENO)) {
        // One key, echoed, without waiting for Enter.
        struct termios saved, raw;
        int have_termios = tcgetattr(STDIN_FILENO, &saved) == 0;
        if (have_termios) {
            raw = saved;
            raw.c_lflag &= ~(tcflag_t)ICANON;
            raw.c_lflag |= ECHO;
            raw.c_cc[VMIN] = 1;
            raw.c_cc[VTIME] = 0;
            tcsetattr(STDIN_FILENO, TCSANOW, &raw);
        }
        getchar();
        if (have_termios) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    }
    exit(-1);
}
