// window.cpp -- the window layer on GLUT: callbacks, full screen, the clocks.
#include "app/app.h"
#include "render/render.h"

#include <GL/glut.h>
#include <cerrno>
#include <ctime>

// A replay plays in the viewer's window as it is: the full-screen switches
// of the recording change the flags and the sizes they set, not the window.
static int replay_keeps_window(void) { return replay_mode == REPLAY_PLAY || replay_mode == REPLAY_EXPORT; }

void enter_fullscreen(void)
{
    is_fullscreen = 1;
    if (replay_keeps_window()) return;
    glutGameModeString(full_res);
    if (glutGameModeGet(GLUT_GAME_MODE_ACTIVE) == 0 && glutGameModeGet(GLUT_GAME_MODE_POSSIBLE)) {
        glutEnterGameMode();
        // The game-mode window is a new window without callbacks.
        register_callbacks();
    }
}

void leave_fullscreen(void)
{
    if (!replay_keeps_window()) glutLeaveGameMode();
}

int elapsed_ms(void) { return replay_clock(glutGet(GLUT_ELAPSED_TIME)); }

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
    if (!record_event(EVENT_RESHAPE, w, h, 0, 0)) return;
    // A replay's recorded sizes resize its window for the viewer, but an
    // export's window keeps the video's size.
    if (replay_mode != REPLAY_EXPORT) {
        glutSetWindow(window_id);
        glutReshapeWindow(w, h);
    }
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
