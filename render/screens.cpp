// screens.cpp -- the game's banner, countdown and full-screen pages.
#include "render/render.h"

void draw_game_texts(void) {}
void draw_title_screen(void) {}
void draw_name_entry_screen(void) {}
void draw_scoreboard(void) {}
