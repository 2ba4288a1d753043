// input.cpp -- keyboard, mouse and window-event callbacks, and the tool
// pass. The callbacks only record the mouse, flip flags and call a few
// operations, and every one of them marks the screen for redrawing; the next
// frame's tool pass turns the buttons into the mode's tools or the player's
// paddle actions. The pass owns jet_mode's open/close cycle and the previous
// mouse position seen over the grid.
#include "app/app.h"
#include "replay/replay.h"
#include "fluid/fluid.h"
#include "game/game.h"
#include "sound/sound.h"

#include <cstdlib>
#include <cstring>

enum {
    KEY_BACKSPACE = 8,
    KEY_ENTER = 13,
    KEY_ESCAPE = 27,
    KEY_DELETE = 127,
    FIRST_PRINTABLE = 32,
    LAST_PRINTABLE = 126,
};

static const int MAX_DENSITY_DEPTH = 10;
static const int VELOCITY_LINE_STYLES = 2;
static const float HUE_STEP = 1.0f;
static const float HUE_MAX = 360.0f;
static const int WINDOWED_WIDTH = 800;
static const int WINDOWED_HEIGHT = 600;

// A toggle that counts up to its last value and then wraps to 0.
static int cycle(int value, int last) { return value == last ? 0 : value + 1; }

// Selects one member of the view group and switches the other six off.
static void select_view(int *member, int last)
{
    int next = cycle(*member, last);
    plasma_shader = density_depth = 0;
    dye_shader = velocity_shader = pressure_shader = divergence_shader = curl_shader = 0;
    *member = next;
}

static void set_hue1(float h)
{
    hue1 = h;
    hue1_color = hsl_to_rgb(hue1, 1.0f, 0.5f);
    set_plasma_colors(hue1_color, hue2_color);
}

static void set_hue2(float h)
{
    hue2 = h;
    hue2_color = hsl_to_rgb(hue2, 1.0f, 0.5f);
    set_plasma_colors(hue1_color, hue2_color);
}

static void type_name_key(unsigned char key)
{
    if (key >= FIRST_PRINTABLE && key <= LAST_PRINTABLE && name_length < NAME_MAX_CHARS) {
        name_buffer[name_length] = (char)key;
        name_length += 1;
    }
    switch (key) {
    case KEY_BACKSPACE:
    case KEY_DELETE:
        if (name_length > 0) name_length -= 1;
        name_buffer[name_length] = 0;
        break;
    case KEY_ENTER:
        // The table saved may hold rows of another copy: the mark follows the row.
        game.final_rank = insert_high_score(game.level);
        end_name_entry();
        score_saved = 1;
        break;
    case KEY_ESCAPE:
        if (replay_lets_quit()) exit(1);
        break;
    default:
        break;
    }
}

// A game in play stops, as with the spacebar, whenever the player cannot be
// playing it: reading the help page, or away from the window.
static void pause_running_game(void)
{
    if (game_mode && game.playing) paused = 1;
}

void sound_follow_pause(void)
{
    int held = window_hidden || (game_mode && paused);
    sound_pause_all(params.auto_pause && held);
}

// h opens the help page, turns to its next page when the window holds it on
// several, and closes it after the last.
static void help_key(void)
{
    if (!help_shown) {
        help_shown = 1;
        options_shown = 0;
        help_page = 0;
        pause_running_game();
    } else if (help_page + 1 < help_page_count) {
        help_page += 1;
    } else {
        help_shown = 0;
    }
}

// o opens the options page over whatever shows, as h the help page.
static void options_open(void)
{
    options_shown = 1;
    help_shown = 0;
    pause_running_game();
}

void on_keyboard(unsigned char key, int x, int y)
{
    if (!record_event(EVENT_KEY, key, 0, 0, 0)) return;
    (void)x;
    (void)y;
    screen_dirty = 1;
    // The options page takes its keys first, even while a name is typed
    // (o is a letter of the name only while the page is closed).
    if (options_shown && options_key(key)) return;
    // Esc closes the help page before anything else, even while a name is
    // typed, so that it never quits from under the page.
    if (help_shown && key == KEY_ESCAPE) {
        help_shown = 0;
        return;
    }
    if (name_entry == 1) {
        type_name_key(key);
        return;
    }
    switch (key) {
    case KEY_ESCAPE:
    case 'q':
    case 'Q':
        if (replay_lets_quit()) exit(1);
        break;
    case ' ':
        if (game_mode == 1 && game.playing == 0) {
            score_saved = 0;
            game_start();
        } else {
            paused = !paused;
        }
        break;
    case '0': select_view(&plasma_shader, 1); break;
    case '1': select_view(&density_depth, MAX_DENSITY_DEPTH); break;
    case '2': select_view(&dye_shader, 1); break;
    case '3': select_view(&velocity_shader, 1); break;
    case '4': select_view(&pressure_shader, 1); break;
    case '5': select_view(&divergence_shader, 1); break;
    case '6': select_view(&curl_shader, 1); break;
    case '7': velocity_grid = cycle(velocity_grid, 1); break;
    case '8':
        velocity_lines = cycle(velocity_lines, VELOCITY_LINE_STYLES);
        vorticity_lines = 0;
        break;
    case '9':
        vorticity_lines = cycle(vorticity_lines, 1);
        velocity_lines = 0;
        break;
    case 'b': case 'B': buoyancy_on = !buoyancy_on; break;
    case 'c': case 'C': clear_simulation(); break;
    case 'd': case 'D': mouse_probe = !mouse_probe; break;
    case 'e': case 'E': wireframe = !wireframe; break;
    case 'f': case 'F': show_text = !show_text; break;
    case 'g': case 'G': gravity_on = !gravity_on; break;
    case 'h': case 'H': help_key(); break;
    case 'l': case 'L': game_level_up(); break;
    case 'm': case 'M': music_switch(); break;
    case 'o': case 'O': options_open(); break;
    case 'p': case 'P': particles_on = !particles_on; break;
    case 'r': case 'R': {
        hue1 = (float)(program_rand() % 360);
        hue2 = (float)(program_rand() % 360);
        hue1_color = hsl_to_rgb(hue1, 1.0f, 0.5f);
        hue2_color = hsl_to_rgb(hue2, 1.0f, 0.5f);
        set_plasma_colors(hue1_color, hue2_color);
        break;
    }
    case 's': case 'S': pressure_mode = !pressure_mode; break;
    case 't': case 'T': show_trajectory = !show_trajectory; break;
    case 'v': case 'V': vorticity_on = !vorticity_on; break;
    case 'w': case 'W': wall_mode = !wall_mode; break;
    case '[':
        dye_hue += HUE_STEP;
        dye_color = hsl_to_rgb(dye_hue, 1.0f, 0.5f);
        break;
    case ']':
        dye_hue -= HUE_STEP;
        dye_color = hsl_to_rgb(dye_hue, 1.0f, 0.5f);
        break;
    default:
        break;
    }
    sound_follow_pause();
}

void on_special_key(int key, int x, int y)
{
    if (!record_event(EVENT_SPECIAL, key, 0, 0, 0)) return;
    (void)x;
    (void)y;
    screen_dirty = 1;
    // The arrows and Page Up/Down are the page's while it shows.
    if (options_shown && options_special_key(key)) return;
    switch (key) {
    case KEY_F1:
        game_mode = !game_mode;
        if (game_mode) {
            game_reset_to_title();
            plasma_shader = 1;
            dye_shader = curl_shader = divergence_shader = pressure_shader = velocity_shader = 0;
            density_depth = 0;
            end_name_entry();
            score_saved = 0;
        } else {
            // A name being typed is dropped: the solver's keys are its own.
            end_name_entry();
            clear_simulation();
            plasma_shader = 0;
            density_depth = 5;
        }
        break;
    case KEY_F2:
        if (is_fullscreen == 0) {
            enter_fullscreen();
        } else {
            // The windowed size first: a full-screen window goes back to it.
            is_fullscreen = 0;
            win_width = WINDOWED_WIDTH;
            win_height = WINDOWED_HEIGHT;
            leave_fullscreen();
        }
        break;
    case KEY_F12:
        screenshot_requested = 1;
        break;
    case KEY_RIGHT: {
        float h = hue1 + HUE_STEP;
        set_hue1(h > HUE_MAX ? 0.0f : h);
        break;
    }
    case KEY_LEFT: {
        float h = hue1 - HUE_STEP;
        set_hue1(h < 0.0f ? HUE_MAX : h);
        break;
    }
    case KEY_UP: {
        float h = hue2 + HUE_STEP;
        set_hue2(h > HUE_MAX ? 0.0f : h);
        break;
    }
    case KEY_DOWN: {
        float h = hue2 - HUE_STEP;
        set_hue2(h < 0.0f ? HUE_MAX : h);
        break;
    }
    default:
        break;
    }
    sound_follow_pause();       // F1 changes the mode
}

// Anything this far out is outside every grid; the limit keeps the
// truncation to int defined for any window.
static const long double CELL_LIMIT = 1e9L;

int pixel_to_cell(long double pixel, int extent, int cells, int *cell)
{
    if (extent <= 0) return 0;
    long double c = pixel / extent * cells + 1.0L;
    if (c > CELL_LIMIT) c = CELL_LIMIT;
    if (c < -CELL_LIMIT) c = -CELL_LIMIT;
    *cell = (int)c;     // truncates toward zero
    return 1;
}

void on_mouse(int button, int state, int x, int y)
{
    if (!record_event(EVENT_MOUSE, button, state, x, y)) return;
    screen_dirty = 1;
    mouse_x = x;
    mouse_y = y;
    prev_mouse_x = x;
    prev_mouse_y = y;
    if (button < BUTTON_LEFT || button > BUTTON_RIGHT) return;
    // A press on the options page is the page's; a release always lets go,
    // so that no button stays held that was pressed before it opened.
    if (options_shown && state == MOUSE_PRESSED) {
        if (button == BUTTON_LEFT) options_click(x, y);
        return;
    }
    mouse_down[button] = state == MOUSE_PRESSED ? 1 : 0;
}

void on_motion(int x, int y)
{
    if (!record_event(EVENT_MOTION, x, y, 0, 0)) return;
    screen_dirty = 1;
    mouse_x = x;
    mouse_y = y;
}

void on_window_status(int visible)
{
    if (!record_event(EVENT_VISIBILITY, visible, 0, 0, 0)) return;
    screen_dirty = 1;
    window_hidden = !visible;
    if (window_hidden && params.auto_pause) pause_running_game();
    sound_follow_pause();
}

void on_entry(int inside)
{
    if (!record_event(EVENT_ENTRY, inside, 0, 0, 0)) return;
    screen_dirty = 1;
    // A held button keeps the pointer with the window (the paddle is still
    // steered while it is outside), so only a free pointer counts as leaving.
    int held = mouse_down[BUTTON_LEFT] || mouse_down[BUTTON_MIDDLE] || mouse_down[BUTTON_RIGHT];
    if (!inside && !held && params.auto_pause) pause_running_game();
    sound_follow_pause();
}

int mouse_to_cell(int x, int y, int *i, int *j)
{
    if (win_width <= 0 || win_height <= 0) return 0;
    pixel_to_cell(x, win_width, solver.grid_width, i);
    pixel_to_cell((long double)win_height - y, win_height, solver.grid_height, j);
    return 1;
}

// The player's paddle may act unless a running game is counting down a serve.
static int paddle_may_act(void) { return game.countdown <= 0 || !game.playing; }

static int jet_placement_allowed(void) { return !wall_mode && !game_mode && !pressure_mode; }

// A mouse outside the grid does nothing and keeps the previous position, so
// the first pass back over the grid stirs with the whole excursion. In the
// game, until it is over, the left and right buttons are the paddle's.
void tool_pass(void)
{
    int i, j;
    if (!mouse_to_cell(mouse_x, mouse_y, &i, &j)) return;
    if (i < 1 || i > solver.grid_width || j < 1 || j > solver.grid_height) return;
    if (!wall || !u_prev) return;
    int in_game = game_mode && !game.game_over;

    if (mouse_down[BUTTON_LEFT]) {
        if (in_game) {
            if (paddle_may_act()) shoot_plasma(PLAYER_ID);
        } else if (wall_mode) {
            paint_walls(i, j, CELL_WALL);
        } else if (pressure_mode) {
            sink_cell(i, j);
        } else {
            // The drag in pixels since the last pass, y pointing up.
            stir_cell(i, j, (double)mouse_x - prev_mouse_x, (double)prev_mouse_y - mouse_y);
        }
    }

    if (mouse_down[BUTTON_MIDDLE]) {
        if (jet_mode == 0 && jet_placement_allowed()) {
            open_jet(i, j);
            jet_mode = 1;
        }
    } else if (jet_mode == 1 && jet_placement_allowed()) {
        complete_jet_placement(i, j, mouse_down[BUTTON_RIGHT], mouse_down[BUTTON_LEFT]);
        jet_mode = 0;
    }

    if (mouse_down[BUTTON_RIGHT]) {
        if (in_game) {
            if (paddle_may_act()) suck_ball(PLAYER_ID);
        } else if (wall_mode) {
            paint_walls(i, j, CELL_FLUID);
        } else if (pressure_mode) {
            shockwave_cell(i, j);
        } else {
            ink_cell(i, j, dye_color);
        }
    } else if (player_paddle.held_frames > 1 && !game.game_over) {
        blast_ball(PLAYER_ID);
    }

    prev_mouse_x = mouse_x;
    prev_mouse_y = mouse_y;
}
