// fields.cpp -- the seven field views.
#include "render/render.h"

void draw_plasma_shader(void) {}
void draw_density_depth(void) {}
void draw_velocity_shader(void) {}
void draw_pressure_shader(void) {}
void draw_divergence_shader(void) {}
void draw_curl_shader(void) {}
void draw_dye_shader(void) {}
