// ball.cpp -- the ball and the two paddles in the fluid: the serve, the
// ball's frame (carried by the fluid, bounces, points, push, trail and dye),
// the paddles' moves and wall stamps, and their plasma jet, suction and blast.
// Owns `ball`, `player_paddle` and `opponent_paddle`.
//
// Every write into the grid goes through a cell check and is dropped when the
// cell lies outside the arrays (the border ring is inside): odd parameters (a
// paddle wider or taller than the grid, a tiny grid) or a paddle near an edge
// never write past an array; they only lose the cells that do not exist.
#include "game/game.h"
#include "fluid/fluid.h"
#include "sound/sound.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

Ball ball;
Paddle player_paddle, opponent_paddle;

static const float SERVE_PLAYER_X = 6.0f;       // columns from the left edge
static const float SERVE_OPPONENT_GAP = 6.0f;   // columns from the right edge
static const float SERVE_DENSITY = 2000.0f;
static const float EDGE_MARGIN = 2.0f;          // the ball stays inside 2 .. size-2
static const float PADDLE_KICK = -3.0f;         // vx factor on a solid cell
static const float PADDLE_SPIN = 0.3f;          // vy gained per row off the centre
static const float EDGE_KICK = -4.0f;           // vy factor at the top and bottom
static const int TRAIL_FREE = 60;               // trail particles of a free ball
static const int TRAIL_HELD = 10;               // and of a held ball
static const int JITTER_STEPS = 5;              // a held ball jitters by 0..4 tenths
static const float JITTER = 0.1f;
static const float TRAIL_SIZE = 2.0f;
static const float TRAIL_LIFE = 400.0f;         // frames
static const float TRAIL_LIMIT = 15.0f;
static const float TRAIL_GAIN_STEP = 0.2f;
static const float TRAIL_SCALE_STEP = 0.1f;
static const int TRAIL_STYLE = 1;               // streak
static const float BURST_DENSITY_GAIN = 50.0f;
static const float BURST_PRESSURE = 500.0f;
static const int PLAYER_MOUTH_GAP = 3;          // empty columns before the mouth
static const int OPPONENT_MOUTH_GAP = 1;
static const float CAPTURE_DEPTH = 1.0f;        // columns past the mouth
static const float CAPTURE_REACH = 2.0f;        // rows above and below the mouth
static const float BLAST_DENSITY_GAIN = 1000.0f;
static const float HUE_STEP = 1.0f;
// Positions beyond this are no cell of any grid; kept away from the int limits
// so that truncation stays defined.
static const float FAR_AWAY = 1.0e9f;

// The cell coordinate of a position: truncated toward zero; -1 (no cell) for
// a position that is not a number or lies far outside any grid.
static int cell_of(float p)
{
    if (!(p > -FAR_AWAY && p < FAR_AWAY)) return -1;
    return (int)p;
}

// Index of cell (i, j), or -1 when it lies outside the arrays.
static long long index_of(long long i, long long j)
{
    if (i < 0 || j < 0 || i > solver.grid_width + 1 || j > solver.grid_height + 1) return -1;
    if (solver.cell_count <= 0 || !wall) return -1;
    return cell_index((int)i, (int)j);
}

static long long ball_cell_index(void) { return index_of(cell_of(ball.x), cell_of(ball.y)); }

static Paddle *paddle_of(int id)
{
    if (id == PLAYER_ID) return &player_paddle;
    if (id == OPPONENT_ID) return &opponent_paddle;
    return nullptr;
}

// Top row t of a paddle: its rows are t - height < j < t.
static long long paddle_top(const Paddle *p) { return (long long)cell_of(p->y) + p->height / 2; }

// The mouth cell as plain numbers, which may lie outside the grid.
static void mouth_of(const Paddle *p, int id, long long *col, long long *row)
{
    long long first = cell_of(p->x);
    if (id == PLAYER_ID)
        *col = first + p->width + PLAYER_MOUTH_GAP;
    else
        *col = first - p->width - OPPONENT_MOUTH_GAP;
    *row = cell_of(p->y);
}

int paddle_mouth(const Paddle *p, int id, int *col, int *row)
{
    if (id != PLAYER_ID && id != OPPONENT_ID) return 0;
    long long c, r;
    mouth_of(p, id, &c, &r);
    if (index_of(c, r) < 0) return 0;
    *col = (int)c;
    *row = (int)r;
    return 1;
}

// Index of a paddle's mouth cell, or -1 when it lies outside the arrays.
static long long mouth_index(const Paddle *p, int id)
{
    long long c, r;
    mouth_of(p, id, &c, &r);
    return index_of(c, r);
}

static void serve_paddle_colour(Paddle *p)
{
    p->dens_amount = SERVE_DENSITY;
    p->hue = (float)(program_rand() % 360);
    p->color = hsl_to_rgb(p->hue, 1.0f, 0.5f);
}

int paddle_sizes_pending;

static void stamp_paddle(const Paddle *p, int value);

// Sizes set on the options page reach the paddles at a serve: the columns
// the old size stamped into the wall field are fluid again first.
static void take_paddle_sizes(void)
{
    paddle_sizes_pending = 0;
    Paddle *paddles[2] = {&player_paddle, &opponent_paddle};
    for (Paddle *p : paddles) {
        stamp_paddle(p, CELL_FLUID);
        p->width = params.paddle_width;
        p->height = params.paddle_height;
    }
}

void game_serve(void)
{
    if (paddle_sizes_pending) take_paddle_sizes();
    player_paddle.x = SERVE_PLAYER_X;
    game.countdown = 2;
    game.countdown_time = 0;
    player_paddle.y = (float)game.court_height * 0.5f;
    opponent_paddle.y = (float)game.court_height * 0.5f;
    ball.y = (float)game.court_height * 0.5f;
    opponent_paddle.x = (float)game.court_width - SERVE_OPPONENT_GAP;
    ball.x = (float)game.court_width * 0.5f;
    ball.vx = 0.0f;
    ball.vy = 0.0f;
    serve_paddle_colour(&player_paddle);
    serve_paddle_colour(&opponent_paddle);
    player_paddle.held_frames = 0;
    opponent_paddle.held_frames = 0;
    ball.dens_amount = SERVE_DENSITY;
}

void ball_burst(void)
{
    long long c = ball_cell_index();
    if (c < 0) return;
    dens_prev[c] = ball.dens_amount * BURST_DENSITY_GAIN;
    color_prev[c] = ball.color;
    pressure_source[c] = BURST_PRESSURE;
}

static float clamp_speed(float s)
{
    if (s > game.ball_top_speed) s = game.ball_top_speed;
    if (s < -game.ball_top_speed) s = -game.ball_top_speed;
    return s;
}

// The ball left the field at nx: a point for one side, then a fresh fluid,
// the burst where the ball was and a new serve.
static void score_point(float nx)
{
    point_sound();
    if (nx <= EDGE_MARGIN) {
        game.lives -= 1;
        game.banner_level_up = 0;
        game.banner_frames = BANNER_FRAMES;
    } else {
        game_level_up();
    }
    clear_grid();
    ball_burst();
    game_serve();
}

// The trail starts where the ball will be next frame; a start that is not a
// finite position (only reachable with an unbounded top speed) sheds nothing.
static void shed_trail(int n)
{
    Particle p;
    p.x = ball.x + ball.vx;
    p.y = ball.y + ball.vy;
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return;
    p.vx = 0.0f;
    p.vy = 0.0f;
    p.size = TRAIL_SIZE;
    p.life = TRAIL_LIFE;
    p.style = TRAIL_STYLE;
    float gain = std::min(game.ball_top_speed, TRAIL_LIMIT);
    float scale = std::min(game.ball_accel, TRAIL_LIMIT);
    for (int i = 0; i < n; i++) {
        p.flow_gain = gain - TRAIL_GAIN_STEP * (float)i;
        p.flow_scale = scale + TRAIL_SCALE_STEP * (float)i;
        put_particle(p);
    }
}

static float jitter(void) { return JITTER * (float)(program_rand() % JITTER_STEPS); }

// The ball's motion in one frame, in three stages that update_ball and the
// drawn path share. First the pull of the fluid at the ball's cell, the speed
// limit and the bounce off a solid cell (a paddle's rows put spin on it).
// Returns 1 on a solid cell.
static int ball_pull(BallState *b)
{
    long long c = index_of(cell_of(b->x), cell_of(b->y));
    float cu = c >= 0 ? u[c] : 0.0f;
    float cv = c >= 0 ? v[c] : 0.0f;
    b->vx += game.ball_accel * cu;
    b->vy += game.ball_accel * cv;
    b->vx = clamp_speed(b->vx);
    b->vy = clamp_speed(b->vy);
    if (c < 0 || wall[c] == 0) return 0;
    b->vx = PADDLE_KICK * b->vx;
    float cx = (float)cell_of(b->x);
    if (cx < player_paddle.x + (float)player_paddle.width)
        b->vy += (b->y - player_paddle.y) * PADDLE_SPIN;
    else if (cx < opponent_paddle.x + (float)opponent_paddle.width)
        b->vy += (b->y - opponent_paddle.y) * PADDLE_SPIN;
    else
        b->vy = -b->vy;
    return 1;
}

// Across: the ball moves while it stays inside the margins, else it turns
// back where it is. Returns 1 when it would have left, with *nx where.
static int ball_travel_x(BallState *b, float *nx)
{
    *nx = b->x + b->vx;
    if (EDGE_MARGIN < *nx && *nx < (float)game.court_width - EDGE_MARGIN) {
        b->x = *nx;
        return 0;
    }
    b->vx = -b->vx;
    return 1;
}

// Up and down: the top and bottom kick the ball back harder. Returns 1 on a
// bounce.
static int ball_travel_y(BallState *b)
{
    float ny = b->y + b->vy;
    if (EDGE_MARGIN < ny && ny < (float)game.court_height - EDGE_MARGIN) {
        b->y = ny;
        return 0;
    }
    b->vy = EDGE_KICK * b->vy;
    return 1;
}

BallState predict_ball_step(BallState b)
{
    float nx;
    ball_pull(&b);
    ball_travel_x(&b, &nx);
    ball_travel_y(&b);
    return b;
}

static BallState ball_state(void) { return BallState{ball.x, ball.y, ball.vx, ball.vy}; }

static void set_ball_state(const BallState &b)
{
    ball.x = b.x;
    ball.y = b.y;
    ball.vx = b.vx;
    ball.vy = b.vy;
}

void update_ball(void)
{
    long long c0 = ball_cell_index();

    BallState b = ball_state();
    if (ball_pull(&b)) paddle_sound();
    float nx;
    int left = ball_travel_x(&b, &nx);
    set_ball_state(b);
    if (left && game.playing == 1) {
        // The point serves a new ball, which then turns like the old one.
        score_point(nx);
        ball.vx = -ball.vx;
    }
    b = ball_state();
    if (ball_travel_y(&b)) wall_sound();
    set_ball_state(b);

    if (c0 >= 0) {
        u_prev[c0] = -ball.vx;
        v_prev[c0] = -ball.vy;
    }

    int n = TRAIL_FREE;
    if (player_paddle.held_frames != 0 || opponent_paddle.held_frames != 0) {
        n = TRAIL_HELD;
        if (player_paddle.held_frames > 0) {
            ball.x = player_paddle.x + (float)((long long)player_paddle.width + 1) + jitter();
            ball.y = player_paddle.y + jitter();
        } else if (opponent_paddle.held_frames > 0) {
            ball.x = (opponent_paddle.x - (float)opponent_paddle.width) - jitter();
            ball.y = opponent_paddle.y + jitter();
        }
    }

    shed_trail(n);

    if (game.playing == 1 || game.game_over == 1) {
        ball.color = hsl_to_rgb(ball.trail_hue, 1.0f, 0.5f);
        long long c = ball_cell_index();
        if (c >= 0) {
            dens_prev[c] = ball.dens_amount;
            color_prev[c] = ball.color;
        }
        ball.trail_hue += HUE_STEP;
    }
}

// Writes the push value into rows first, first + step, ... (count rows) of
// the columns col0 .. col1, skipping rows and columns outside the arrays.
static void push_rows(long long col0, long long col1, long long first, long long step,
                      long long count, float value)
{
    if (count <= 0 || solver.cell_count <= 0 || !v_prev) return;
    long long last = first + step * (count - 1);
    long long lo = std::max(std::min(first, last), 0LL);
    long long hi = std::min(std::max(first, last), (long long)solver.grid_height + 1);
    col0 = std::max(col0, 0LL);
    col1 = std::min(col1, (long long)solver.grid_width + 1);
    for (long long i = col0; i <= col1; i++)
        for (long long j = lo; j <= hi; j++) v_prev[cell_index((int)i, (int)j)] = value;
}

void move_paddle(float dy, int id)
{
    Paddle *p = paddle_of(id);
    if (!p || !std::isfinite(dy)) return;
    long long t = paddle_top(p);
    if ((float)t + dy > (float)game.court_height || (float)(t - p->height) + dy < 0.0f) return;

    float old_y = p->y;
    p->y = p->y + dy;
    long long col0 = cell_of(p->x);
    long long col1 = col0 + p->width - 1;
    if (dy > 0.0f) {
        float k = (float)cell_of(p->y - old_y);
        float length = dy + k;
        if (length > 0.0f)
            push_rows(col0, col1, t - p->height - 1, 1, (long long)std::ceil(length), dy);
    } else if (dy < 0.0f) {
        float k = (float)cell_of(old_y - p->y);
        float length = k - dy;
        if (length > 0.0f) push_rows(col0, col1, t + 1, -1, (long long)std::ceil(length), dy);
    }
    stamp_paddles();
}

static void stamp_paddle(const Paddle *p, int value)
{
    if (solver.cell_count <= 0 || !wall) return;
    long long t = paddle_top(p);
    long long bottom = t - p->height;
    long long col0 = std::max((long long)cell_of(p->x), 0LL);
    long long col1 = std::min((long long)cell_of(p->x) + p->width - 1, (long long)solver.grid_width + 1);
    long long rows = std::min((long long)game.court_height - 1, (long long)solver.grid_height + 1);
    for (long long i = col0; i <= col1; i++)
        for (long long j = 0; j <= rows; j++)
            wall[cell_index((int)i, (int)j)] = (bottom < j && j < t) ? value : CELL_FLUID;
}

void stamp_paddles(void)
{
    stamp_paddle(&player_paddle, CELL_PLAYER_PADDLE);
    stamp_paddle(&opponent_paddle, CELL_OPPONENT_PADDLE);
}

void shoot_plasma(int id)
{
    Paddle *p = paddle_of(id);
    if (!p) return;
    long long c = mouth_index(p, id);
    if (c < 0) return;
    u_prev[c] = id == PLAYER_ID ? p->force : -p->force;
    dens_prev[c] = p->dens_amount;
    color_prev[c] = p->color;
}

void suck_ball(int id)
{
    Paddle *p = paddle_of(id);
    if (!p) return;
    long long mc, mr;
    mouth_of(p, id, &mc, &mr);
    long long c = index_of(mc, mr);
    if (c >= 0) pressure_source[c] = -p->suck;

    float col = (float)mc;
    float row = (float)mr;
    float depth = id == PLAYER_ID ? ball.x - col : col - ball.x;
    if (depth < CAPTURE_DEPTH && ball.y - row < CAPTURE_REACH && row - ball.y < CAPTURE_REACH)
        p->held_frames += 1;
    else
        p->held_frames = 0;
}

void blast_ball(int id)
{
    Paddle *p = paddle_of(id);
    if (!p) return;
    blast_sound(ball.x);
    long long c = mouth_index(p, id);
    if (c >= 0) {
        dens_prev[c] = p->dens_amount * BLAST_DENSITY_GAIN;
        color_prev[c] = p->color;
        pressure_source[c] = p->blast;
    }
    p->held_frames = 0;
}
