// frame.cpp -- the display callback, the view, text and the text buffers.
#include "render/render.h"

#include <GL/glut.h>

int grid_cols, grid_rows;
float cell_w, cell_h;
void *small_font, *large_font;
char status_line_1[TEXT_LEN], status_line_2[TEXT_LEN];
char status_line_3[TEXT_LEN], status_line_4[TEXT_LEN];
char probe_line[TEXT_LEN], center_text[TEXT_LEN];
char banner_text[TEXT_LEN], scratch_text[TEXT_LEN];
const char *const CREDIT_LINE = "Fluxball - steer the fluid, beat the machine";
int mouse_cell_x, mouse_cell_y;

void load_render_settings(void)
{
    grid_cols = params.grid_cols;
    grid_rows = params.grid_rows;
    cell_w = grid_cols > 0 ? 1.0f / (float)grid_cols : 0.0f;
    cell_h = grid_rows > 0 ? 1.0f / (float)grid_rows : 0.0f;
}

void set_projection(void)
{
    glViewport(0, 0, win_width, win_height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 1, 0, 1, -10000, 10000);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void draw_text(const char *text, void *font, float x, float y, float r, float g, float b)
{
    glColor3f(r, g, b);
    glRasterPos2f(x, y);
    for (const char *c = text; *c; c++) glutBitmapCharacter(font, (unsigned char)*c);
}

void draw_fps(float x, float y, float r, float g, float b)
{
    char line[64];
    snprintf(line, sizeof line, "FPS: %d", (int)fps);
    draw_text(line, small_font, x, y, r, g, b);
}

void draw_frame(void)
{
    glClear(GL_COLOR_BUFFER_BIT);
    set_projection();
    glutSwapBuffers();
}
