// scene_tools.cpp -- walls and paddles, particles, and the tool cursors.
#include "render/render.h"

void draw_walls(void) {}
void draw_particles(float life_scale) { (void)life_scale; }
void draw_jet_aim(int mx, int my) { (void)mx; (void)my; }
void draw_wall_brush(int mx, int my) { (void)mx; (void)my; }
