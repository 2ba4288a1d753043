// The ball in the fluid (carried, limited, bounced, held, its push, trail and
// dye) and the paddles (bounds, push, stamps, mouths, plasma, suction, blast),
// including parameters that would put their cells outside the grid.
#include "tests/support/test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace {

class BallAndPaddles : public ::testing::Test {
protected:
    void SetUp() override
    {
        stub_elapsed_ms = 0;
        start_program(100);
    }
    // A ball in play at (x, y) with velocity (vx, vy).
    void place(float x, float y, float vx, float vy)
    {
        ball.x = x;
        ball.y = y;
        ball.vx = vx;
        ball.vy = vy;
    }
};

int at(int i, int j) { return cell_index(i, j); }

TEST_F(BallAndPaddles, FluidCarriesTheBallScaledByAccel)
{
    place(40.5f, 60.5f, 0.0f, 0.0f);
    game.ball_accel = 2.0f;
    u[at(40, 60)] = 0.25f;
    v[at(40, 60)] = -0.5f;
    update_ball();
    EXPECT_FLOAT_EQ(ball.vx, 0.5f);
    EXPECT_FLOAT_EQ(ball.vy, -1.0f);
    EXPECT_FLOAT_EQ(ball.x, 41.0f);
    EXPECT_FLOAT_EQ(ball.y, 59.5f);
    // The push on the fluid goes into the starting cell.
    EXPECT_FLOAT_EQ(u_prev[at(40, 60)], -0.5f);
    EXPECT_FLOAT_EQ(v_prev[at(40, 60)], 1.0f);
}

TEST_F(BallAndPaddles, EachComponentIsLimitedToTopSpeed)
{
    place(40.5f, 60.5f, 0.0f, 0.0f);
    u[at(40, 60)] = 100.0f;
    v[at(40, 60)] = -100.0f;
    update_ball();
    EXPECT_FLOAT_EQ(ball.vx, 2.5f);
    EXPECT_FLOAT_EQ(ball.vy, -2.5f);
    EXPECT_FLOAT_EQ(ball.x, 43.0f);
    EXPECT_FLOAT_EQ(ball.y, 58.0f);
}

TEST_F(BallAndPaddles, PaddleCellThrowsTheBallBackThreefoldWithSpin)
{
    player_paddle.y = 52.0f;
    place(8.5f, 55.0f, -2.5f, 0.0f);
    wall[at(8, 55)] = CELL_PLAYER_PADDLE;
    update_ball();
    EXPECT_FLOAT_EQ(ball.vx, 7.5f);
    EXPECT_FLOAT_EQ(ball.x, 16.0f) << "7.5 columns back in the same frame";
    EXPECT_FLOAT_EQ(ball.vy, (55.0f - 52.0f) * 0.3f);
    // The next frame's limit brings it back to top speed.
    update_ball();
    EXPECT_FLOAT_EQ(ball.vx, 2.5f);
}

TEST_F(BallAndPaddles, SolidCellsTakeSpinFromTheOpponentUpToItsLastColumn)
{
    opponent_paddle.y = 40.0f;
    place(50.5f, 45.0f, 1.0f, 0.5f);
    wall[at(50, 45)] = CELL_WALL;     // a drawn wall mid-field
    update_ball();
    EXPECT_FLOAT_EQ(ball.vx, -3.0f);
    EXPECT_FLOAT_EQ(ball.vy, 0.5f + (45.0f - 40.0f) * 0.3f);

    // Right of the opponent's columns (94..96) a solid cell reverses vy;
    // the kick then meets the right edge, which turns vx once more.
    place(97.2f, 45.0f, -1.0f, 0.5f);
    wall[at(97, 45)] = CELL_WALL;
    update_ball();
    EXPECT_FLOAT_EQ(ball.vy, -0.5f);
    EXPECT_FLOAT_EQ(ball.vx, -3.0f);
    EXPECT_FLOAT_EQ(ball.x, 97.2f);
}

TEST_F(BallAndPaddles, TopAndBottomKickTheBallFourfold)
{
    place(40.0f, 3.0f, 0.0f, -2.5f);
    update_ball();
    EXPECT_FLOAT_EQ(ball.y, 3.0f) << "the ball keeps its row in the bounce";
    EXPECT_FLOAT_EQ(ball.vy, 10.0f);
    update_ball();
    EXPECT_FLOAT_EQ(ball.vy, 2.5f);
    EXPECT_FLOAT_EQ(ball.y, 5.5f);

    place(40.0f, 97.5f, 0.0f, 0.5f);      // 98 is already outside
    update_ball();
    EXPECT_FLOAT_EQ(ball.y, 97.5f);
    EXPECT_FLOAT_EQ(ball.vy, -2.0f);
}

TEST_F(BallAndPaddles, SidesBounceWithoutPointsWhenNoGameRuns)
{
    place(3.0f, 50.0f, -1.0f, 0.0f);
    update_ball();
    EXPECT_FLOAT_EQ(ball.x, 3.0f);
    EXPECT_FLOAT_EQ(ball.vx, 1.0f);
    place(97.0f, 50.0f, 1.0f, 0.0f);
    update_ball();
    EXPECT_FLOAT_EQ(ball.x, 97.0f);
    EXPECT_FLOAT_EQ(ball.vx, -1.0f);
    EXPECT_EQ(game.lives, 10);
    EXPECT_EQ(game.level, 1);
}

TEST_F(BallAndPaddles, FreeBallShedsSixtyStreaksAlongItsPath)
{
    particle_next = 0;
    game.ball_accel = 3.0f;
    place(40.0f, 40.0f, 1.0f, 0.5f);
    update_ball();
    EXPECT_EQ(particle_next, 60);
    for (int i : {0, 1, 59}) {
        const Particle &p = particle_ring[i];
        EXPECT_FLOAT_EQ(p.x, 42.0f);
        EXPECT_FLOAT_EQ(p.y, 41.0f);
        EXPECT_EQ(p.vx, 0.0f);
        EXPECT_EQ(p.vy, 0.0f);
        EXPECT_FLOAT_EQ(p.size, 2.0f);
        EXPECT_FLOAT_EQ(p.life, 400.0f);
        EXPECT_FLOAT_EQ(p.flow_gain, 2.5f - 0.2f * (float)i);
        EXPECT_FLOAT_EQ(p.flow_scale, 3.0f + 0.1f * (float)i);
        EXPECT_EQ(p.style, 1);
    }
}

TEST_F(BallAndPaddles, TrailWrapsTheRingAndSurvivesARingWithoutSlots)
{
    particle_next = 990;
    place(40.0f, 40.0f, 0.0f, 0.0f);
    update_ball();
    EXPECT_EQ(particle_next, 50);
    EXPECT_FLOAT_EQ(particle_ring[999].life, 400.0f);
    EXPECT_FLOAT_EQ(particle_ring[49].life, 400.0f);
    EXPECT_EQ(particle_ring[50].life, 0.0f);

    Params p;
    set_default_params(&p);
    p.max_particles = 0;
    start_program_with(p);
    place(40.0f, 40.0f, 1.0f, 0.0f);
    update_ball();
    update_ball();
    EXPECT_FLOAT_EQ(ball.x, 42.0f);
}

TEST_F(BallAndPaddles, HeldBallJittersInFrontOfThePaddleAndShedsTen)
{
    player_paddle.held_frames = 3;
    place(30.0f, 30.0f, 1.0f, 1.0f);
    particle_next = 0;
    program_srand(5);
    int jx = program_rand() % 5, jy = program_rand() % 5, next = program_rand();
    program_srand(5);
    update_ball();
    EXPECT_EQ(program_rand(), next);
    EXPECT_FLOAT_EQ(ball.x, 6.0f + 4.0f + 0.1f * (float)jx);
    EXPECT_FLOAT_EQ(ball.y, 50.0f + 0.1f * (float)jy);
    EXPECT_FLOAT_EQ(ball.vx, 1.0f) << "a held ball keeps its velocity";
    EXPECT_EQ(particle_next, 10);

    player_paddle.held_frames = 0;
    opponent_paddle.held_frames = 40;
    program_srand(6);
    jx = program_rand() % 5;
    jy = program_rand() % 5;
    program_srand(6);
    update_ball();
    EXPECT_FLOAT_EQ(ball.x, (94.0f - 3.0f) - 0.1f * (float)jx);
    EXPECT_FLOAT_EQ(ball.y, 50.0f + 0.1f * (float)jy);
}

TEST_F(BallAndPaddles, DyeTrailOnlyDuringAGameOrGameOver)
{
    place(40.0f, 40.0f, 0.0f, 0.0f);
    ball.trail_hue = 10.0f;
    update_ball();
    EXPECT_FLOAT_EQ(ball.trail_hue, 10.0f);
    EXPECT_NE(dens_prev[at(40, 40)], 2000.0f);
    game.playing = 1;
    game.countdown = -1;
    update_ball();
    EXPECT_FLOAT_EQ(ball.trail_hue, 11.0f);
    EXPECT_FLOAT_EQ(dens_prev[at(40, 40)], 2000.0f);
    Color c = hsl_to_rgb(10.0f, 1.0f, 0.5f);
    EXPECT_EQ(color_prev[at(40, 40)].r, c.r);
    EXPECT_EQ(color_prev[at(40, 40)].g, c.g);
    EXPECT_EQ(ball.color.b, c.b);
}

TEST_F(BallAndPaddles, HugeTopSpeedKeepsTheBallInsideTheField)
{
    game.ball_top_speed = 1.0e30f;
    place(50.0f, 50.0f, 0.0f, 0.0f);
    u[at(50, 50)] = 1.0e25f;
    v[at(50, 50)] = -1.0e25f;
    for (int i = 0; i < 5; i++) update_ball();
    EXPECT_FLOAT_EQ(ball.x, 50.0f);
    EXPECT_FLOAT_EQ(ball.y, 50.0f);
    ball.x = NAN;
    int next = particle_next;
    update_ball();      // a position that is no cell reads still fluid
    EXPECT_TRUE(std::isnan(ball.x));
    EXPECT_EQ(particle_next, next) << "a trail at no position";
}

TEST_F(BallAndPaddles, PaddleMovesOnlyWithinTheField)
{
    // t = 50 + 7 = 57; allowed while t + dy <= 100 and t - 15 + dy >= 0.
    move_paddle(44.0f, PLAYER_ID);
    EXPECT_FLOAT_EQ(player_paddle.y, 50.0f) << "a move past the top is refused whole";
    move_paddle(43.0f, PLAYER_ID);
    EXPECT_FLOAT_EQ(player_paddle.y, 93.0f);
    move_paddle(-85.5f, PLAYER_ID);     // t = 100: 100 - 15 - 85.5 < 0
    EXPECT_FLOAT_EQ(player_paddle.y, 93.0f);
    move_paddle(-85.0f, PLAYER_ID);
    EXPECT_FLOAT_EQ(player_paddle.y, 8.0f);
    move_paddle(NAN, PLAYER_ID);
    EXPECT_FLOAT_EQ(player_paddle.y, 8.0f);
    move_paddle(-5.0f, 3);      // no such paddle
    EXPECT_FLOAT_EQ(player_paddle.y, 8.0f);
    EXPECT_FLOAT_EQ(opponent_paddle.y, 50.0f);
}

TEST_F(BallAndPaddles, RefusedMoveDoesNotStamp)
{
    move_paddle(100.0f, PLAYER_ID);
    for (int j = 0; j < 100; j++) ASSERT_EQ(wall[at(6, j)], 0);
}

TEST_F(BallAndPaddles, StampsRewriteWholeColumnsOfBothPaddles)
{
    wall[at(7, 10)] = CELL_WALL;
    wall[at(20, 10)] = CELL_WALL;
    move_paddle(0.0f, PLAYER_ID);
    // t = 57: rows 43..56 (height - 1 rows) in columns 6..8 and 94..96.
    for (int i : {6, 8, 94, 96}) {
        int value = i < 50 ? CELL_PLAYER_PADDLE : CELL_OPPONENT_PADDLE;
        EXPECT_EQ(wall[at(i, 42)], 0);
        EXPECT_EQ(wall[at(i, 43)], value);
        EXPECT_EQ(wall[at(i, 56)], value);
        EXPECT_EQ(wall[at(i, 57)], 0);
    }
    EXPECT_EQ(wall[at(5, 50)], 0);
    EXPECT_EQ(wall[at(9, 50)], 0);
    EXPECT_EQ(wall[at(7, 10)], 0) << "the stamp clears its columns";
    EXPECT_EQ(wall[at(20, 10)], CELL_WALL);
}

TEST_F(BallAndPaddles, MovingPaddlePushesTheRowsItLeaves)
{
    move_paddle(3.0f, PLAYER_ID);   // t = 57; k = 3, six rows from 41 up
    for (int i = 6; i <= 8; i++) {
        EXPECT_NE(v_prev[at(i, 40)], 3.0f);
        for (int j = 41; j <= 46; j++) EXPECT_FLOAT_EQ(v_prev[at(i, j)], 3.0f);
        EXPECT_NE(v_prev[at(i, 47)], 3.0f);
    }
    EXPECT_NE(v_prev[at(9, 43)], 3.0f);
    // Down by 2.5 from 53: t = 60; k = 2, five rows from 61 down.
    move_paddle(-2.5f, PLAYER_ID);
    for (int j = 57; j <= 61; j++) EXPECT_FLOAT_EQ(v_prev[at(7, j)], -2.5f);
    EXPECT_NE(v_prev[at(7, 56)], -2.5f);
    EXPECT_NE(v_prev[at(7, 62)], -2.5f);
}

TEST_F(BallAndPaddles, PushNearTheBottomStopsAtTheArray)
{
    player_paddle.y = 8.0f;     // t = 15, bottom row 1
    clear_grid();
    move_paddle(1.0f, PLAYER_ID);   // rows -1 and 0: only row 0 exists
    EXPECT_FLOAT_EQ(v_prev[at(6, 0)], 1.0f);
    EXPECT_NE(v_prev[at(6, 1)], 1.0f);
}

TEST_F(BallAndPaddles, OversizedPaddlesNeverWritePastTheGrid)
{
    Params p;
    set_default_params(&p);
    p.grid_cols = p.grid_rows = 12;
    p.paddle_width = 40;
    p.paddle_height = 9;
    start_program_with(p);
    // Player: columns 6..45, opponent 6..45 as well; both clipped at 13.
    move_paddle(0.0f, PLAYER_ID);
    EXPECT_EQ(wall[at(13, 6)], CELL_OPPONENT_PADDLE);
    EXPECT_EQ(wall[at(6, 6)], CELL_OPPONENT_PADDLE);
    move_paddle(-3.0f, OPPONENT_ID);
    shoot_plasma(PLAYER_ID);        // mouth at column 49: outside
    shoot_plasma(OPPONENT_ID);      // mouth at column -35: outside
    suck_ball(PLAYER_ID);
    blast_ball(OPPONENT_ID);
    int col = 0, row = 0;
    EXPECT_EQ(paddle_mouth(&player_paddle, PLAYER_ID, &col, &row), 0);
    player_paddle.held_frames = 1;
    update_ball();                  // held 41 columns right of the grid
    EXPECT_GE(ball.x, 47.0f);
    EXPECT_LE(ball.x, 47.5f);
    update_ball();                  // its cell lies outside: read as still fluid

    // A paddle taller than the grid never moves; a very negative height
    // spans the whole field without looping over it row by row.
    p.paddle_width = 3;
    p.paddle_height = 50;
    start_program_with(p);
    move_paddle(0.0f, PLAYER_ID);
    EXPECT_EQ(wall[at(6, 0)], 0);
    p.paddle_height = -2000000000;
    p.paddle_width = 2000000000;
    start_program_with(p);
    move_paddle(-1.0e8f, PLAYER_ID);
    EXPECT_FLOAT_EQ(player_paddle.y, 6.0f - 1.0e8f);
    EXPECT_EQ(v_prev[at(7, 5)], 0.0f);
    EXPECT_EQ(wall[at(7, 5)], 0);
}

TEST_F(BallAndPaddles, MouthsLieInFrontOfThePaddles)
{
    int col = 0, row = 0;
    ASSERT_EQ(paddle_mouth(&player_paddle, PLAYER_ID, &col, &row), 1);
    EXPECT_EQ(col, 12);
    EXPECT_EQ(row, 50);
    ASSERT_EQ(paddle_mouth(&opponent_paddle, OPPONENT_ID, &col, &row), 1);
    EXPECT_EQ(col, 90);
    EXPECT_EQ(paddle_mouth(&player_paddle, 0, &col, &row), 0);

    Params p;
    set_default_params(&p);
    p.paddle_width = 5;
    start_program_with(p);
    paddle_mouth(&player_paddle, PLAYER_ID, &col, &row);
    EXPECT_EQ(col, 14) << "the player's gap stays three columns";
    paddle_mouth(&opponent_paddle, OPPONENT_ID, &col, &row);
    EXPECT_EQ(col, 88) << "the opponent's gap is the width";
}

TEST_F(BallAndPaddles, PlasmaJetsPointAcrossTheField)
{
    shoot_plasma(PLAYER_ID);
    EXPECT_FLOAT_EQ(u_prev[at(12, 50)], 60.0f);
    EXPECT_FLOAT_EQ(dens_prev[at(12, 50)], 2000.0f);
    EXPECT_EQ(color_prev[at(12, 50)].r, player_paddle.color.r);
    EXPECT_EQ(color_prev[at(12, 50)].g, player_paddle.color.g);
    shoot_plasma(OPPONENT_ID);
    EXPECT_FLOAT_EQ(u_prev[at(90, 50)], -60.0f);
    EXPECT_EQ(color_prev[at(90, 50)].b, opponent_paddle.color.b);
}

TEST_F(BallAndPaddles, SuctionHoldsABallInFrontOfOrBehindTheMouth)
{
    ball.x = 12.9f;
    ball.y = 51.9f;
    suck_ball(PLAYER_ID);
    EXPECT_FLOAT_EQ(pressure_source[at(12, 50)], -20.0f);
    EXPECT_EQ(player_paddle.held_frames, 1);
    ball.x = 0.5f;      // behind the mouth: no lower bound
    ball.y = 48.1f;
    suck_ball(PLAYER_ID);
    EXPECT_EQ(player_paddle.held_frames, 2);
    ball.y = 48.0f;     // two rows off: the hold breaks
    suck_ball(PLAYER_ID);
    EXPECT_EQ(player_paddle.held_frames, 0);
    ball.y = 50.0f;
    ball.x = 13.0f;     // a full column past the mouth
    suck_ball(PLAYER_ID);
    EXPECT_EQ(player_paddle.held_frames, 0);

    ball.x = 89.1f;
    suck_ball(OPPONENT_ID);
    EXPECT_EQ(opponent_paddle.held_frames, 1);
    EXPECT_FLOAT_EQ(pressure_source[at(90, 50)], -20.0f);
    ball.x = 89.0f;
    suck_ball(OPPONENT_ID);
    EXPECT_EQ(opponent_paddle.held_frames, 0);
}

TEST_F(BallAndPaddles, BlastReleasesTheBallWithAPressurePulse)
{
    player_paddle.held_frames = 31;
    blast_ball(PLAYER_ID);
    EXPECT_EQ(player_paddle.held_frames, 0);
    EXPECT_FLOAT_EQ(pressure_source[at(12, 50)], 200.0f);
    EXPECT_FLOAT_EQ(dens_prev[at(12, 50)], 2000.0f * 1000.0f);
    EXPECT_EQ(color_prev[at(12, 50)].r, player_paddle.color.r);
    opponent_paddle.held_frames = 5;
    blast_ball(OPPONENT_ID);
    EXPECT_EQ(opponent_paddle.held_frames, 0);
    EXPECT_FLOAT_EQ(pressure_source[at(90, 50)], 200.0f);
}

TEST_F(BallAndPaddles, ServeRecentresEverythingAndDropsTheHold)
{
    player_paddle.held_frames = 4;
    opponent_paddle.held_frames = 2;
    player_paddle.x = 9.0f;
    ball.dens_amount = 1.0f;
    game.countdown = -1;
    game.countdown_time = 777;
    game_serve();
    EXPECT_EQ(player_paddle.held_frames, 0);
    EXPECT_EQ(opponent_paddle.held_frames, 0);
    EXPECT_FLOAT_EQ(player_paddle.x, 6.0f);
    EXPECT_FLOAT_EQ(ball.dens_amount, 2000.0f);
    EXPECT_EQ(game.countdown, 2);
    EXPECT_EQ(game.countdown_time, 0);
}

// Many odd paddle sizes on small grids, driven with wild moves: every write
// stays inside the arrays (checked under the sanitizer build), the wall grid
// keeps only known values and the ball a finite position.
TEST_F(BallAndPaddles, OddSizesAndWildMovesStayInsideTheArrays)
{
    program_srand(77);
    const float moves[] = {0.0f, 1.5f, -2.5f, 7.0f, -40.0f, 1.0e6f, -1.0e9f, INFINITY, NAN};
    for (int round = 0; round < 60; round++) {
        Params p;
        set_default_params(&p);
        p.grid_cols = p.grid_rows = 1 + program_rand() % 12;
        p.paddle_width = program_rand() % 30 - 5;
        p.paddle_height = program_rand() % 30 - 5;
        p.max_particles = program_rand() % 3 == 0 ? 0 : 50;
        start_program_with(p);
        game.playing = program_rand() % 2;
        game.countdown = -1;
        for (int step = 0; step < 40; step++) {
            int id = 1 + program_rand() % 2;
            move_paddle(moves[program_rand() % 9], id);
            switch (program_rand() % 4) {
            case 0: shoot_plasma(id); break;
            case 1: suck_ball(id); break;
            case 2: blast_ball(id); break;
            default: break;
            }
            if (program_rand() % 3 == 0) player_paddle.held_frames = program_rand() % 3;
            update_ball();
            ASSERT_TRUE(std::isfinite(ball.x) && std::isfinite(ball.y)) << "round " << round;
        }
        for (int k = 0; k < solver.cell_count; k++) ASSERT_TRUE(wall[k] >= 0 && wall[k] <= 3);
    }
}

}  // namespace
