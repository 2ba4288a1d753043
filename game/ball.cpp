// ball.cpp -- the ball and the two paddles in the fluid.
#include "game/game.h"

Ball ball;
Paddle player_paddle, opponent_paddle;

void game_serve(void) {}
void update_ball(void) {}
void ball_burst(void) {}
void move_paddle(float dy, int id) { (void)dy; (void)id; }
void stamp_paddles(void) {}
void shoot_plasma(int id) { (void)id; }
void suck_ball(int id) { (void)id; }
void blast_ball(int id) { (void)id; }
int paddle_mouth(const Paddle *p, int id, int *col, int *row)
{
    (void)p; (void)id; (void)col; (void)row;
    return 0;
}
