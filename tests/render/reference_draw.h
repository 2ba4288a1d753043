// reference_draw.h -- a plain glBegin/glEnd transcription of the field
// views, the vector overlays, the walls and the particles, and text a
// character at a time, for the pixel
// comparison with the program's vertex arrays. Each draws what the
// program's routine of the same name draws, from the same state.
#pragma once

namespace reference_draw {

int lattice_ready(void);
void draw_plasma_shader(void);
void draw_density_depth(void);
void draw_velocity_shader(void);
void draw_pressure_shader(void);
void draw_divergence_shader(void);
void draw_curl_shader(void);
void draw_dye_shader(void);
void draw_velocity_lines(void);
void draw_vorticity_lines(void);
void draw_velocity_grid(void);
void draw_walls(void);
void draw_particles(float life_scale);
void draw_text(const char *text, void *font, float x, float y, float r, float g, float b);

}  // namespace reference_draw
