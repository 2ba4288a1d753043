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
// Written by read_params at start-up only; never reloaded.
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
// Parses one already-read line into p and echoes it to out. Exposed for tests.
void parse_param_line(Params *p, const char *line, FILE *out);
void print_key_reference(void);

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

// Key codes of the special keys and mouse states, as the window layer
// delivers them (the same numbers as GLUT's).
enum {
    KEY_F1 = 1, KEY_F2 = 2, KEY_F12 = 12,
    KEY_LEFT = 100, KEY_UP = 101, KEY_RIGHT = 102, KEY_DOWN = 103,
};
enum { BUTTON_LEFT = 0, BUTTON_MIDDLE = 1, BUTTON_RIGHT = 2 };
enum { MOUSE_PRESSED = 0, MOUSE_RELEASED = 1 };

// ---------------------------------------------------------------------------
// Replays (replay.cpp): the session's inputs recorded frame by frame, played
// back exactly, and the file that holds them (format in the README)
// ---------------------------------------------------------------------------

// Set once at start-up by replay_start: what this run does with replays.
enum { REPLAY_OFF = 0, REPLAY_RECORD = 1, REPLAY_PLAY = 2, REPLAY_EXPORT = 3 };
extern int replay_mode;

// Input events as the callbacks receive them. The values are the event tags
// of the file format: new kinds take new numbers, never old ones.
enum {
    EVENT_KEY = 1,          // a: key
    EVENT_SPECIAL = 2,      // a: special key
    EVENT_MOUSE = 3,        // a: button, b: state, c, d: x, y
    EVENT_MOTION = 4,       // a, b: x, y
    EVENT_RESHAPE = 5,      // a, b: width, height
    EVENT_VISIBILITY = 6,   // a: window status
    EVENT_ENTRY = 7,        // a: pointer entered (1) or left (0)
    EVENT_UNDRAWN = 8,      // the next frame is not drawn (on_step_undrawn)
};
enum { EVENT_KINDS = 9 };

// Called first by every input callback with its event. Records it while
// recording. During a replay it tells recorded events (delivered by the
// replay) from live ones: live Esc and q quit, live F12 and the viewer's
// window size are let through, every other live event is dropped. Returns 1
// when the callback is to go on with the event.
int record_event(int kind, int a, int b, int c, int d);
// Every value the frame step reads from GLUT's elapsed-time clock passes
// through here: recorded while recording, replaced by the recorded value
// during a replay. Reads outside the step are not part of the session: they
// give the live clock, or during a replay the last recorded value.
int replay_clock(int live_ms);

// Start-up, once the parameters and the table are read and the working
// copies made: records from here on (record_replays), or loads the replay the
// key `replay` names. 0 after printing why the replay cannot be played.
int replay_start(const char *params_file);
// Just before the window opens: notes its size for the recording (and from
// here on a signal ends the program at the next frame, so that the replay is
// written), or sets the recorded size (and the size the frame is drawn at)
// for a replay.
void replay_set_window_size(void);
// Exit handler: writes the recording to replays/ (nothing before a frame).
void replay_finish(void);
// Every idle call, first: the event before it has ended without quitting,
// and a signal that asks the recording program to end ends it here.
void replay_idle(void);
// The frame step's brackets (on_idle). begin returns 0 when no frame is to
// run now: a replay that has ended or diverged holds its last frame, and an
// export waits until the last frame is read back. end closes the frame.
int replay_frame_begin(void);
void replay_frame_end(void);

// During a replay: the size the frame is drawn at (the viewer's window, or
// the video's size); 0 otherwise, and the view follows win_width, win_height.
extern int view_width, view_height;
// One line a replay shows in the window (its end, a divergence); empty
// otherwise. Written by replay.cpp.
enum { REPLAY_NOTICE_LEN = 256 };
extern char replay_notice[REPLAY_NOTICE_LEN];

// Export: 1 once per frame stepped since the last call (that frame is to be
// read back); frames played and frames recorded; 1 once the replay has ended
// or diverged, so that no more frames will come.
int replay_take_frame(void);
int replay_frames_played(void);
int replay_frames_total(void);
int replay_over(void);
// Frames per second the video of a replay runs at: the recorded frame rate.
int replay_video_rate(void);

// CRC-32 of the simulation's whole state: every field, the game record, the
// ball, the paddles, the particle ring, the jet table, the table, the name
// typed, the flags, colours, mouse, window size and frame timing.
unsigned replay_state_checksum(void);

// The launcher's unpacking of a replay: checks the whole file, then writes
// its params.txt and scores.txt (those that were there) into dir, an empty
// folder. 0 after printing why the file cannot be played; nothing is written then.
int unpack_replay(const char *file, const char *dir);

// A replay file loaded into memory and checked whole. Owned by the caller,
// released with free_replay_file.
struct ReplayFile;
// Reads and checks a replay file; nullptr after printing the reason.
ReplayFile *load_replay_file(const char *file);
// The same for bytes in memory (copied); name is used in the messages.
ReplayFile *parse_replay_bytes(const unsigned char *bytes, size_t size, const char *name);
void free_replay_file(ReplayFile *r);
// The recording so far as the bytes of a replay file (as replay_finish would
// write it now), in a buffer the caller frees with free(); nullptr when
// nothing is recorded.
unsigned char *replay_recording_bytes(size_t *size);
// Writes all of bytes to fd, going on after interruptions and short writes;
// 0 when the descriptor takes no more (a full disk, a closed pipe).
int write_all(int fd, const unsigned char *bytes, size_t size);
// Plays r from its first frame (start-up as after replay_start); takes r.
void replay_play_file(ReplayFile *r, int mode);
// Stops recording or playing and forgets it all (tests).
void replay_reset(void);

// ---------------------------------------------------------------------------
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
// failure (a half-written file is removed).
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
// The frame is drawn and not yet shown: the video export reads it back.
void frame_drawn(void);
// Before the window opens: starts ffmpeg for the video the key
// replay_video names. 0 after printing why it cannot.
int start_video_export(void);
