// frame.cpp -- the display callback, the view, text and the text buffers.
//
// Owns the two font handles, the eight text buffers (emptied at the start of
// every frame, drawn at its end) and the grid cell under the mouse of the
// current frame.
#include "render/render.h"
#include "replay/replay.h"

#include "fluid/fluid.h"
#include "game/game.h"

#include <GL/glu.h>
#include <GL/glut.h>
#include <GL/freeglut_ext.h>
#include <cstdlib>
#include <cstring>

void *small_font, *large_font;
char status_line_1[TEXT_LEN], status_line_2[TEXT_LEN];
char status_line_3[TEXT_LEN], status_line_4[TEXT_LEN];
char probe_line[TEXT_LEN], center_text[TEXT_LEN];
char banner_text[TEXT_LEN], scratch_text[TEXT_LEN];
const char *const CREDIT_LINE = "Fluxball - steer the fluid, beat the machine";
int mouse_cell_x, mouse_cell_y;

static const char *const GAME_TITLE_LINE = "FLUXBALL v1.0";
static const float PARTICLE_LIFE_SCALE = 500.0f;   // frames of life drawn at full strength
static const int FPS_TEXT_LEN = 64;

// Where the buffered text goes, in view units.
static const float STATUS_Y = 0.98f;
static const float STATUS_1_X = 0.0f, STATUS_2_X = 0.3f, STATUS_3_X = 0.6f;
static const float STATUS_4_X = 0.01f, STATUS_4_Y = 0.01f;
static const float PROBE_X = 0.0f, PROBE_Y = 0.95f;
static const float CENTER_X = 0.46f, CENTER_Y = 0.6f;
static const float BANNER_X = 0.44f, BANNER_Y = 0.7f;
static const float FPS_X = 0.85f, FPS_Y = 0.98f;
static const float NOTICE_X = 0.01f, NOTICE_Y = 0.06f;
static const float NOTICE_BAND_BOTTOM = 0.04f, NOTICE_BAND_TOP = 0.1f;
static const float NOTICE_BAND_ALPHA = 0.75f;
static const float NOTICE_BLUE = 0.4f;         // yellow text

// The depth range of the view box, wide enough for the 3-D density ridges.
static const double VIEW_DEPTH = 10000.0;

// The tilted view of the 3-D density view: looking down the z axis from just
// above the plane, with a slight tilt so that z lifts a vertex on screen.
static const double EYE_Z = 0.1, LOOK_TILT_Y = 0.0002;


void set_projection(void)
{
    // A replay draws at the viewer's window size or the video's.
    if (view_width > 0 && view_height > 0)
        glViewport(0, 0, view_width, view_height);
    else
        glViewport(0, 0, win_width, win_height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 1, 0, 1, -VIEW_DEPTH, VIEW_DEPTH);
    if (density_depth <= 0)
        glClearColor(0, 0, 0, 1);
    else
        gluLookAt(0, 0, EYE_Z, 0, LOOK_TILT_Y, 0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void draw_text(const char *text, void *font, float x, float y, float r, float g, float b)
{
    // The raster colour is latched when the position is set: colour first.
    glColor3f(r, g, b);
    glRasterPos2f(x, y);
    // One call draws a line's characters as glutBitmapCharacter would, one
    // bitmap each, with the pixel store set once instead of for every
    // character; it would take a newline for a line break, so a text with
    // one goes a character at a time.
    if (!strchr(text, '\n')) {
        glutBitmapString(font, (const unsigned char *)text);
        return;
    }
    for (const char *c = text; *c; c++) glutBitmapCharacter(font, (unsigned char)*c);
}

void draw_fps(float x, float y, float r, float g, float b)
{
    char line[FPS_TEXT_LEN];
    snprintf(line, sizeof line, "FPS: %d", (int)fps);
    draw_text(line, small_font, x, y, r, g, b);
}

// The grid cell under the pointer; window y grows downward, hence the flip.
// A window without width or height keeps the last frame's cell.
static void update_mouse_cell(void)
{
    pixel_to_cell(mouse_x, win_width, grid_cols, &mouse_cell_x);
    pixel_to_cell((long double)win_height - mouse_y, win_height, grid_rows, &mouse_cell_y);
}

static int clamp_int(int value, int low, int high)
{
    if (value < low) return low;
    if (value > high) return high;
    return value;
}

// The probe reads the cell under the pointer; a pointer outside the window
// (possible while a button is held) reads the nearest cell of the arrays,
// border ring included, and the line names the cell actually read.
static void fill_probe_line(void)
{
    if (!u || !v || !dens || !curl || !color || solver.cell_count <= 0) return;
    int x = clamp_int(mouse_cell_x, 0, solver.grid_width + 1);
    int y = clamp_int(mouse_cell_y, 0, solver.grid_height + 1);
    int k = cell_index(x, y);
    snprintf(probe_line, TEXT_LEN, "R=%f, G=%f, B=%f, Dens=%f, U=%f, V=%f, Curl=%f, X=%d, Y=%d",
             color[k].r, color[k].g, color[k].b, dens[k], u[k], v[k], curl[k], x, y);
}

static void draw_field_views(void)
{
    if (density_depth > 0) {
        draw_density_depth();
        snprintf(status_line_1, TEXT_LEN, "Density Shader - Depth: %i", density_depth);
    }
    if (velocity_shader > 0) {
        draw_velocity_shader();
        snprintf(status_line_1, TEXT_LEN, "Velocity Shader");
    }
    if (pressure_shader > 0) {
        draw_pressure_shader();
        snprintf(status_line_1, TEXT_LEN, "Pressure Shader");
    }
    if (divergence_shader > 0) {
        draw_divergence_shader();
        snprintf(status_line_1, TEXT_LEN, "Divergence Shader");
    }
    if (curl_shader > 0) {
        draw_curl_shader();
        snprintf(status_line_1, TEXT_LEN, "Curl Shader");
    }
    if (dye_shader > 0) {
        draw_dye_shader();
        snprintf(status_line_1, TEXT_LEN, "Dye Shader");
    }
    if (plasma_shader > 0) {
        draw_plasma_shader();
        snprintf(status_line_1, TEXT_LEN, "Plasma Shader");
    }
}

static void draw_overlays(void)
{
    if (velocity_lines > 0) {
        draw_velocity_lines();
        snprintf(status_line_2, TEXT_LEN, "Velocity Lines");
    }
    if (vorticity_lines > 0) {
        draw_vorticity_lines();
        snprintf(status_line_2, TEXT_LEN, "Vorticity Lines");
    }
    if (velocity_grid > 0) {
        draw_velocity_grid();
        snprintf(status_line_3, TEXT_LEN, "Velocity Grid");
    }
}

static void draw_mouse_modes(void)
{
    if (jet_mode > 0) {
        draw_jet_aim(mouse_cell_x, mouse_cell_y);
        snprintf(status_line_4, TEXT_LEN,
                 "Left click to set particle jet; Right click to set density jet");
    }
    if (wall_mode > 0) {
        draw_wall_brush(mouse_cell_x, mouse_cell_y);
        snprintf(status_line_4, TEXT_LEN,
                 "Wall Mode: Left click to set walls; Right click to clear walls");
    }
    if (pressure_mode > 0) {
        snprintf(status_line_4, TEXT_LEN,
                 "Pressure Mode: Left click to create sinkholes; Right click to create shockwaves");
    }
}

static void draw_game_block(void)
{
    snprintf(status_line_2, TEXT_LEN, "Level: %d", game.level);
    snprintf(status_line_3, TEXT_LEN, "Lives: %d", game.lives);
    snprintf(status_line_4, TEXT_LEN, "%s", CREDIT_LINE);
    snprintf(status_line_1, TEXT_LEN, "%s", GAME_TITLE_LINE);
    draw_ball();
    if (show_trajectory) draw_trajectory();
    draw_game_texts();
}

// The hint to the help page goes where the title page and the solver mode
// leave room, and only where their texts show.
static int help_hint_shown(void)
{
    if (!params.help_hint || help_shown || options_shown || options_viewing || !show_text) return 0;
    if (!game_mode) return 1;
    return !game.playing && game.lives > 0;     // the title page
}

// F12: the finished frame from the back buffer, before the swap shows it.
static void capture_frame(void)
{
    screenshot_requested = 0;
    int w = glutGet(GLUT_WINDOW_WIDTH), h = glutGet(GLUT_WINDOW_HEIGHT);
    unsigned char *pixels = nullptr;
    if (window_size_possible(w, h)) pixels = (unsigned char *)malloc((size_t)w * (size_t)h * 3);
    if (pixels) {
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    }
    take_screenshot(w, h, pixels);
    free(pixels);
}

static void draw_buffered_text(void)
{
    draw_text(status_line_1, small_font, STATUS_1_X, STATUS_Y, 1, 1, 1);
    draw_text(status_line_2, small_font, STATUS_2_X, STATUS_Y, 1, 1, 1);
    draw_text(status_line_3, small_font, STATUS_3_X, STATUS_Y, 1, 1, 1);
    draw_text(status_line_4, small_font, STATUS_4_X, STATUS_4_Y, 1, 1, 1);
    draw_text(probe_line, small_font, PROBE_X, PROBE_Y, 1, 1, 1);
    draw_text(center_text, large_font, CENTER_X, CENTER_Y, 1, 1, 1);
    draw_text(banner_text, large_font, BANNER_X, BANNER_Y, 0.5f, 1, 0.5f);
    draw_fps(FPS_X, FPS_Y, 1, 1, 1);
}

// The line a replay shows (its end, or where it stops matching), on a dark
// band at the bottom so that it reads over any view, with or without text.
static void draw_replay_notice(void)
{
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(0, 0, 0, NOTICE_BAND_ALPHA);
    glBegin(GL_QUADS);
    glVertex2f(0, NOTICE_BAND_BOTTOM);
    glVertex2f(1, NOTICE_BAND_BOTTOM);
    glVertex2f(1, NOTICE_BAND_TOP);
    glVertex2f(0, NOTICE_BAND_TOP);
    glEnd();
    glDisable(GL_BLEND);
    draw_text(replay_notice, small_font, NOTICE_X, NOTICE_Y, 1, 1, NOTICE_BLUE);
}

void draw_frame(void)
{
    glClear(GL_COLOR_BUFFER_BIT);
    status_line_1[0] = status_line_2[0] = status_line_3[0] = status_line_4[0] = 0;
    probe_line[0] = center_text[0] = banner_text[0] = scratch_text[0] = 0;
    set_projection();

    draw_field_views();
    draw_overlays();
    snprintf(status_line_4, TEXT_LEN,
             "Vorticity = %i | Gravity = %i | Buoyancy = %i | Particles = %i | "
             "Dye Hue = %f | Hue 1 = %f | Hue 2 = %f",
             vorticity_on, gravity_on, buoyancy_on, particles_on, dye_hue, hue1, hue2);
    update_mouse_cell();
    draw_mouse_modes();
    if (mouse_probe > 0) fill_probe_line();
    if (game_mode > 0) draw_game_block();
    if (particles_on > 0) draw_particles(PARTICLE_LIFE_SCALE);
    if (paused > 0) snprintf(center_text, TEXT_LEN, "-PAUSED-");

    // Takes effect from the next frame's quads on.
    glPolygonMode(GL_FRONT_AND_BACK, wireframe ? GL_LINE : GL_FILL);
    draw_walls();
    if (show_text) draw_buffered_text();
    if (help_hint_shown()) draw_help_hint();
    if (help_shown) draw_help_page();
    if (options_shown || options_viewing) draw_options_page();
    // A video gets the frames the player saw, without the replay's own notice.
    frame_drawn();
    if (replay_notice[0]) draw_replay_notice();
    if (screenshot_requested) capture_frame();
    // The notice is not part of the picture it announces.
    draw_screen_notice();
    glutSwapBuffers();
}
