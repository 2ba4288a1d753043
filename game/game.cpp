// game.cpp -- the game record, the state machine (title, countdown, play,
// game over) with its serve countdown and banner timer, the level-up rule and
// the music requests made at each transition. Owns `game`.
#include "game/game.h"
#include "fluid/fluid.h"
#include "sound/sound.h"

Game game;

static const int COUNTDOWN_STEP_MS = 1000;     // one countdown step per second
static const float MUSIC_RATE_STEP = 0.1f;     // per level
static const float ACCEL_STEP = 1.0f;          // ball_accel gained per level

void game_load_parameters(void)
{
    game.ball_top_speed = params.ball_top_speed;
    game.ball_accel = params.ball_accel;
    game.max_lives = params.max_lives;
    game.court_width = params.grid_cols;
    game.court_height = params.grid_rows;
    Paddle *paddles[2] = {&player_paddle, &opponent_paddle};
    for (Paddle *p : paddles) {
        p->width = params.paddle_width;
        p->height = params.paddle_height;
        p->force = params.paddle_force;
        p->suck = params.paddle_suck;
        p->blast = params.paddle_blast;
    }
}

void game_reset_to_title(void)
{
    title_music();
    game.music_rate = 1.0f;
    game.level = 1;
    game.banner_level_up = 0;
    game.banner_frames = 0;
    raise_battle_pitch(PITCH_STEP_HZ);
    game.ball_accel = 1.0f;
    game.lives = game.max_lives;
    game.playing = 0;
    game.game_over = 0;
    game.final_rank = 0;
    game_serve();
}

void game_start(void)
{
    game.music_rate = 1.0f;
    game.level = 1;
    game.banner_level_up = 0;
    game.banner_frames = 0;
    raise_battle_pitch(PITCH_STEP_HZ);
    game.ball_accel = 1.0f;
    game.lives = game.max_lives;
    clear_grid();
    game.playing = 1;
    game.game_over = 0;
    game_serve();
    battle_music();
}

void game_level_up(void)
{
    game.ball_accel += ACCEL_STEP;
    game.level += 1;
    game.banner_level_up = 1;
    game.banner_frames = BANNER_FRAMES;
    game.music_rate += MUSIC_RATE_STEP;
    level_music(game.music_rate);
}

static void end_game(void)
{
    game_over_music(game.music_rate);
    game.ball_accel = 1.0f;
    game.playing = 0;
    game.game_over = 1;
    game.final_rank = rank_in_table(high_scores, game.level);
}

void game_update(void)
{
    if (game.playing == 1) {
        if (game.banner_frames > 0) game.banner_frames -= 1;
        if (game.countdown <= 0) {
            update_ball();
            update_opponent();
        }
        // Read again: a point in the ball update serves and restarts it.
        if (game.countdown >= 0) {
            int t = elapsed_ms();
            if (elapsed_since(t, game.countdown_time) > COUNTDOWN_STEP_MS) {
                game.countdown -= 1;
                game.countdown_time = t;
            }
        }
        if (game.lives == 0) end_game();
    } else if (game.game_over == 1) {
        update_ball();
        update_opponent();
        update_autopilot();
    } else {
        update_ball();
    }
}
