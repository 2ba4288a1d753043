// window.cpp -- the window layer on GLUT: callbacks, full screen, the clocks,
// and the window's class and icon for the desktop (through Xlib).
#include "app/app.h"
#include "replay/replay.h"
#include "render/render.h"

#include <GL/glut.h>
#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <GL/freeglut_ext.h>
#include <cerrno>
#include <cstdlib>
#include <ctime>

// The shipped icons as PNG files, embedded by the build (window_icons.cpp).
extern const unsigned char *const window_icon_pngs[];
extern const size_t window_icon_png_sizes[];
extern const int window_icon_png_count;

// WM_CLASS: the instance name is the command's, the class is what the menu
// entry's StartupWMClass names, so the desktop ties the window to the entry.
static const char WINDOW_INSTANCE_NAME[] = "fluxball";
static const char WINDOW_CLASS_NAME[] = "Fluxball";

static void set_window_class(Display *display, Window window)
{
    XClassHint hint;
    hint.res_name = const_cast<char *>(WINDOW_INSTANCE_NAME);
    hint.res_class = const_cast<char *>(WINDOW_CLASS_NAME);
    XSetClassHint(display, window, &hint);
}

// _NET_WM_ICON holds every picture as its width, its height and then its
// pixels in ARGB, row by row from the top, one CARDINAL each; Xlib takes
// 32-bit property items as longs.
static void set_window_icon(Display *display, Window window)
{
    enum { ICON_MAX = 16 };
    unsigned char *pictures[ICON_MAX] = {};
    int widths[ICON_MAX] = {}, heights[ICON_MAX] = {};
    int count = window_icon_png_count < ICON_MAX ? window_icon_png_count : ICON_MAX;
    size_t items = 0;
    for (int i = 0; i < count; i++) {
        pictures[i] = png_read_rgba(window_icon_pngs[i], window_icon_png_sizes[i], &widths[i], &heights[i]);
        if (pictures[i]) items += 2 + (size_t)widths[i] * (size_t)heights[i];
    }
    unsigned long *data = items ? (unsigned long *)malloc(items * sizeof *data) : nullptr;
    if (data) {
        size_t at = 0;
        for (int i = 0; i < count; i++) {
            if (!pictures[i]) continue;
            data[at++] = (unsigned long)widths[i];
            data[at++] = (unsigned long)heights[i];
            const unsigned char *p = pictures[i];
            for (long k = 0; k < (long)widths[i] * heights[i]; k++, p += 4) {
                data[at++] = ((unsigned long)p[3] << 24) | ((unsigned long)p[0] << 16) |
                             ((unsigned long)p[1] << 8) | (unsigned long)p[2];
            }
        }
        Atom net_wm_icon = XInternAtom(display, "_NET_WM_ICON", False);
        XChangeProperty(display, window, net_wm_icon, XA_CARDINAL, 32, PropModeReplace,
                        (const unsigned char *)data, (int)items);
    }
    free(data);
    for (int i = 0; i < count; i++) free(pictures[i]);
}

void identify_window(void)
{
    // GLUT hides its X window, but the window it has just made is the
    // drawable of the current GL context.
    Display *display = glXGetCurrentDisplay();
    Window window = (Window)glXGetCurrentDrawable();
    if (!display || window == 0) return;
    set_window_class(display, window);
    set_window_icon(display, window);
    XFlush(display);
}

static int window_fills_screen;      // full screen through glutFullScreen, not game mode

// An export's window keeps the video's size: the full-screen switches of
// the recording change the flags and the sizes they set, not the window.
static int replay_keeps_window(void) { return replay_mode == REPLAY_EXPORT; }

// Full screen as the window itself, covering the screen without borders.
static void fill_screen(void)
{
    glutSetWindow(window_id);
    glutFullScreen();
    window_fills_screen = 1;
}

// GLUT serves a full-screen request before a size request still pending,
// which then undoes it, and a replay asks for its recorded sizes (the first
// before its window is even shown). So the size asked for with a replay's
// full screen is the screen's.
static void fill_screen_in_replay(void)
{
    int w = glutGet(GLUT_SCREEN_WIDTH), h = glutGet(GLUT_SCREEN_HEIGHT);
    glutSetWindow(window_id);
    if (window_size_possible(w, h)) glutReshapeWindow(w, h);
    glutFullScreen();
    window_fills_screen = 1;
}

void enter_fullscreen(void)
{
    is_fullscreen = 1;
    if (replay_keeps_window()) return;
    // A replay never switches the viewer's display mode.
    if (replay_mode == REPLAY_PLAY) {
        if (!window_fills_screen) fill_screen_in_replay();
        return;
    }
    glutGameModeString(full_res);
    if (glutGameModeGet(GLUT_GAME_MODE_ACTIVE) == 0 && glutGameModeGet(GLUT_GAME_MODE_POSSIBLE)) {
        glutEnterGameMode();
        // The game-mode window is a new window without callbacks, class or
        // icon.
        identify_window();
        register_callbacks();
    } else if (params.fullscreen_window && glutGameModeGet(GLUT_GAME_MODE_ACTIVE) == 0) {
        // Most desktops cannot switch video modes: the window itself covers
        // the screen, without borders.
        fill_screen();
    }
}

void leave_fullscreen(void)
{
    if (replay_keeps_window()) return;
    // F2 has already set the windowed size, which a full-screen window takes again.
    if (window_fills_screen) {
        window_fills_screen = 0;
        glutSetWindow(window_id);
        glutLeaveFullScreen();
        glutReshapeWindow(win_width, win_height);
    }
    if (replay_mode != REPLAY_PLAY) glutLeaveGameMode();
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
    // export's window keeps the video's size. GLUT takes a size request of a
    // full-screen window as leaving full screen. A live window may be told
    // of a size no window can have (0 x 0 from a window manager): it is not
    // asked for again, which X may refuse with an error that ends the program.
    if (replay_mode != REPLAY_EXPORT && !window_fills_screen && window_size_possible(w, h)) {
        glutSetWindow(window_id);
        glutReshapeWindow(w, h);
    }
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
