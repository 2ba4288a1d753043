// opponent.cpp -- the computer opponent and the game-over autopilot.
#include "game/game.h"

int opponent_sucking, opponent_blasted;
int autopilot_sucking, autopilot_blasted;

void update_opponent(void) {}
void update_autopilot(void) {}
