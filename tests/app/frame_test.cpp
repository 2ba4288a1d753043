// The frame step: mouse row, full-screen request, pause, frames per second,
// and the fatal exit.
#include "tests/support/test_util.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

TEST(Frame, MouseRowCountsFromTheBottom)
{
    start_program(100);
    win_height = 600;
    mouse_y = 599;
    on_idle();
    EXPECT_EQ(mouse_row, 1);
    mouse_y = 0;
    on_idle();
    EXPECT_EQ(mouse_row, 101);
    mouse_y = 300;
    on_idle();
    EXPECT_EQ(mouse_row, 51);
    mouse_y = 426;                  // row 30 exactly, 29 in double precision
    on_idle();
    EXPECT_EQ(mouse_row, 30);
}

TEST(Frame, ZeroHeightWindowKeepsTheLastRow)
{
    start_program(100);
    win_height = 600;
    mouse_y = 300;
    on_idle();
    win_height = 0;
    mouse_y = 10;
    on_idle();
    EXPECT_EQ(mouse_row, 51);
}

TEST(Frame, FullScreenRequestIsServedOnce)
{
    start_program(10);
    fullscreen = 1;
    stub_fullscreen_requests = 0;
    on_idle();
    on_idle();
    EXPECT_EQ(stub_fullscreen_requests, 1);
    EXPECT_EQ(fullscreen, 0);
    EXPECT_EQ(is_fullscreen, 1);
}

TEST(Frame, FpsUpdatesOnlyAfterMoreThanASecond)
{
    start_program(10);
    stub_elapsed_ms = 0;
    fps_time = 0;
    frame_count = 0;
    for (int i = 0; i < 9; i++) on_idle();
    stub_elapsed_ms = 1000;
    on_idle();
    EXPECT_EQ(fps, 0.0f);           // exactly 1000 ms is not enough
    EXPECT_EQ(frame_count, 10);
    stub_elapsed_ms = 1250;
    paused = 1;                     // paused frames are still counted
    on_idle();
    EXPECT_FLOAT_EQ(fps, 11 * 1000.0f / 1250.0f);
    EXPECT_EQ(fps_time, 1250);
    EXPECT_EQ(frame_count, 0);
}

TEST(Frame, EveryFrameAsksForARedisplay)
{
    start_program(10);
    stub_redisplays = 0;
    paused = 1;
    on_idle();
    paused = 0;
    on_idle();
    EXPECT_EQ(stub_redisplays, 2);
}

TEST(FatalExit, ReturnsAtOnceWithoutATerminal)
{
    // stdin is not a terminal here (a pipe at its end): no wait, status -1.
    EXPECT_EXIT(
        {
            int fds[2];
            if (pipe(fds) == 0) {
                close(fds[1]);
                dup2(fds[0], STDIN_FILENO);
            }
            fatal_exit();
        },
        ::testing::ExitedWithCode(255), "");
}

} // namespace
