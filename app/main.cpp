// main.cpp -- start-up: brings every module up in a fixed order, opens the
// window and hands control to the GLUT main loop.
#include "app/app.h"
#include "replay/replay.h"
#include "fluid/fluid.h"
#include "game/game.h"
#include "render/render.h"
#include "sound/sound.h"

#include <GL/glut.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// A window larger than the screen is of no use, and one of tens of
// thousands of pixels each way makes the GL driver fail to allocate its
// buffers: the requested size is held to the screen's.
static void limit_window_to_screen(void)
{
    int screen_w = glutGet(GLUT_SCREEN_WIDTH);
    int screen_h = glutGet(GLUT_SCREEN_HEIGHT);
    if (screen_w > 0 && win_width > screen_w) win_width = screen_w;
    if (screen_h > 0 && win_height > screen_h) win_height = screen_h;
}

// The launcher's unpacking of a replay into a folder; needs no display.
static const char UNPACK_OPTION[] = "--unpack-replay";
static const int UNPACK_ARGS = 4;
static const int FAILURE_STATUS = 255;

int main(int argc, char **argv)
{
    // Console lines appear at once, also when the console is a file or pipe.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc == UNPACK_ARGS && strcmp(argv[1], UNPACK_OPTION) == 0)
        return unpack_replay(argv[2], argv[3]) ? 0 : FAILURE_STATUS;
    glutInit(&argc, argv);
    read_params("params.txt");          // and then the top-ten file
    load_program_state();
    if (!replay_start("params.txt")) fatal_exit();
    small_font = GLUT_BITMAP_8_BY_13;
    large_font = GLUT_BITMAP_HELVETICA_18;
    print_key_reference();

    // Run in reverse order at exit: the replay is written first, then sound
    // shuts down, then the jets, particles, vertex arrays and grid are freed.
    atexit(free_grid);
    atexit(free_draw_chunk);
    atexit(free_particles);
    atexit(free_jets);
    atexit(sound_shutdown);
    atexit(replay_finish);              // first at exit, while the state is whole

    if (!allocate_storage()) fatal_exit();
    // An export mixes its sound off line, step by step with its frames.
    if (replay_mode == REPLAY_EXPORT)
        start_clip_sound();
    else if (!sound_init())
        fatal_exit();

    clear_simulation();                 // the grid, the particles, the jets
    game_reset_to_title();              // now the title music starts

    limit_window_to_screen();
    replay_set_window_size();
    if (replay_mode == REPLAY_EXPORT && !start_video_export()) fatal_exit();
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE);
    glutInitWindowPosition(0, 0);
    glutInitWindowSize(win_width, win_height);
    window_id = glutCreateWindow("Fluxball Prototype");
    identify_window();
    register_callbacks();
    if (replay_mode == REPLAY_EXPORT) start_export_drawing();
    glutMainLoop();
    return 0;
}
