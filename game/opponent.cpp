// opponent.cpp -- the computer opponent (right paddle) and the autopilot that
// plays the left paddle behind the game-over screens. Owns their sucking and
// blasted flags, which survive serves and new games.
//
// The order and number of program_rand() calls are part of the behaviour: a frame
// draws the tracking gain (opponent only), a coin, and a roll unless the
// paddle is already sucking.
#include "game/game.h"

#include <algorithm>
#include <cstdlib>

int opponent_sucking, opponent_blasted;
int autopilot_sucking, autopilot_blasted;

static const int GAIN_LEVEL_CAP = 15;
static const int GAIN_SPREAD = 15;
static const float GAIN_UNIT = 0.01f;
static const float NEAR_COLUMNS = 20.0f;    // the ball is near within this
static const int ROLL_SIDES = 20;           // 1 in 20 to start sucking
static const int HOLD_FRAMES_TO_BLAST = 30;

// One frame of a paddle's play once it has tracked the ball: plasma while the
// ball is far, otherwise a chance to start sucking, and a blast once the ball
// has been held long enough.
static void play_paddle(int id, Paddle *p, int far, int *sucking, int *blasted)
{
    int coin = program_rand() % 2;
    int roll = 0;
    if (*sucking == 0) roll = program_rand() % ROLL_SIDES;
    if (far) {
        if (coin == 0 && *blasted == 0) shoot_plasma(id);
        *blasted = 0;
        *sucking = 0;
        return;
    }
    if (*blasted == 1 || roll != 0) return;
    if (p->held_frames >= HOLD_FRAMES_TO_BLAST) {
        blast_ball(id);
        *blasted = 1;
        *sucking = 0;
    } else {
        suck_ball(id);
        *sucking = 1;
    }
}

void update_opponent(void)
{
    float gain = (float)(std::min(game.level, GAIN_LEVEL_CAP) + program_rand() % GAIN_SPREAD) * GAIN_UNIT;
    move_paddle((ball.y - opponent_paddle.y) * gain, OPPONENT_ID);
    int far = ball.x < opponent_paddle.x - NEAR_COLUMNS;
    play_paddle(OPPONENT_ID, &opponent_paddle, far, &opponent_sucking, &opponent_blasted);
}

void update_autopilot(void)
{
    move_paddle(ball.y - player_paddle.y, PLAYER_ID);
    int far = player_paddle.x + NEAR_COLUMNS < ball.x;
    play_paddle(PLAYER_ID, &player_paddle, far, &autopilot_sucking, &autopilot_blasted);
}
