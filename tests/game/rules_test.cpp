// The game's state machine: title, new game, countdown, points, levels,
// lives, banner timer, game over and the rank it computes.
#include "tests/support/test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

class GameRules : public ::testing::Test {
protected:
    void SetUp() override
    {
        stub_elapsed_ms = 0;
        start_program(100);
        memset(high_scores, 0, sizeof high_scores);
    }
    void TearDown() override { memset(high_scores, 0, sizeof high_scores); }

    // A running game past its countdown, the ball about to leave the field
    // on the left (opponent's point) or the right (player's point).
    void ball_leaving(int left)
    {
        game.countdown = -1;
        ball.x = left ? 3.0f : (float)game.court_width - 3.0f;
        ball.y = 50.0f;
        ball.vx = left ? -1.5f : 1.5f;
        ball.vy = 0.0f;
    }
};

TEST_F(GameRules, ParametersReachTheGameButPlayStartsAtAccelOne)
{
    Params p;
    set_default_params(&p);
    p.grid_cols = p.grid_rows = 64;
    p.ball_accel = 7.0f;
    p.ball_top_speed = 4.5f;
    p.max_lives = 3;
    p.paddle_width = 4;
    p.paddle_height = 9;
    p.paddle_force = 11.0f;
    p.paddle_suck = 12.0f;
    p.paddle_blast = 13.0f;
    params = p;
    game_load_parameters();
    EXPECT_FLOAT_EQ(game.ball_accel, 7.0f);
    EXPECT_EQ(game.court_width, 64);
    EXPECT_EQ(game.court_height, 64);
    EXPECT_EQ(game.max_lives, 3);
    EXPECT_FLOAT_EQ(game.ball_top_speed, 4.5f);
    for (const Paddle *pad : {&player_paddle, &opponent_paddle}) {
        EXPECT_EQ(pad->width, 4);
        EXPECT_EQ(pad->height, 9);
        EXPECT_FLOAT_EQ(pad->force, 11.0f);
        EXPECT_FLOAT_EQ(pad->suck, 12.0f);
        EXPECT_FLOAT_EQ(pad->blast, 13.0f);
    }
    start_program_with(p);
    EXPECT_FLOAT_EQ(game.ball_accel, 1.0f);
    EXPECT_EQ(game.lives, 3);
}

TEST_F(GameRules, ResetToTitleRestoresTheTitleStateAndServes)
{
    game.level = 7;
    game.lives = 2;
    game.playing = 1;
    game.game_over = 1;
    game.final_rank = 4;
    game.music_rate = 1.7f;
    game.ball_accel = 8.0f;
    game.banner_frames = 12;
    game.banner_level_up = 1;
    ball.x = 10.0f;
    ball.vx = 2.0f;
    program_srand(42);
    int h1 = program_rand() % 360, h2 = program_rand() % 360;
    program_srand(42);
    game_reset_to_title();
    EXPECT_EQ(game.level, 1);
    EXPECT_EQ(game.lives, 10);
    EXPECT_EQ(game.playing, 0);
    EXPECT_EQ(game.game_over, 0);
    EXPECT_EQ(game.final_rank, 0);
    EXPECT_FLOAT_EQ(game.music_rate, 1.0f);
    EXPECT_FLOAT_EQ(game.ball_accel, 1.0f);
    EXPECT_EQ(game.banner_frames, 0);
    EXPECT_EQ(game.banner_level_up, 0);
    EXPECT_EQ(game.countdown, 2);
    EXPECT_EQ(game.countdown_time, 0);
    EXPECT_FLOAT_EQ(ball.x, 50.0f);
    EXPECT_FLOAT_EQ(ball.y, 50.0f);
    EXPECT_EQ(ball.vx, 0.0f);
    EXPECT_EQ(ball.vy, 0.0f);
    EXPECT_FLOAT_EQ(player_paddle.x, 6.0f);
    EXPECT_FLOAT_EQ(opponent_paddle.x, 94.0f);
    EXPECT_FLOAT_EQ(player_paddle.y, 50.0f);
    EXPECT_FLOAT_EQ(opponent_paddle.y, 50.0f);
    EXPECT_FLOAT_EQ(player_paddle.hue, (float)h1);
    EXPECT_FLOAT_EQ(opponent_paddle.hue, (float)h2);
    Color c = hsl_to_rgb((float)h1, 1.0f, 0.5f);
    EXPECT_EQ(player_paddle.color.r, c.r);
    EXPECT_EQ(player_paddle.color.g, c.g);
    EXPECT_EQ(player_paddle.color.b, c.b);
    EXPECT_FLOAT_EQ(ball.dens_amount, 2000.0f);
    EXPECT_FLOAT_EQ(player_paddle.dens_amount, 2000.0f);
}

TEST_F(GameRules, OddCourtServesToTheCentre)
{
    start_program(33);
    EXPECT_FLOAT_EQ(ball.x, 16.5f);
    EXPECT_FLOAT_EQ(ball.y, 16.5f);
    EXPECT_FLOAT_EQ(opponent_paddle.x, 27.0f);
}

TEST_F(GameRules, GameStartClearsTheFluidAndResetsLevelAndLives)
{
    game_level_up();
    game_level_up();
    game.lives = 1;
    dens[cell_index(20, 20)] = 5.0f;
    wall[cell_index(30, 30)] = CELL_WALL;
    game_start();
    EXPECT_EQ(game.playing, 1);
    EXPECT_EQ(game.game_over, 0);
    EXPECT_EQ(game.level, 1);
    EXPECT_EQ(game.lives, 10);
    EXPECT_FLOAT_EQ(game.ball_accel, 1.0f);
    EXPECT_FLOAT_EQ(game.music_rate, 1.0f);
    EXPECT_EQ(game.banner_frames, 0);
    EXPECT_EQ(dens[cell_index(20, 20)], 0.0f);
    EXPECT_EQ(wall[cell_index(30, 30)], 0);
    EXPECT_EQ(game.countdown, 2);
}

TEST_F(GameRules, LevelUpRaisesAccelLevelBannerAndMusicRate)
{
    game_level_up();
    EXPECT_EQ(game.level, 2);
    EXPECT_FLOAT_EQ(game.ball_accel, 2.0f);
    EXPECT_EQ(game.banner_level_up, 1);
    EXPECT_EQ(game.banner_frames, 50);
    EXPECT_FLOAT_EQ(game.music_rate, 1.1f);
    game_level_up();
    EXPECT_FLOAT_EQ(game.music_rate, 1.0f + 0.1f + 0.1f);
}

TEST_F(GameRules, CountdownStepsOncePerSecondAndFreezesTheBall)
{
    stub_elapsed_ms = 500;
    game_start();
    u[cell_index(50, 80)] = 1.0f;
    game_update();      // within the first second after start: no step
    EXPECT_EQ(game.countdown, 2);
    stub_elapsed_ms = 1001;
    game_update();
    EXPECT_EQ(game.countdown, 1);
    EXPECT_EQ(game.countdown_time, 1001);
    EXPECT_EQ(ball.vx, 0.0f) << "the ball moved during the countdown";
    float opponent_y = opponent_paddle.y;
    ball.y = 80.0f;
    stub_elapsed_ms = 2001;     // exactly 1000 ms later: no step
    game_update();
    EXPECT_EQ(game.countdown, 1);
    EXPECT_EQ(opponent_paddle.y, opponent_y) << "the opponent moved during the countdown";
    stub_elapsed_ms = 2002;
    game_update();
    EXPECT_EQ(game.countdown, 0);
    game_update();      // countdown 0: the ball is released
    EXPECT_GT(ball.vx, 0.0f);
    stub_elapsed_ms = 3003;
    game_update();
    EXPECT_EQ(game.countdown, -1);
    stub_elapsed_ms = 100000;
    game_update();
    EXPECT_EQ(game.countdown, -1);
}

TEST_F(GameRules, PointForTheOpponentCostsALifeAndServesAgain)
{
    stub_elapsed_ms = 5000;
    game_start();
    ball_leaving(1);
    dens[cell_index(70, 70)] = 9.0f;
    game_update();
    EXPECT_EQ(game.lives, 9);
    EXPECT_EQ(game.level, 1);
    EXPECT_EQ(game.banner_frames, 50);
    EXPECT_EQ(game.banner_level_up, 0);
    EXPECT_EQ(game.playing, 1);
    EXPECT_FLOAT_EQ(ball.x, 50.0f);
    EXPECT_EQ(dens[cell_index(70, 70)], 0.0f) << "the fluid was not cleared";
    // The burst is the only source at the old cell; the serve's countdown
    // steps from 2 to 1 in the same frame.
    EXPECT_FLOAT_EQ(dens_prev[cell_index(3, 50)], 2000.0f * 50.0f);
    EXPECT_FLOAT_EQ(pressure_source[cell_index(3, 50)], 500.0f);
    EXPECT_EQ(game.countdown, 1);
}

TEST_F(GameRules, PointForThePlayerIsALevel)
{
    stub_elapsed_ms = 5000;
    game_start();
    ball_leaving(0);
    game_update();
    EXPECT_EQ(game.lives, 10);
    EXPECT_EQ(game.level, 2);
    EXPECT_FLOAT_EQ(game.ball_accel, 2.0f);
    EXPECT_EQ(game.banner_level_up, 1);
    EXPECT_EQ(game.banner_frames, 50);
    EXPECT_FLOAT_EQ(ball.x, 50.0f);
}

TEST_F(GameRules, BannerCountsDownOnlyWhilePlaying)
{
    game_level_up();    // the L key on the title page
    for (int i = 0; i < 10; i++) game_update();
    EXPECT_EQ(game.banner_frames, 50);
    stub_elapsed_ms = 5000;
    game_start();
    game_level_up();
    for (int i = 0; i < 49; i++) game_update();
    EXPECT_EQ(game.banner_frames, 1);
    game_update();
    EXPECT_EQ(game.banner_frames, 0);
    game_update();
    EXPECT_EQ(game.banner_frames, 0);
}

TEST_F(GameRules, LastLifeEndsTheGameInTheFrameOfThePoint)
{
    Params p;
    set_default_params(&p);
    p.max_lives = 1;
    start_program_with(p);
    stub_elapsed_ms = 5000;
    game_start();
    game_level_up();
    game_level_up();
    ball_leaving(1);
    game_update();
    EXPECT_EQ(game.lives, 0);
    EXPECT_EQ(game.playing, 0);
    EXPECT_EQ(game.game_over, 1);
    EXPECT_EQ(game.banner_frames, 50);
    EXPECT_EQ(game.banner_level_up, 0);
    EXPECT_FLOAT_EQ(game.ball_accel, 1.0f);
    EXPECT_EQ(game.level, 3);
    EXPECT_EQ(game.final_rank, 1) << "an empty table admits every player";
    // Game over stays; the banner no longer counts down.
    game_update();
    EXPECT_EQ(game.game_over, 1);
    EXPECT_EQ(game.banner_frames, 50);
}

TEST_F(GameRules, NoLivesEndsTheGameOnTheFirstFrame)
{
    Params p;
    set_default_params(&p);
    p.max_lives = 0;
    start_program_with(p);
    game_start();
    EXPECT_EQ(game.lives, 0);
    game_update();
    EXPECT_EQ(game.game_over, 1);
    EXPECT_EQ(game.playing, 0);
    EXPECT_EQ(game.level, 1);
}

TEST_F(GameRules, NegativeLivesNeverEndTheGame)
{
    Params p;
    set_default_params(&p);
    p.max_lives = -1;
    start_program_with(p);
    stub_elapsed_ms = 5000;
    game_start();
    for (int i = 0; i < 3; i++) {
        ball_leaving(1);
        game_update();
    }
    EXPECT_EQ(game.lives, -4);
    EXPECT_EQ(game.playing, 1);
    EXPECT_EQ(game.game_over, 0);
}

// The rank of a final level against a table, by making the game end.
static int rank_for(int level, const int (&levels)[SCORE_ROWS])
{
    for (int r = 0; r < SCORE_ROWS; r++) high_scores[r].level = levels[r];
    game.playing = 1;
    game.game_over = 0;
    game.countdown = 2;
    game.lives = 0;
    game.level = level;
    game_update();
    EXPECT_EQ(game.game_over, 1);
    return game.final_rank;
}

TEST_F(GameRules, FinalRankPlacesTiesAboveAndAdmitsOverEmptyRows)
{
    const int partial[SCORE_ROWS] = {9, 7, 7, 5, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(rank_for(10, partial), 1);
    EXPECT_EQ(rank_for(9, partial), 1);
    EXPECT_EQ(rank_for(8, partial), 2);
    EXPECT_EQ(rank_for(7, partial), 2);
    EXPECT_EQ(rank_for(6, partial), 4);
    EXPECT_EQ(rank_for(1, partial), 5);
    const int full[SCORE_ROWS] = {20, 18, 16, 14, 12, 10, 8, 6, 4, 3};
    EXPECT_EQ(rank_for(3, full), 10);
    EXPECT_EQ(rank_for(2, full), 0);
    EXPECT_EQ(rank_for(1, full), 0);
    const int equal[SCORE_ROWS] = {5, 5, 5, 5, 5, 5, 5, 5, 5, 5};
    EXPECT_EQ(rank_for(5, equal), 1);
    EXPECT_EQ(rank_for(4, equal), 0);
}

TEST_F(GameRules, TitleRunsTheBallOnly)
{
    ball.y = 80.0f;
    ball.x = 60.0f;
    float opponent_y = opponent_paddle.y;
    float player_y = player_paddle.y;
    program_srand(9);
    int next = program_rand();
    program_srand(9);
    game_update();
    EXPECT_EQ(program_rand(), next) << "the title frame drew random numbers";
    EXPECT_EQ(opponent_paddle.y, opponent_y);
    EXPECT_EQ(player_paddle.y, player_y);
}

TEST_F(GameRules, GameOverRunsBallOpponentAndAutopilot)
{
    game.game_over = 1;
    game.playing = 0;
    game.level = 1;
    ball.y = 60.0f;
    ball.x = 50.0f;     // far from both paddles
    program_srand(17);
    int gain_roll = program_rand() % 15;
    program_rand(); program_rand();     // opponent's coin and roll
    program_rand(); program_rand();     // autopilot's coin and roll
    int next = program_rand();
    program_srand(17);
    game_update();
    EXPECT_EQ(program_rand(), next) << "expected five random numbers in a game-over frame";
    float g = (float)(1 + gain_roll) * 0.01f;
    EXPECT_FLOAT_EQ(opponent_paddle.y, 50.0f + (60.0f - 50.0f) * g);
    EXPECT_FLOAT_EQ(player_paddle.y, 60.0f) << "the autopilot tracks the ball fully";
}

TEST_F(GameRules, SpaceStartsAGameOnlyWhenNoneRunsAndPausesOtherwise)
{
    score_saved = 1;
    on_keyboard(' ', 0, 0);
    EXPECT_EQ(game.playing, 1);
    EXPECT_EQ(score_saved, 0);
    EXPECT_EQ(paused, 0);
    on_keyboard(' ', 0, 0);
    EXPECT_EQ(paused, 1);
    EXPECT_EQ(game.playing, 1);
}

}  // namespace
