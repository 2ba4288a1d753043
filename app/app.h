// app.h -- the application shell: parameters, colours, mode and view flags,
// mouse state, window bookkeeping, the frame step and the input callbacks.
//
// Everything declared here except the window-layer operations at the bottom
// lives in the core library (no GL, GLUT or audio device needed), so tests,
// benchmarks and fuzzers can drive the whole program without a window.
#pragma once

#include <cstddef>
#include <cstdio>

// ---------------------------------------------------------------------------
// Parameters ("params.txt")
// ---------------------------------------------------------------------------

enum { PARAM_TEXT_LEN = 256 };  // key, value and full_res hold 255 chars + NUL
enum { PARAM_LINE_LEN = 1024 }; // a line holds 1023 chars + NUL

// One field per key of "params.txt"; grid_res fills grid_cols and grid_rows.
// Written by read_params at start-up and by the options page's changes
// (apply_option, remake_grid_storage); never reloaded from the file.
struct Params {
    int fullscreen;
    char full_res[PARAM_TEXT_LEN];
    int grid_cols;              // cells across (from grid_res)
    int grid_rows;              // cells up (from grid_res)
    int win_width;              // pixels
    int win_height;             // pixels
    int iterations;
    float timestep;
    float diffusion;
    float viscosity;
    float dissipation;
    float turbulance;
    float velocity_force;
    float density_source;
    float gravity_force;
    float buoyancy_force;
    float jet_force;
    float emitter_rate;
    int max_jets;
    int max_particles;
    int block_size;             // cells
    int max_lives;
    int paddle_width;           // cells
    int paddle_height;          // cells
    float paddle_force;
    float paddle_suck;
    float paddle_blast;
    float ball_top_speed;       // cells per frame
    float ball_accel;
    int frame_rate;             // frames per second; 0 or below: unlimited
    int help_hint;              // 1: "H: keys and help" on the title page and in the solver mode
    int auto_pause;             // 1: pause when the window is hidden or the pointer leaves it
    int fullscreen_window;      // 1: full screen as a borderless window where game mode is not possible
    int record_replays;         // 1: the session is recorded into replays/
    char replay_video[PARAM_TEXT_LEN];  // video a replay is exported to; empty: none
    char replay[PARAM_TEXT_LEN];        // replay file played instead of live input
};
extern Params params;

// Sets the defaults, reads the file (echoing each line to out), then reads
// the top-ten file. A missing file keeps the defaults.
void read_params(const char *file_name);
void set_default_params(Params *p);
// Parses one already-read line into p and echoes it to out (nullptr: no
// echo). Exposed for tests and for the writer's check of its work.
void parse_param_line(Params *p, const char *line, FILE *out);
// The next line of a parameter file as read_params takes it: 0 at the end,
// else 1 with the line in line (cut to size - 1 characters; the rest of a
// longer line is skipped) and *used 0 for a comment or an empty line, which
// set nothing.
int read_param_line(FILE *f, char *line, int size, int *used);
// The key (its literal, e.g. "replay") that parse_param_line would set from
// line, by the same matching; nullptr when the line sets none.
const char *param_line_key(const char *line);
void print_key_reference(void);

// The file read_params was given (set even when it could not be read): the
// file the options page saves into.
enum { PARAM_PATH_LEN = 4096 };
extern char params_file_name[PARAM_PATH_LEN];

// What the parser makes of one line: the key and value it reads (cut to
// PARAM_TEXT_LEN - 1 characters), the row of the key table the key sets (-1:
// none), and where in the line the key's run of characters ends, the '='
// ends, and the value's run starts and how long it is.
struct ParamLineScan {
    char key[PARAM_TEXT_LEN];
    char value[PARAM_TEXT_LEN];
    int key_row;
    int has_equals;             // 0: no '=' after the key; the value is empty
    size_t key_end;             // offsets into the line, bytes
    size_t equals_end;
    size_t value_at;
    size_t value_len;           // 0: no value
};
void scan_param_line(const char *line, ParamLineScan *scan);
// The row of the key table whose name is exactly name (-1: none), and the
// name of a row ("" outside the table). Rows never move: new keys go last.
int param_key_row(const char *name);
const char *param_key_name(int row);

// Writing one value back (params_write.cpp). The text of a parameter file
// with key row `key` set to value_text: the value of the line the parser
// applies last for that key is replaced (a line without '=' or without a
// value gets them); when no line sets the key, or the parser would read
// that line otherwise once rewritten (a line it reads only in part),
// "key = value" is added at the end in the file's own line ends. Every
// other byte stays. A buffer the caller frees with free(); nullptr when
// there is no memory.
unsigned char *rewrite_param_text(const unsigned char *text, size_t size, int key,
                                  const char *value_text, size_t *out_size);
// Saves key row `key` = value_text into the parameter file file_name (the
// target of a link), as rewrite_param_text makes it, through a temporary
// file renamed over it; a missing file is made with that one line. Returns 0,
// or the errno of the failure, which leaves the file as it was: a file no
// one may write (its mode has no write bit) is never replaced.
int save_param_value(const char *file_name, int key, const char *value_text);

// ---------------------------------------------------------------------------
// Colours
// ---------------------------------------------------------------------------

struct Color {
    float r, g, b, a;
};

// Alpha of a colour made from a hue (the conversion leaves it undefined).
const float HUE_COLOR_ALPHA = 1.0f;

Color hsl_to_rgb(float h, float s, float l);

// Random numbers (random.cpp): the sequence of an unseeded rand(), 0 to
// RAND_MAX, from a state of the program's own, which the libraries that call
// rand() themselves (the GL driver does) cannot move. program_srand starts
// it over as srand would (start-up of tests).
int program_rand(void);
void program_srand(unsigned seed);
Color random_hue_color(void);
void set_plasma_colors(Color c1, Color c2);

// Colour state: set at start-up (init_colors), changed by keys.
extern float dye_hue, hue1, hue2;          // degrees
extern Color dye_color, hue1_color, hue2_color;
extern float plasma_color1[3], plasma_color2[3];
void init_colors(void);

// ---------------------------------------------------------------------------
// Window, timing, mouse, mode and view flags
// ---------------------------------------------------------------------------

// The largest window side the program supports, in pixels: a replay that
// records a larger (or an empty) window is refused, and the pictures read
// back from the window (the video export, screenshots) are held to it.
enum { MAX_WINDOW_SIDE = 16384 };
// 1 when a window of w x h pixels can be made: at least 1 and at most
// MAX_WINDOW_SIDE pixels a side.
int window_size_possible(int w, int h);

// Window state: written by main, on_reshape and F2.
extern int window_id;
extern int win_width, win_height;   // pixels, live window size
extern int is_fullscreen;           // 1 once full screen was requested
extern int fullscreen;              // one-shot request served by on_idle
extern char full_res[PARAM_TEXT_LEN];

// Frame timing: written by on_idle. frame_count counts the frames drawn
// since fps_time, fps is frames drawn per second.
extern int frame_count;
extern int fps_time;                // ms of elapsed time at the last update
extern float fps;
extern int mouse_row;               // grid row under the mouse, from the bottom

// The elapsed-time clock is read as a 32-bit counter that may wrap (a
// replay's recorded readings can be any values): the ms from then_ms to
// now_ms, and the reading ms plus a span, both wrapping as the counter does.
int elapsed_since(int now_ms, int then_ms);
int clock_plus(int ms, int span_ms);

// Frame hold for a set frame_rate: the period is set by load_working_copies,
// the next deadline is moved on by on_idle (0 before the first frame).
extern long long frame_period_ns;   // 0: frames run as fast as they can
extern long long next_frame_ns;     // monotonic clock, ns
// The period of a frame rate in ns; 0 (no hold) for 0 or below, or for a
// rate beyond what the nanosecond clock can tell apart.
long long frame_period_for(int frame_rate);
// How long the frame due at *next_ns must still wait at now_ns; 0 means it
// runs now, and then *next_ns moves one period on (from now when that is
// already past, so a late frame brings no catch-up frames). A replay being
// watched keeps its pace this way, drawing every step.
long long frame_wait_ns(long long now_ns, long long period_ns, long long *next_ns);
// The pace of the program itself: the steps due at now_ns, at most
// max_steps; 0 while the step due at *next_ns is still ahead. *next_ns
// moves one period on per step (0 before the first step, which starts the
// schedule at now_ns); when more than max_steps are due, the schedule starts
// afresh from now_ns and the rest are dropped. 1 for no period.
int steps_due(long long now_ns, long long period_ns, long long *next_ns, int max_steps);
// Steps one drawn frame may run to keep the pace: a machine too slow for
// its drawing, or even for the steps, then runs slower instead of spending
// ever longer frames catching up.
const int MAX_STEPS_PER_FRAME = 4;

// Mouse state: written by on_mouse/on_motion and the tool pass.
extern int mouse_x, mouse_y;        // window pixels, y from the top
extern int prev_mouse_x, prev_mouse_y;
extern int mouse_down[3];           // left, middle, right

// Mode and view flags: set by init_flags at start-up, flipped by the keys.
extern int game_mode;
extern int plasma_shader, density_depth;
extern int dye_shader, velocity_shader, pressure_shader, divergence_shader, curl_shader;
extern int velocity_grid, velocity_lines, vorticity_lines;
extern int vorticity_on, gravity_on, buoyancy_on;
extern int wall_mode, pressure_mode, jet_mode;
extern int mouse_probe, wireframe, show_trajectory;
extern int show_text;
extern int particles_on;
extern int music_on;
extern int paused;
extern int cursor_blink;            // frames, name-entry cursor (render)
void init_flags(void);

// Help page: help_shown is set and cleared by the keys h and Esc, help_page
// (0 = first) is stepped by h; init_flags clears both. help_page_count is the
// number of pages the window's size takes, written by the renderer each frame
// it draws the page (init_flags sets it to 1).
extern int help_shown;
extern int help_page;
extern int help_page_count;

// Options page (options.cpp): options_shown is set by o and cleared by o
// and Esc (init_flags clears it; opening it closes the help page and the
// other way round). options_viewing is the page a replay's viewer opened
// with a live o: drawn, but no part of the session. options_selected is the
// chosen line (0 = first), stepped by the arrows and set by clicks;
// options_page_count is written by the renderer like help_page_count.
// options_notice is the page's last word on a change that did not go
// through (a save that failed, a grid there was no memory for); emptied by
// the next change.
enum { OPTIONS_NOTICE_LEN = 256 };
extern int options_shown;
extern int options_viewing;
extern int options_selected;
extern int options_page_count;
extern char options_notice[OPTIONS_NOTICE_LEN];

// Away from the window: window_hidden follows the window-status callback;
// screen_dirty is set by every input and window event and cleared by on_idle
// when it asks for the frame that shows it. init_flags clears both.
extern int window_hidden;
extern int screen_dirty;

// ---------------------------------------------------------------------------
// Frame step and input callbacks (core library)
// ---------------------------------------------------------------------------

// Fills the working copies of the other modules from params (start-up).
void load_working_copies(void);
// Start-up once the parameters are read: every module's working copies, the
// title state (its sound requests find no sound yet), the flags and colours.
void load_program_state(void);
// Allocates the grid, the drawing's vertex arrays, the particles and the
// jets in that order; 0 at the first that fails, which has printed its
// message.
int allocate_storage(void);

// The idle call: the steps that are due, then one request to draw.
void on_idle(void);
// With auto_pause the sound holds while the game is paused (space, the help
// page, the pointer away) or the window is hidden; in the solver mode only
// while the window is hidden. Every path that pauses the game or lets it go
// on calls this after changing the flags.
void sound_follow_pause(void);
// The next step runs without being drawn (on_idle catching up with the
// frame rate): it is not counted as a frame drawn. Recorded as an event, so
// that a replay counts the frames as the session did.
void on_step_undrawn(void);
// One frame of the mouse: which tool, or which of the player's paddle
// actions, each button runs in the current mode, at the cell under the
// mouse. Writes prev_mouse_x/y and opens and closes jet_mode's placements.
void tool_pass(void);
void on_keyboard(unsigned char key, int x, int y);
void on_special_key(int key, int x, int y);
void on_mouse(int button, int state, int x, int y);
void on_motion(int x, int y);
// The window was hidden or iconified (visible 0) or shown again (1).
void on_window_status(int visible);
// The pointer entered the window (inside 1) or left it (0).
void on_entry(int inside);

// The grid cell along one axis under a window pixel: trunc(pixel / extent *
// cells + 1) in extended precision, held within int range. pixel counts from
// the left for columns and from the bottom (extent - mouse_y) for rows.
// Returns 0, and no cell, when the window has no extent along the axis.
int pixel_to_cell(long double pixel, int extent, int cells, int *cell);
// The grid cell under window pixel (x, y); returns 0 (and no cell) when the
// window has no area.
int mouse_to_cell(int x, int y, int *i, int *j);

// Clears the grid, the particles and the jets, and closes a jet placement.
void clear_simulation(void);

// Waits for one key on the console (echoed, no Enter needed on a terminal;
// returns at once when stdin is not a terminal or at its end), then exits -1.
[[noreturn]] void fatal_exit(void);

// Makes everything whose size follows the grid or the particle count anew
// for a cols x rows grid and max_particles particles: the grid's fields, the
// particle ring, and the drawing's copies of the size. All that is new is
// had first; when any of it cannot be, nothing changes and 0 is returned.
// Else the old is freed and params holds the new sizes; a new ring is empty,
// and with a new grid the grid, particles and jets are cleared and, in the
// game mode, the game is back on its title page. The one place for anything
// sized by the grid.
int remake_grid_storage(int cols, int rows, int max_particles);

// Key codes of the special keys and mouse states, as the window layer
// delivers them (the same numbers as GLUT's).
enum {
    KEY_F1 = 1, KEY_F2 = 2, KEY_F12 = 12,
    KEY_LEFT = 100, KEY_UP = 101, KEY_RIGHT = 102, KEY_DOWN = 103,
    KEY_PAGE_UP = 104, KEY_PAGE_DOWN = 105,
};
enum { BUTTON_LEFT = 0, BUTTON_MIDDLE = 1, BUTTON_RIGHT = 2 };
enum { MOUSE_PRESSED = 0, MOUSE_RELEASED = 1 };

// ---------------------------------------------------------------------------
// The options page's settings (options.cpp) and layout (options_layout.cpp)
// ---------------------------------------------------------------------------

enum { OPTION_GROUP_WINDOW, OPTION_GROUP_FLUID, OPTION_GROUP_GAME, OPTION_GROUP_REPLAYS, OPTION_GROUPS };
enum { OPTION_INT, OPTION_FLOAT, OPTION_SWITCH };
// When a change takes effect.
enum {
    APPLY_NEXT_STEP,        // the working copies at once, read by the next step
    APPLY_AT_ONCE,
    APPLY_GRID,             // a new, cleared grid at once; the game back to its title
    APPLY_PARTICLES,        // a new, empty particle ring at once
    APPLY_NEXT_GAME,
    APPLY_NEXT_SERVE,
    APPLY_NEXT_START,
    APPLY_KINDS
};

// One line of the page. Constants.
struct OptionSetting {
    const char *key;        // of the parameter file
    size_t offset;          // of its field in Params (grid_res: grid_cols)
    const char *words;      // the name on the page
    const char *unit;       // after the value; "" for none
    const char *about;      // what it does, one short line
    int group;              // OPTION_GROUP_*
    int type;               // OPTION_*
    double step;            // of the arrows; Page Up/Down take ten
    double min, max;        // the range the keys keep to
    int apply;              // APPLY_*
};
extern const OptionSetting option_settings[];
extern const int OPTION_COUNT;
extern const char *const option_group_names[OPTION_GROUPS];
extern const char *const option_when_words[APPLY_KINDS];
enum { OPTION_VALUE_LEN = 64 };
// Characters of a line's name and of its value as shown.
enum { OPTION_NAME_CHARS = 24, OPTION_SHOWN_VALUE_CHARS = 20 };
// Key codes the page takes from the keyboard callback.
enum { OPTIONS_KEY_BACKSPACE = 8, OPTIONS_KEY_ESCAPE = 27, OPTIONS_KEY_DELETE = 127 };

double option_value(int k);             // as params holds it now
double option_default(int k);           // as set_default_params sets it
int option_key_row(int k);              // the row of its key in the key table
int option_of_key_row(int row);         // the setting of a key table row; -1: none
// The value as written to the file: whole numbers plain, reals as the
// shortest decimal that reads back as the same float.
void format_option_value(int k, double value, char *out, size_t size);
// The value as the page shows it ("60 frames/s", "on", "100 x 100 cells").
void describe_option_value(int k, double value, char *out, size_t size);
// "Range 0 to 240, step 5", or "On or off".
void describe_option_range(int k, char *out, size_t size);
// value moved by steps of the setting's step, on its grid of steps and in
// its range; a switch goes on for steps > 0 and off otherwise.
double option_stepped(int k, double value, int steps);
// Puts value into params and into effect as the setting's line says; the
// value is taken as it is (the keys keep to the range). 0 when it could not
// be (no memory for a grid or particles): the old value stays, and
// options_notice says so. Neither records nor saves.
int apply_option(int k, double value);
// A change made on the page: applied, recorded into a recording replay and
// saved into the parameter file (a failure to save is told in
// options_notice; the change stays). Nothing while a replay plays. 1 when
// the change took effect.
int options_set(int k, double value);
// The page's keys while it shows: 1 when the key was the page's.
int options_key(unsigned char key);
int options_special_key(int key);
// A press at window pixel (x, y), y from the top: chooses the line there;
// on the value's left or right half, steps it down or up.
void options_click(int x, int y);

// Where the page goes in a window, in pixels from the lower left.
struct OptionsLayout {
    int columns, rows;      // columns of lines side by side, lines in each
    int left;               // x of the first column
    int column_px, column_gap_px;
    int title_y;            // baselines: the title, the first line of the list,
    int first_y;
    int bottom_y;           // and the lowest line of the page (the keys)
    int text_chars;         // characters a line below the list may hold
    int line_px, char_px, ascent_px, descent_px, margin_px;
};
// A heading (setting -1) or a setting, where it goes.
struct OptionPlace {
    int setting, group;
    int page, column, row;
    int x, y;               // the baseline's start
};
enum { OPTION_PLACES = 64 };
void options_layout(int width, int height, OptionsLayout *l);
// Fills places (OPTION_PLACES of room) with every heading and line in order,
// flowed into columns and pages; returns how many.
int options_flow(const OptionsLayout *l, OptionPlace *places);
int options_pages(int width, int height);
int options_page_of(int width, int height, int setting);
// The setting whose line on the page of `selected` holds pixel (x, y), y
// from the top, with *half -1 or 1 on the value's left or right half and 0
// on its name; -1 for none.
int option_at_pixel(int width, int height, int selected, int x, int y, int *half);

// Pictures (image.cpp, libpng)
// ---------------------------------------------------------------------------

enum { PNG_READ_MAX_SIDE = 4096 };  // pixels; larger pictures are refused

// Writes width x height RGB pixels (3 bytes each, rows packed, bottom row
// first when bottom_up, as GL reads them back) to out as a PNG. Returns 0
// when the picture could not be written whole (a full disk, an I/O error).
int png_write_rgb(FILE *out, int width, int height, const unsigned char *pixels, int bottom_up);
// Decodes a PNG held in memory into 8-bit RGBA, top row first, in a buffer
// the caller frees with free(). nullptr for anything that is not a whole,
// valid PNG of at most PNG_READ_MAX_SIDE pixels a side.
unsigned char *png_read_rgba(const unsigned char *data, size_t size, int *width, int *height);

// ---------------------------------------------------------------------------
// Screenshots (screenshot.cpp)
// ---------------------------------------------------------------------------

extern const char *const SCREENSHOT_DIR;   // "screenshots", in the working directory
// F12 sets screenshot_requested; the next frame drawn clears it and hands
// its pixels to take_screenshot. init_flags clears it.
extern int screenshot_requested;

enum { NOTICE_LEN = 256 };
const int NOTICE_MS = 2000;         // how long a notice stays on screen
// One line on screen for a while after a shot: written by take_screenshot,
// emptied by on_idle once screen_notice_until_ms (elapsed ms) has passed and
// by init_flags.
extern char screen_notice[NOTICE_LEN];
extern int screen_notice_until_ms;

// Writes width x height RGB pixels (bottom row first, as GL reads them) to
// SCREENSHOT_DIR/fluxball-<stamp>.png, or to fluxball-<stamp>-2.png, -3 ...
// when that name is taken; never replaces a file, and makes the folder when
// it is missing. Returns 0 with the file's name in path, or the errno of the
// failure (a half-written file is removed; EINVAL for a size no window can
// have, see window_size_possible).
int write_screenshot(const char *stamp, int width, int height, const unsigned char *pixels,
                     char *path, size_t path_size);
// F12's picture of the frame just drawn (pixels may be nullptr when there
// was no memory for it): written under the local time, the outcome put on
// screen as a notice and printed to the console. Never stops the program.
void take_screenshot(int width, int height, const unsigned char *pixels);

// ---------------------------------------------------------------------------
// Window layer: implemented with GLUT in window.cpp, by a stand-in in tests.
// ---------------------------------------------------------------------------

void enter_fullscreen(void);
void leave_fullscreen(void);       // leaves GLUT game mode
int elapsed_ms(void);              // GLUT elapsed time, ms
long long monotonic_ns(void);      // the system's monotonic clock, ns
void sleep_until_ns(long long t);  // sleeps until the monotonic clock reads t
void post_redisplay(void);
void register_callbacks(void);     // all callbacks of the current window
// Gives the current window its class ("fluxball", "Fluxball") and the
// shipped icons, for taskbars and the menu entry; once after each new window.
void identify_window(void);
void on_reshape(int w, int h);
