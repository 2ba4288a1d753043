// scene_ball.cpp -- the ball and its predicted path.
#include "render/render.h"

void draw_ball(void) {}
void draw_trajectory(void) {}
BallState predict_ball_step(BallState b) { return b; }
