// render.h -- everything drawn: the display callback, text, field views,
// vector overlays, the game scene and the game screens.
//
// All positions are in view units: x 0..1 left to right, y 0..1 bottom to
// top. Cell (i, j) is drawn centred at ((i - 0.5) * cell_w, (j - 0.5) * cell_h).
#pragma once

#include "app/app.h"

// Drawing copies of the grid size, filled at start-up by load_render_settings.
extern int grid_cols, grid_rows;
extern float cell_w, cell_h;        // view units per cell
void load_render_settings(void);

// Fonts: GLUT bitmap font handles, set at start-up.
extern void *small_font, *large_font;

// Text buffers: emptied at the start of every frame, filled while drawing,
// drawn last.
enum { TEXT_LEN = 256 };
extern char status_line_1[TEXT_LEN], status_line_2[TEXT_LEN];
extern char status_line_3[TEXT_LEN], status_line_4[TEXT_LEN];
extern char probe_line[TEXT_LEN], center_text[TEXT_LEN];
extern char banner_text[TEXT_LEN], scratch_text[TEXT_LEN];

extern const char *const CREDIT_LINE;   // status line 4 in the game mode

// The grid cell under the mouse of the current frame.
extern int mouse_cell_x, mouse_cell_y;

// Frame composition and text (frame.cpp)
void draw_frame(void);
void set_projection(void);
void draw_text(const char *text, void *font, float x, float y, float r, float g, float b);
void draw_fps(float x, float y, float r, float g, float b);

// Field views (fields.cpp)
// 1 when the grid's arrays exist and match the drawing copy of the grid size,
// so that the lattice (which reaches cell grid_cols + 1, grid_rows + 1) stays
// inside them; every view and overlay draws only then.
int lattice_ready(void);
void draw_plasma_shader(void);
void draw_density_depth(void);
void draw_velocity_shader(void);
void draw_pressure_shader(void);
void draw_divergence_shader(void);
void draw_curl_shader(void);
void draw_dye_shader(void);

// Vector overlays (overlays.cpp)
void draw_velocity_lines(void);
void draw_vorticity_lines(void);
void draw_velocity_grid(void);

// Game scene (scene_ball.cpp, scene_tools.cpp)
void draw_walls(void);
void draw_ball(void);
void draw_trajectory(void);
void draw_particles(float life_scale);
void draw_jet_aim(int mx, int my);
void draw_wall_brush(int mx, int my);

// The window's own texts (help.cpp), laid out in pixels over the frame.
// The number of pages the help page takes in a window of this size.
int help_pages(int width, int height);
void draw_help_page(void);      // page help_page; writes help_page_count
void draw_help_hint(void);      // "H: keys and help", lower right
void draw_screen_notice(void);  // screen_notice, lower left, when there is one

// Game screens (screens.cpp)
void draw_game_texts(void);     // banner, countdown and the page of the state
void draw_title_screen(void);
void draw_name_entry_screen(void);
void draw_scoreboard(void);
