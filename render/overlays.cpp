// overlays.cpp -- velocity lines, vorticity lines and the velocity grid.
#include "render/render.h"

void draw_velocity_lines(void) {}
void draw_vorticity_lines(void) {}
void draw_velocity_grid(void) {}
