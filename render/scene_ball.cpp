// scene_ball.cpp -- the ball and its predicted path. No state of its own: the
// path is predicted on a copy of the ball, the game is never changed.
#include "render/render.h"
#include "fluid/fluid.h"
#include "game/game.h"

#include <GL/gl.h>

static const float HALO_OFFSET = 0.003f;        // view units
static const int PATH_STEPS = 50;
static const float PATH_FADE = 0.02f;           // alpha lost per segment
static const float PATH_WIDTH = 2.0f;           // pixels

static float view_x(float x) { return (x - 0.5f) * cell_w; }
static float view_y(float y) { return (y - 0.5f) * cell_h; }

void draw_ball(void)
{
    float bx = view_x(ball.x);
    float by = view_y(ball.y);
    glEnable(GL_BLEND);
    glEnable(GL_POINT_SMOOTH);
    glHint(GL_POINT_SMOOTH_HINT, GL_DONT_CARE);

    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glBegin(GL_POINTS);
    glColor4f(0.4f, 0.8f, 1.0f, 1.0f);
    glVertex2f(bx + HALO_OFFSET, by + HALO_OFFSET);
    glVertex2f(bx - HALO_OFFSET, by - HALO_OFFSET);
    glVertex2f(bx + HALO_OFFSET, by - HALO_OFFSET);
    glVertex2f(bx - HALO_OFFSET, by + HALO_OFFSET);
    glEnd();

    // The core replaces what lies under it.
    glBlendFunc(GL_SRC_ALPHA, GL_ZERO);
    glBegin(GL_POINTS);
    glColor4f(0.1f, 0.2f, 0.1f, 1.0f);
    glVertex2f(bx, by);
    glEnd();

    glDisable(GL_BLEND);
}

void draw_trajectory(void)
{
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    BallState b = {ball.x, ball.y, ball.vx, ball.vy};
    float a = 1.0f;
    for (int s = 0; s < PATH_STEPS; s++) {
        float x0 = b.x;
        float y0 = b.y;
        b = predict_ball_step(b);
        glLineWidth(PATH_WIDTH);
        glBegin(GL_LINES);
        glColor4f(0.0f, 1.0f, 0.5f, a);
        glVertex2f(view_x(x0), view_y(y0));
        glColor4f(0.0f, 1.0f, 0.5f, a);
        glVertex2f(view_x(b.x), view_y(b.y));
        glEnd();
        a = a - PATH_FADE;
    }
    glDisable(GL_BLEND);
}
