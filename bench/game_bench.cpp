// Cost of the game's own work per frame (ball, opponent, autopilot, paddle
// moves with their push and stamps) on the default 100 x 100 grid, and of a
// save and a load of the top-ten file.
#include "tests/support/test_util.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <unistd.h>

// A game in play past its countdown; the ball keeps bouncing in the field.
static void BM_GameUpdatePlay(benchmark::State &state)
{
    start_program(100);
    stub_elapsed_ms = 5000;
    game_start();
    game.countdown = -1;
    game.max_lives = -1;
    game.lives = -1;
    ball.vx = 1.3f;
    ball.vy = 0.7f;
    for (auto _ : state) {
        move_paddle((float)(frame_count % 7) - 3.0f, PLAYER_ID);
        game_update();
        frame_count++;
    }
    benchmark::DoNotOptimize(ball.x);
}
BENCHMARK(BM_GameUpdatePlay);

// The game-over state: ball, opponent and autopilot each frame.
static void BM_GameUpdateGameOver(benchmark::State &state)
{
    start_program(100);
    game.game_over = 1;
    ball.vx = 1.3f;
    ball.vy = 0.7f;
    for (auto _ : state) game_update();
    benchmark::DoNotOptimize(player_paddle.y);
}
BENCHMARK(BM_GameUpdateGameOver);

static void BM_SaveAndLoadScores(benchmark::State &state)
{
    std::string dir = make_temp_dir();
    std::string file = dir + "/scores.txt";
    const char *saved = score_file_name;
    score_file_name = file.c_str();
    for (int r = 0; r < SCORE_ROWS; r++) {
        snprintf(high_scores[r].name, sizeof high_scores[r].name, "player %d", r);
        high_scores[r].level = 20 - r;
    }
    // The loader echoes the table: send the echo to /dev/null meanwhile.
    fflush(stdout);
    int console = dup(STDOUT_FILENO);
    int null_fd = open("/dev/null", O_WRONLY);
    if (null_fd >= 0) dup2(null_fd, STDOUT_FILENO);
    for (auto _ : state) {
        save_high_scores();
        load_high_scores();
    }
    fflush(stdout);
    if (console >= 0) {
        dup2(console, STDOUT_FILENO);
        close(console);
    }
    if (null_fd >= 0) close(null_fd);
    remove(file.c_str());
    remove(dir.c_str());
    score_file_name = saved;
}
BENCHMARK(BM_SaveAndLoadScores);

BENCHMARK_MAIN();
