// render.h -- everything drawn: the display callback, text, field views,
// vector overlays, the game scene and the game screens.
//
// All positions are in view units: x 0..1 left to right, y 0..1 bottom to
// top. Cell (i, j) is drawn centred at ((i - 0.5) * cell_w, (j - 0.5) * cell_h).
#pragma once

#include "app/app.h"

// Drawing copies of the grid size, filled by load_render_settings at start-up
// and when the options page makes the grid anew (remake_grid_storage).
extern int grid_cols, grid_rows;
extern float cell_w, cell_h;        // view units per cell
void load_render_settings(void);

// Vertex arrays. Every drawing that sends vertices per cell or per particle
// writes them, in its drawing order, into this one chunk of memory and hands
// the chunk to GL as client vertex arrays (GL 1.1) whenever it is full, then
// once more at its end. The flat field views write only their colours (three
// floats a vertex): their positions never change (lattice_corners). Nothing is allocated per frame and nothing is kept
// in the driver. The chunk is allocated with the grid at start-up
// (allocate_draw_chunk, 0 after printing the error) and freed at exit
// (free_draw_chunk); settings.cpp owns it, arrays.cpp hands it to GL.
enum { DRAW_CHUNK_VERTICES = 16384 };
struct GlowVertex {         // lines, points: position, colour as glColor4f
    float x, y, r, g, b, a;
};
struct DepthVertex {        // 3-D density view: position with height, colour
    float x, y, z, r, g, b, a;
};
extern void *draw_chunk;    // DRAW_CHUNK_VERTICES of the largest vertex
// The lattice views first work out each cell's colour (or height) in memory
// order, here, and then walk the lattice up the columns reading one array
// instead of every field: the values are the same, the memory traffic far
// less. DRAW_SHADE_FLOATS a cell, draw_shade_cells of them (the grid's
// cell_count at allocation), followed by the lattice's quad corners
// (lattice_corners). Allocated and freed with the chunk; a new grid gets a
// new one (make_draw_shade, then use_draw_shade).
enum { DRAW_SHADE_FLOATS = 4, DRAW_CORNER_FLOATS = 8 };
extern float *draw_shade;
extern int draw_shade_cells;
int allocate_draw_chunk(void);
void free_draw_chunk(void);
float *make_draw_shade(long long cells);    // nullptr after printing the error
void use_draw_shade(float *shade, long long cells);
// Corner positions of every quad of the field views' lattice, in drawing
// order, two floats a corner, four corners a quad: made from the grid on
// first use after it changes (the quads never move). Only where
// lattice_ready().
const float *lattice_corners(void);

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

// The chunk as GL's vertex and colour arrays (arrays.cpp): positions of
// `dims` floats followed by colours of `channels` floats, vertex after
// vertex. begin enables both client arrays, end disables them again;
// draw_chunk_vertices draws the chunk's first `count` vertices as GL
// primitives `mode` (GL_QUADS, GL_LINES, GL_POINTS) and does nothing for 0.
void begin_chunk_arrays(int dims, int channels);
void draw_chunk_vertices(unsigned mode, int count);
void end_chunk_arrays(void);
// Between begin_chunk_arrays(2, 3) and end: `count` vertices of the field
// views' lattice as GL_QUADS, positions from lattice_corners starting at
// vertex first_vertex, colours (three floats a vertex) from the chunk.
void draw_lattice_quads(const float *corners, int first_vertex, int count);

// Frame composition and text (frame.cpp)
void draw_frame(void);
void set_projection(void);
void draw_text(const char *text, void *font, float x, float y, float r, float g, float b);
void draw_fps(float x, float y, float r, float g, float b);

// Field views (fields.cpp)
// 1 when the grid's arrays and the vertex chunk exist and the arrays match
// the drawing copy of the grid size, so that the lattice (which reaches cell
// grid_cols + 1, grid_rows + 1) stays inside them; every view and overlay
// draws only then.
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
// Pixel units for the rest of the frame: x right, y up, from the lower left.
void pixel_projection(void);
// A dark box; filled whatever the wireframe switch has set.
void dark_box(float x0, float y0, float x1, float y1, float alpha);
// The number of pages the help page takes in a window of this size.
int help_pages(int width, int height);
void draw_help_page(void);      // page help_page; writes help_page_count
void draw_help_hint(void);      // "H: keys and help", lower right
void draw_screen_notice(void);  // screen_notice, lower left, when there is one

// The options page (options.cpp), over the finished frame like the help
// page: the page that holds the chosen line; writes options_page_count.
void draw_options_page(void);

// Game screens (screens.cpp)
void draw_game_texts(void);     // banner, countdown and the page of the state
void draw_title_screen(void);
void draw_name_entry_screen(void);
void draw_scoreboard(void);
