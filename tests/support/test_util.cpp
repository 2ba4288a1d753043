// test_util.cpp -- program start-up for unit tests, and small file helpers.
#include "tests/support/test_util.h"

#include "render/render.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unistd.h>

void stop_program(void)
{
    free_grid();
    free_draw_chunk();
    free_particles();
    free_jets();
    sound_shutdown();
}

void start_program_with(const Params &p)
{
    stop_program();
    params = p;
    game = Game{};
    ball = Ball{};
    player_paddle = Paddle{};
    opponent_paddle = Paddle{};
    opponent_sucking = opponent_blasted = autopilot_sucking = autopilot_blasted = 0;
    memset(name_buffer, 0, sizeof name_buffer);
    mouse_x = mouse_y = prev_mouse_x = prev_mouse_y = 0;
    mouse_down[0] = mouse_down[1] = mouse_down[2] = 0;
    frame_count = fps_time = 0;
    fps = 0;
    emit_timer = 0;
    paddle_sizes_pending = 0;
    params_file_name[0] = 0;            // nothing to save options into
    load_program_state();
    if (!allocate_storage()) abort();
    clear_simulation();
    game_reset_to_title();
}

void start_program(int grid)
{
    Params p;
    set_default_params(&p);
    p.grid_cols = p.grid_rows = grid;
    start_program_with(p);
}

std::string capture_stdout(void (*fn)(void))
{
    fflush(stdout);
    char path[] = "/tmp/fluxball_stdout_XXXXXX";
    int fd = mkstemp(path);
    int saved = dup(STDOUT_FILENO);
    dup2(fd, STDOUT_FILENO);
    fn();
    fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    close(fd);
    std::string text = read_file(path);
    unlink(path);
    return text;
}

void write_file(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string make_temp_dir(void)
{
    char path[] = "/tmp/fluxball_test_XXXXXX";
    if (!mkdtemp(path)) abort();
    return path;
}
