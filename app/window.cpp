// window.cpp -- the window layer on GLUT: callbacks, full screen, the clocks.
#include "app/app.h"
#include "render/render.h"

#include <GL/glut.h>
#include <GL/freeglut_ext.h>
#include <cerrno>
#include <ctime>

static int window_fills_screen;      // full screen through glutFullScreen, not game mode

void enter_fullscreen(void)
{
    is_fullscreen = 1;
    glutGameModeString(full_res);
    if (glutGameModeGet(GLUT_GAME_MODE_ACTIVE) == 0 && glutGameModeGet(GLUT_GAME_MODE_POSSIBLE)) {
        glutEnterGameMode();
        // The game-mode window is a new window without callbacks.
        register_callbacks();
    } else if (params.fullscreen_window && glutGameModeGet(GLUT_GAME_MODE_ACTIVE) == 0) {
        // Most desktops cannot switch video modes: the window itself covers
        // the screen, without borders.
        glutSetWindow(window_id);
        glutFullScreen();
        window_fills_screen = 1;
    }
}

// F2 has already set the windowed size, which a full-screen window takes again.
void leave_fullscreen(void)
{
    if (window_fills_screen) {
        window_fills_screen = 0;
        glutSetWindow(window_id);
        glutLeaveFullScreen();
        glutReshapeWindow(win_width, win_height);
    }
    glutLeaveGameMode();
}

int elapsed_ms(void) { return glutGet(GLUT_ELAPSED_TIME); }

static const long long NS_PER_S = 1000000000LL;

long long monotonic_ns(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * NS_PER_S + ts.tv_nsec;
}

void sleep_until_ns(long long t)
{
    struct timespec ts;
    ts.tv_sec = (time_t)(t / NS_PER_S);
    ts.tv_nsec = (long)(t % NS_PER_S);
    // A signal cuts the sleep short; the deadline is absolute, so sleep on.
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

void post_redisplay(void) { glutPostRedisplay(); }

void on_reshape(int w, int h)
{
    glutSetWindow(window_id);
    // GLUT takes a size request of a full-screen window as leaving full screen.
    if (!window_fills_screen) glutReshapeWindow(w, h);
    win_width = w;
    win_height = h;
}

// GLUT's window states and crossings, as the plain flags the program takes.
static void window_status_changed(int state)
{
    on_window_status(state != GLUT_HIDDEN && state != GLUT_FULLY_COVERED);
}

static void pointer_crossed(int state) { on_entry(state == GLUT_ENTERED); }

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
    glutWindowStatusFunc(window_status_changed);
    glutEntryFunc(pointer_crossed);
    glHint(GL_POINT_SMOOTH_HINT, GL_NICEST);
    glShadeModel(GL_SMOOTH);
}
