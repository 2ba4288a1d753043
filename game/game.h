// game.h -- the Fluxball game: state and rules, ball and paddles in the fluid,
// the computer opponent and autopilot, and the top-ten table.
//
// Game positions are grid units (columns and rows of the fluid grid) as
// floats; a position's cell is both coordinates truncated toward zero.
#pragma once

#include "app/app.h"

// The game record: zeroed at load, set by game_load_parameters, the resets
// and game_update, and by the options page (max_lives, ball_top_speed, the
// court with a new grid); lives until exit.
struct Game {
    int playing;            // 1 while a game runs
    int game_over;          // 1 from the last life lost until a new game/title
    int countdown;          // serve countdown: 2 at a serve, down to -1
    int countdown_time;     // ms of elapsed time of the last countdown step
    int level;
    int lives;
    int banner_frames;      // frames the event banner stays
    int banner_level_up;    // 1 level-up banner, 0 lives banner
    float music_rate;
    int final_rank;         // 1..10 at game over, 0 not ranked; the saved row's rank after Enter
    int court_width;        // cells
    int court_height;       // cells
    int max_lives;
    float ball_accel;
    float ball_top_speed;   // cells per frame
};
extern Game game;

enum { BANNER_FRAMES = 50 };    // frames an event banner stays

struct Ball {
    float x, y;             // cells
    float vx, vy;           // cells per frame
    float dens_amount;
    Color color;
    float trail_hue;        // degrees, never reset
};
extern Ball ball;

struct Paddle {
    float x, y;             // first column, centre row
    int width, height;      // cells
    float force;
    float suck;
    float blast;
    int held_frames;        // frames the suction has held the ball
    float dens_amount;
    Color color;
    float hue;              // degrees
};
enum { PLAYER_ID = 1, OPPONENT_ID = 2 };
extern Paddle player_paddle, opponent_paddle;

// Behaviour flags of the two computer-driven paddles; 0 at load, changed only
// by update_opponent and update_autopilot.
extern int opponent_sucking, opponent_blasted;
extern int autopilot_sucking, autopilot_blasted;

// Game rules (game.cpp)
void game_load_parameters(void);
void game_reset_to_title(void);
void game_start(void);
void game_level_up(void);
void game_update(void);

// Ball and paddles (ball.cpp)
struct BallState {
    float x, y;             // cells
    float vx, vy;           // cells per frame
};
// Serves: ball and paddles to their places, the countdown anew. Paddle
// sizes changed since (paddle_sizes_pending, set by the options page) are
// taken from params here.
extern int paddle_sizes_pending;
void game_serve(void);
void update_ball(void);
// One frame of the ball's motion on a copy (fluid pull, speed limit, bounces
// off solid cells and the court's edges) without sounds, points or writes
// into the fluid: the path drawn ahead of the ball.
BallState predict_ball_step(BallState b);
void ball_burst(void);
void move_paddle(float dy, int id);
void stamp_paddles(void);
void shoot_plasma(int id);
void suck_ball(int id);
void blast_ball(int id);
// Mouth cell of a paddle; 0 when the cell lies outside the grid.
int paddle_mouth(const Paddle *p, int id, int *col, int *row);

// Opponent and autopilot (opponent.cpp)
void update_opponent(void);
void update_autopilot(void);

// ---------------------------------------------------------------------------
// Top-ten table (scores.cpp)
// ---------------------------------------------------------------------------
enum { SCORE_ROWS = 10, SCORE_NAME_LEN = 256, NAME_MAX_CHARS = 20 };

struct ScoreEntry {
    int level;                  // 0 in an empty row
    char name[SCORE_NAME_LEN];  // empty in an empty row
};
// Rows best first; filled by load_high_scores, changed by insert_high_score
// (which also takes in the rows other copies of the program saved).
extern ScoreEntry high_scores[SCORE_ROWS];
extern const char *score_file_name;     // "scores.txt"

// Name typing: name_entry is set by the frame step at a ranked game over and
// cleared by Enter or F1 (either way); name_buffer is zeroed when an entry
// begins and when it ends.
extern int name_entry;
extern char name_buffer[SCORE_NAME_LEN];
extern int name_length;
extern int score_saved;
// 1 while the last save of the table did not reach the file (the scoreboard
// says so); written by every save, 0 at start.
extern int score_save_failed;

void load_high_scores(void);
// Name typing always starts from an empty name and forgets it when it ends,
// so no key typed before (or in the other mode) reaches the table.
void begin_name_entry(void);
void end_name_entry(void);
// The rank a level takes in rows: one more than the rows with a higher
// level (a tie ranks above the rows it equals); 0 when every row is higher.
int rank_in_table(const ScoreEntry *rows, int level);
// Saves name_buffer with level into the table and the file; returns the new
// row's rank in the table as saved (0 when rows another copy of the program
// saved meanwhile left it no place).
int insert_high_score(int level);
int save_high_scores(void);             // 1 when the file was written

// The decimal integer at the start of text: optional sign and digits, 0 when
// there are none; values beyond int are held at its limits. Both the top-ten
// file and the parameter file read their whole numbers with it.
int leading_int(const char *text);

// Saving a file whole, for the top-ten file and the parameter file. The file
// a save of name writes: the end of its chain of symbolic links (or the name
// itself), so that a link stays a link; 0 for a loop or a name too long.
int resolve_link_target(const char *name, char *out, size_t size);
// Writes the file's new content to fd and closes it; 0, or an errno.
typedef int (*FileWriter)(int fd, void *ctx);
// Replaces target with what write puts into a temporary file beside it,
// renamed over it once written whole and synced, with target's permission
// bits. With in_place, a folder that takes no new file has target rewritten
// in place instead. 0, or the errno of the failure; without in_place the old
// file is then as it was.
int replace_file(const char *target, FileWriter write, void *ctx, int in_place);
