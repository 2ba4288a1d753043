// The frame step: mouse row, full-screen request, pause, frames per second,
// the hold of a set frame rate (on the stand-in clock), and the fatal exit.
#include "tests/support/test_util.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <climits>
#include <unistd.h>

namespace {

const long long MS = 1000000;   // ns

// Starts the program with a frame rate; the stand-in clocks start at t0.
void start_held(int frame_rate, long long t0)
{
    Params p;
    set_default_params(&p);
    p.grid_cols = p.grid_rows = 10;
    p.frame_rate = frame_rate;
    start_program_with(p);
    stub_clock_ns = t0;
    stub_elapsed_ms = (int)(t0 / MS);
    stub_sleeps = 0;
    stub_redisplays = 0;
}

// One idle call with GLUT's clock following the monotonic one; returns the
// time the call slept (0 when it ran a frame).
long long idle_once(void)
{
    stub_elapsed_ms = (int)(stub_clock_ns / MS);
    long long before = stub_clock_ns;
    int redisplays = stub_redisplays;
    on_idle();
    if (stub_redisplays > redisplays) {
        EXPECT_EQ(stub_clock_ns, before);   // a frame that runs does not sleep
    }
    return stub_clock_ns - before;
}

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

TEST(FrameHold, PeriodOfAFrameRate)
{
    EXPECT_EQ(frame_period_for(60), 16666666);
    EXPECT_EQ(frame_period_for(1), 1000 * MS);
    EXPECT_EQ(frame_period_for(1000000000), 1);
    EXPECT_EQ(frame_period_for(0), 0);
    EXPECT_EQ(frame_period_for(-30), 0);
    EXPECT_EQ(frame_period_for(INT_MIN), 0);
    EXPECT_EQ(frame_period_for(INT_MAX), 0);     // finer than the clock: no hold
}

TEST(FrameHold, DeadlinesAreAbsoluteAndLateFramesAreNotMadeUp)
{
    const long long period = 10 * MS;
    long long next = 0;
    EXPECT_EQ(frame_wait_ns(5000 * MS, period, &next), 0);     // the first frame runs at once
    EXPECT_EQ(next, 5010 * MS);
    EXPECT_EQ(frame_wait_ns(5004 * MS, period, &next), 6 * MS);
    EXPECT_EQ(frame_wait_ns(5010 * MS - 1, period, &next), 1);
    // Woken 3 ms late: the next deadline keeps the cadence.
    EXPECT_EQ(frame_wait_ns(5013 * MS, period, &next), 0);
    EXPECT_EQ(next, 5020 * MS);
    // Exactly one period late still keeps it; more than that starts afresh.
    EXPECT_EQ(frame_wait_ns(5030 * MS, period, &next), 0);
    EXPECT_EQ(next, 5030 * MS + period);
    EXPECT_EQ(frame_wait_ns(5055 * MS, period, &next), 0);
    EXPECT_EQ(next, 5065 * MS);
    EXPECT_EQ(frame_wait_ns(5055 * MS, period, &next), period);
    long long untouched = 77;
    EXPECT_EQ(frame_wait_ns(5055 * MS, 0, &untouched), 0);
    EXPECT_EQ(untouched, 77);
}

TEST(FrameHold, NoFrameRateNeverSleeps)
{
    start_held(0, 1000 * MS);
    for (int i = 0; i < 50; i++) on_idle();
    EXPECT_EQ(stub_sleeps, 0);
    EXPECT_EQ(stub_redisplays, 50);
    start_held(-5, 1000 * MS);
    for (int i = 0; i < 5; i++) on_idle();
    EXPECT_EQ(stub_sleeps, 0);
}

TEST(FrameHold, SixtyFramesASecondInShortSleeps)
{
    start_held(60, 7000 * MS);
    const long long frame_work = 3 * MS;
    long long longest_sleep = 0;
    while (stub_clock_ns < 9100 * MS) {
        long long slept = idle_once();
        if (slept == 0) stub_clock_ns += frame_work;
        longest_sleep = std::max(longest_sleep, slept);
    }
    // 2.1 s: frames at 0, 1/60, ... 126/60 s.
    EXPECT_EQ(stub_redisplays, 127);
    EXPECT_LE(longest_sleep, 10 * MS);      // input is served between slices
    EXPECT_GT(longest_sleep, 0);
    EXPECT_NEAR(fps, 60.0f, 1.0f);          // held frames are not counted
}

TEST(FrameHold, AStallIsFollowedByOneFrameThenTheHold)
{
    start_held(50, 100 * MS);
    EXPECT_EQ(idle_once(), 0);
    EXPECT_GT(idle_once(), 0);
    stub_clock_ns += 250 * MS;              // the machine stalled for 12 periods
    EXPECT_EQ(idle_once(), 0);
    EXPECT_GT(idle_once(), 0);              // no catch-up frames
    EXPECT_EQ(stub_redisplays, 2);
    // Paused frames are held too.
    paused = 1;
    while (idle_once() > 0) {
    }
    EXPECT_GT(idle_once(), 0);
    EXPECT_EQ(stub_redisplays, 3);
}

// With auto_pause, frames that nobody could see change are left out: all of
// them while the window is hidden (the fluid and the game stand still), and
// while paused all but those after an event, those of a notice and one a
// second. Without the key every idle call makes a frame, hidden or paused.
TEST(FrameHold, AwayOrPausedFramesAreLeftOutOnlyWithAutoPause)
{
    start_held(0, 1000 * MS);
    on_window_status(0);
    paused = 1;
    for (int i = 0; i < 3; i++) idle_once();
    EXPECT_EQ(stub_redisplays, 3);

    params.auto_pause = 1;
    paused = 0;
    stub_redisplays = 0;
    game_mode = 0;
    on_mouse(BUTTON_RIGHT, MOUSE_PRESSED, 400, 300);   // ink that would flow
    const int under_mouse = cell_index(6, 6);
    float before = dens[under_mouse];
    for (int i = 0; i < 5; i++) EXPECT_GT(idle_once(), 0);
    EXPECT_EQ(stub_redisplays, 0);
    EXPECT_EQ(dens[under_mouse], before);
    on_window_status(1);
    EXPECT_EQ(idle_once(), 0);
    EXPECT_EQ(stub_redisplays, 1);
    EXPECT_NE(dens[under_mouse], before);

    paused = 1;
    stub_redisplays = 0;
    for (int i = 0; i < 5; i++) EXPECT_GT(idle_once(), 0);
    EXPECT_EQ(stub_redisplays, 0);
    on_motion(10, 10);
    idle_once();
    idle_once();
    EXPECT_EQ(stub_redisplays, 1);          // one frame for one event
    stub_clock_ns += 1000 * MS;
    idle_once();
    idle_once();
    EXPECT_EQ(stub_redisplays, 2);          // and one a second

    // A notice is drawn every frame while it shows, then cleared by one more.
    snprintf(screen_notice, sizeof screen_notice, "Screenshot saved");
    screen_notice_until_ms = (int)(stub_clock_ns / MS) + NOTICE_MS;
    idle_once();
    stub_clock_ns += (NOTICE_MS - 1) * MS;
    idle_once();
    EXPECT_EQ(stub_redisplays, 4);
    EXPECT_NE(screen_notice[0], 0);
    stub_clock_ns += 1 * MS;
    idle_once();
    EXPECT_EQ(screen_notice[0], 0);
    idle_once();
    EXPECT_EQ(stub_redisplays, 5);
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
