// The computer opponent and the game-over autopilot: their use of program_rand(),
// tracking, plasma while the ball is far, and the suck-hold-blast cycle.
// Expected random numbers are drawn from the same seed beforehand.
#include "tests/support/test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

class Opponent : public ::testing::Test {
protected:
    void SetUp() override
    {
        stub_elapsed_ms = 0;
        start_program(100);
        game.playing = 1;
        game.countdown = -1;
    }
};

int at(int i, int j) { return cell_index(i, j); }

// The first n numbers of seed, and the one after them.
std::vector<int> draws(unsigned seed, int n)
{
    program_srand(seed);
    std::vector<int> out;
    for (int i = 0; i <= n; i++) out.push_back(program_rand());
    program_srand(seed);
    return out;
}

TEST_F(Opponent, DrawsThreeNumbersWhileIdleAndTwoWhileSucking)
{
    ball.x = 80.0f;     // near the opponent (94 - 20 = 74)
    ball.y = 50.0f;
    for (unsigned seed = 1; seed <= 40; seed++) {
        opponent_sucking = 0;
        opponent_blasted = 1;       // near and blasted: no action
        std::vector<int> r = draws(seed, 3);
        update_opponent();
        ASSERT_EQ(program_rand(), r[3]) << "seed " << seed;
        opponent_sucking = 1;
        opponent_blasted = 1;
        r = draws(seed, 2);
        update_opponent();
        ASSERT_EQ(program_rand(), r[2]) << "seed " << seed;
    }
}

TEST_F(Opponent, TracksARandomFractionOfTheDistance)
{
    ball.x = 30.0f;
    for (int level : {1, 14, 15, 20}) {
        game.level = level;
        for (unsigned seed = 1; seed <= 20; seed++) {
            opponent_paddle.y = 50.0f;
            ball.y = 90.0f;
            std::vector<int> r = draws(seed, 3);
            update_opponent();
            int capped = level < 15 ? level : 15;
            float g = (float)(capped + r[0] % 15) * 0.01f;
            ASSERT_FLOAT_EQ(opponent_paddle.y, 50.0f + 40.0f * g) << "level " << level;
            float moved = opponent_paddle.y - 50.0f;
            if (level == 1) {
                ASSERT_GE(moved, 0.4f - 1e-5f);
                ASSERT_LE(moved, 6.0f + 1e-5f);
            }
            if (level == 20) {
                ASSERT_GE(moved, 6.0f - 1e-5f);
                ASSERT_LE(moved, 11.6f + 1e-5f);
            }
        }
    }
}

TEST_F(Opponent, FarBallGetsPlasmaOnTheCoinAndClearsTheFlags)
{
    ball.x = 73.9f;     // far: below 94 - 20
    ball.y = 50.0f;
    int shots = 0, quiet = 0;
    for (unsigned seed = 1; seed <= 30; seed++) {
        clear_grid();
        opponent_sucking = 1;
        opponent_blasted = 0;
        std::vector<int> r = draws(seed, 3);
        update_opponent();
        int coin = r[1] % 2;
        float jet = u_prev[at(90, 50)];
        if (coin == 0) {
            ASSERT_FLOAT_EQ(jet, -60.0f) << "seed " << seed;
            shots++;
        } else {
            ASSERT_EQ(jet, 0.0f) << "seed " << seed;
            quiet++;
        }
        ASSERT_EQ(opponent_sucking, 0);
        ASSERT_EQ(opponent_blasted, 0);
        ASSERT_EQ(program_rand(), r[2]) << "a sucking paddle draws no roll";
    }
    EXPECT_GT(shots, 0);
    EXPECT_GT(quiet, 0);
    // Blasted: no plasma even on a winning coin, but the flag clears.
    for (unsigned seed = 1; seed <= 10; seed++) {
        clear_grid();
        opponent_blasted = 1;
        draws(seed, 3);
        update_opponent();
        ASSERT_EQ(u_prev[at(90, 50)], 0.0f);
        ASSERT_EQ(opponent_blasted, 0);
    }
}

TEST_F(Opponent, NearBallStartsSuckingOnlyOnAZeroRoll)
{
    ball.x = 74.0f;     // exactly at the near limit
    ball.y = 50.0f;
    int started = 0;
    for (unsigned seed = 1; seed <= 300; seed++) {
        clear_grid();
        opponent_sucking = 0;
        opponent_blasted = 0;
        std::vector<int> r = draws(seed, 3);
        update_opponent();
        int roll = r[2] % 20;
        ASSERT_EQ(opponent_sucking, roll == 0 ? 1 : 0) << "seed " << seed;
        ASSERT_EQ(pressure_source[at(90, 50)], roll == 0 ? -20.0f : 0.0f);
        started += roll == 0;
    }
    EXPECT_GT(started, 0);
}

TEST_F(Opponent, HoldsThirtyFramesThenBlastsAndWaitsForTheBallToLeave)
{
    ball.y = 50.0f;
    opponent_sucking = 1;
    opponent_paddle.held_frames = 28;
    ball.x = 89.5f;     // in the mouth: every suck holds it
    update_opponent();
    EXPECT_EQ(opponent_paddle.held_frames, 29);
    update_opponent();
    EXPECT_EQ(opponent_paddle.held_frames, 30);
    EXPECT_EQ(opponent_blasted, 0);
    clear_grid();
    update_opponent();
    EXPECT_EQ(opponent_blasted, 1);
    EXPECT_EQ(opponent_sucking, 0);
    EXPECT_EQ(opponent_paddle.held_frames, 0);
    EXPECT_FLOAT_EQ(pressure_source[at(90, 50)], 200.0f);
    // Blasted and near: nothing happens whatever the roll.
    for (unsigned seed = 1; seed <= 40; seed++) {
        clear_grid();
        draws(seed, 3);
        update_opponent();
        ASSERT_EQ(pressure_source[at(90, 50)], 0.0f);
        ASSERT_EQ(opponent_blasted, 1);
    }
    ball.x = 30.0f;
    update_opponent();
    EXPECT_EQ(opponent_blasted, 0);
}

TEST_F(Opponent, FailedSuctionRestartsTheHold)
{
    ball.y = 50.0f;
    ball.x = 85.0f;     // near, but five columns before the mouth
    opponent_sucking = 1;
    opponent_paddle.held_frames = 29;
    update_opponent();
    EXPECT_EQ(opponent_paddle.held_frames, 0);
    EXPECT_EQ(opponent_sucking, 1);
    EXPECT_EQ(opponent_blasted, 0);
}

TEST_F(Opponent, AutopilotTracksFullyAndPlaysTheSameCycle)
{
    ball.x = 26.5f;     // far from the left paddle: 6 + 20 < x
    ball.y = 70.0f;
    int shots = 0;
    for (unsigned seed = 1; seed <= 20; seed++) {
        clear_grid();
        player_paddle.y = 50.0f;
        autopilot_sucking = 0;
        autopilot_blasted = 0;
        std::vector<int> r = draws(seed, 2);
        update_autopilot();
        ASSERT_EQ(program_rand(), r[2]) << "two numbers while not sucking";
        ASSERT_FLOAT_EQ(player_paddle.y, 70.0f);
        ASSERT_FLOAT_EQ(u_prev[at(12, 70)], r[0] % 2 == 0 ? 60.0f : 0.0f);
        shots += r[0] % 2 == 0;
    }
    EXPECT_GT(shots, 0);

    ball.x = 26.0f;     // near
    ball.y = 70.5f;
    autopilot_sucking = 1;
    player_paddle.held_frames = 30;
    std::vector<int> r = draws(3, 1);
    update_autopilot();
    EXPECT_EQ(program_rand(), r[1]) << "one number while sucking";
    EXPECT_EQ(autopilot_blasted, 1);
    EXPECT_EQ(autopilot_sucking, 0);
    EXPECT_EQ(player_paddle.held_frames, 0);

    // A paddle that cannot reach the ball's row stays where it is.
    player_paddle.y = 50.0f;
    ball.y = 99.0f;
    update_autopilot();
    EXPECT_FLOAT_EQ(player_paddle.y, 50.0f);
}

TEST_F(Opponent, NothingButTheBallRunsOnTheTitlePage)
{
    game.playing = 0;
    ball.y = 80.0f;
    for (int i = 0; i < 5; i++) game_update();
    EXPECT_FLOAT_EQ(opponent_paddle.y, 50.0f);
}

}  // namespace
