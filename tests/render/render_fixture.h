// render_fixture.h -- a GLUT window under Xvfb for the drawing tests, a fresh
// program state on a small grid, and pixel read-back.
//
// The window is single-buffered, so what a frame drew (swap included) can
// be read back from the front buffer. The window is WINDOW_W x WINDOW_H; the
// field tests draw into its lower-left FIELD_PX x FIELD_PX pixels with a
// GRID x GRID grid, so the centre of cell (i, j) falls on pixel
// (CELL_PX * i - CELL_PX / 2, CELL_PX * j - CELL_PX / 2) counted from the
// bottom-left corner.
#pragma once

#include "render/render.h"
#include "tests/support/test_util.h"
#include "tests/support/xvfb.h"

#include <GL/glut.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace render_test {

const int WINDOW_W = 800, WINDOW_H = 600;
const int GRID = 10;
const int FIELD_PX = 200;
const int CELL_PX = FIELD_PX / GRID;
// One step of an 8-bit channel is 1/255; read-back allows a few.
const float TOLERANCE = 0.02f;

struct Rgb {
    float r, g, b;
};

// The whole window, read back once; rows from the bottom.
struct Picture {
    int w = 0, h = 0;
    std::vector<unsigned char> data;

    Rgb at(int x, int y) const
    {
        const unsigned char *p = &data[3 * ((size_t)y * w + x)];
        return Rgb{p[0] / 255.0f, p[1] / 255.0f, p[2] / 255.0f};
    }
    float brightness(int x, int y) const
    {
        Rgb c = at(x, y);
        return c.r + c.g + c.b;
    }
    // Count of pixels with any non-black channel in [x0, x1) x [y0, y1).
    int lit(int x0, int y0, int x1, int y1) const
    {
        int n = 0;
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++)
                if (brightness(x, y) > 0.0f) n++;
        return n;
    }
};

inline Picture grab(void)
{
    glFinish();
    Picture p;
    p.w = WINDOW_W;
    p.h = WINDOW_H;
    p.data.assign((size_t)p.w * p.h * 3, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_FRONT);
    glReadPixels(0, 0, p.w, p.h, GL_RGB, GL_UNSIGNED_BYTE, p.data.data());
    return p;
}

// Pixel of the centre of cell (i, j) in the field area.
inline int cell_px(int i) { return CELL_PX * i - CELL_PX / 2; }

inline void open_window_once(void)
{
    static int window = 0;
    if (window) return;
    ASSERT_EQ(ensure_display(), 1) << "no X display";
    int argc = 1;
    char name[] = "render_tests";
    char *argv[] = {name, nullptr};
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_SINGLE);
    glutInitWindowPosition(0, 0);
    glutInitWindowSize(WINDOW_W, WINDOW_H);
    window = glutCreateWindow("render_tests");
    window_id = window;
    // As start-up does: the callbacks and the initial GL hints. No main loop
    // runs, so no callback is ever called.
    register_callbacks();
}

// A fresh program on a GRID x GRID grid in the solver mode with every view,
// overlay and text switched off, drawing into the FIELD_PX square.
class RenderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        open_window_once();
        start_program(GRID);
        load_render_settings();
        small_font = GLUT_BITMAP_8_BY_13;
        large_font = GLUT_BITMAP_HELVETICA_18;
        game_mode = 0;
        plasma_shader = 0;
        particles_on = 0;
        show_text = 0;
        win_width = FIELD_PX;
        win_height = FIELD_PX;
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glDisable(GL_BLEND);
        glLineWidth(1);
        // Clear the whole window, not only the field square.
        glViewport(0, 0, WINDOW_W, WINDOW_H);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    void TearDown() override { stop_program(); }

    // Sets one float field to value in the cells of [i0, i1] x [j0, j1].
    static void fill(float *field, int i0, int j0, int i1, int j1, float value)
    {
        for (int i = i0; i <= i1; i++)
            for (int j = j0; j <= j1; j++) field[cell_index(i, j)] = value;
    }
    static void fill_all(float *field, float value)
    {
        for (int k = 0; k < solver.cell_count; k++) field[k] = value;
    }
    // Sets a field on a 3 x 3 block around (i, j) so that the picture is flat
    // around the cell's centre.
    static void fill_block(float *field, int i, int j, float value)
    {
        fill(field, i - 1, j - 1, i + 1, j + 1, value);
    }
    // One view drawn on a cleared field area.
    static Picture draw_view(void (*view)(void))
    {
        set_projection();
        view();
        return grab();
    }
};

inline void expect_color(const Rgb &got, float r, float g, float b, const char *what)
{
    EXPECT_NEAR(got.r, r, TOLERANCE) << what << " (red)";
    EXPECT_NEAR(got.g, g, TOLERANCE) << what << " (green)";
    EXPECT_NEAR(got.b, b, TOLERANCE) << what << " (blue)";
}

}  // namespace render_test
