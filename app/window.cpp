// window.cpp -- the window layer on GLUT: callbacks, full screen, the clock.
#include "app/app.h"
#include "render/render.h"

#include <GL/glut.h>

void enter_fullscreen(void)
{
    is_fullscreen = 1;
    glutGameModeString(full_res);
    if (glutGameModeGet(GLUT_GAME_MODE_ACTIVE) == 0 && glutGameModeGet(GLUT_GAME_MODE_POSSIBLE)) {
        glutEnterGameMode();
        // The game-mode window is a new window without callbacks.
        register_callbacks();
    }
}

void leave_fullscreen(void) { glutLeaveGameMode(); }

int elapsed_ms(void) { return glutGet(GLUT_ELAPSED_TIME); }

void post_redisplay(void) { glutPostRedisplay(); }

void on_reshape(int w, int h)
{
    glutSetWindow(window_id);
    glutReshapeWindow(w, h);
    win_width = w;
    win_height = h;
}

void register_callbacks(void)
{
    glutKeyboardFunc(on_keyboard);
    glutSpecialFunc(on_special_key);
    glutMouseFunc(on_mouse);
    glutMotionFunc(on_motion);
    glutPassiveMotionFunc(on_motion);
    glutReshapeFunc(on_reshape);
    glutIdleFunc(on_idle);
    glutDisplayFunc(draw_frame);
    glHint(GL_POINT_SMOOTH_HINT, GL_NICEST);
    glShadeModel(GL_SMOOTH);
}
