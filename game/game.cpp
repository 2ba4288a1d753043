// game.cpp -- the game record, the state machine and the scoring rules.
#include "game/game.h"

Game game;

void game_load_parameters(void) {}
void game_reset_to_title(void) {}
void game_start(void) {}
void game_level_up(void) {}
void game_update(void) {}
