// tools.cpp -- the mouse tools: stir, ink, walls, sinks, shockwaves, jets, and
// the player's paddle actions in the game.
#include "fluid/fluid.h"

int mouse_to_cell(int x, int y, int *i, int *j)
{
    (void)x; (void)y; (void)i; (void)j;
    return 0;
}

void tool_pass(void) {}
