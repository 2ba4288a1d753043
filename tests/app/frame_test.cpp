// The frame step: mouse row, full-screen request, pause, frames per second,
// the hold and the pace of a set frame rate (on the stand-in clock, with
// slow drawing and the replay of a paced session), and the fatal exit.
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
    stub_clock_reads = 0;
    stub_draw_ns = 0;
}

// One idle call with GLUT's clock following the monotonic one; returns the
// time the call slept (0 when it ran a frame, drawn in stub_draw_ns).
long long idle_once(void)
{
    stub_elapsed_ms = (int)(stub_clock_ns / MS);
    long long before = stub_clock_ns;
    int redisplays = stub_redisplays;
    on_idle();
    if (stub_redisplays > redisplays) {
        // A frame that runs does not sleep; drawing it takes stub_draw_ns.
        EXPECT_EQ(stub_clock_ns, before + stub_draw_ns);
        return 0;
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
    stub_draw_ns = 50 * MS;                 // however slow the drawing
    for (int i = 0; i < 50; i++) on_idle();
    EXPECT_EQ(stub_sleeps, 0);
    EXPECT_EQ(stub_redisplays, 50);
    EXPECT_EQ(stub_clock_reads, 50);        // one step a frame: each reads the clock once
    stub_draw_ns = 0;
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

TEST(FramePace, StepsDueKeepTheCadenceUpToTheCap)
{
    const long long period = 10 * MS;
    long long next = 0;
    EXPECT_EQ(steps_due(5000 * MS, period, &next, 4), 1);      // the first starts the schedule
    EXPECT_EQ(next, 5010 * MS);
    EXPECT_EQ(steps_due(5009 * MS, period, &next, 4), 0);
    EXPECT_EQ(next, 5010 * MS);
    EXPECT_EQ(steps_due(5010 * MS, period, &next, 4), 1);      // due to the nanosecond
    EXPECT_EQ(next, 5020 * MS);
    // 25 ms late: the three steps due, and the cadence kept.
    EXPECT_EQ(steps_due(5045 * MS, period, &next, 4), 3);
    EXPECT_EQ(next, 5050 * MS);
    // Exactly as many as the cap still keeps the cadence.
    EXPECT_EQ(steps_due(5089 * MS, period, &next, 4), 4);
    EXPECT_EQ(next, 5090 * MS);
    // More than the cap: the cap, and the schedule starts afresh.
    EXPECT_EQ(steps_due(5140 * MS, period, &next, 4), 4);
    EXPECT_EQ(next, 5150 * MS);
    EXPECT_EQ(steps_due(5300 * MS, period, &next, 1), 1);
    EXPECT_EQ(next, 5310 * MS);
    long long untouched = 77;
    EXPECT_EQ(steps_due(5055 * MS, 0, &untouched, 4), 1);       // no frame rate: one a call
    EXPECT_EQ(untouched, 77);
}

TEST(FramePace, AStallIsCaughtUpByAtMostFourStepsInOneFrame)
{
    start_held(50, 100 * MS);
    game_mode = 0;                          // a step reads the clock once
    EXPECT_EQ(idle_once(), 0);
    EXPECT_GT(idle_once(), 0);
    stub_clock_reads = 0;
    stub_clock_ns += 250 * MS;              // the machine stalled for 12 periods
    EXPECT_EQ(idle_once(), 0);
    EXPECT_EQ(stub_clock_reads, MAX_STEPS_PER_FRAME);
    EXPECT_GT(idle_once(), 0);              // the rest is dropped
    EXPECT_EQ(stub_redisplays, 2);
    // Three periods late: three steps, one frame drawn.
    stub_clock_reads = 0;
    stub_clock_ns = next_frame_ns + 2 * frame_period_ns;
    EXPECT_EQ(idle_once(), 0);
    EXPECT_EQ(stub_clock_reads, 3);
    EXPECT_EQ(stub_redisplays, 3);
    // A paused program has nothing to catch up: one step a frame.
    paused = 1;
    stub_clock_reads = 0;
    stub_clock_ns += 100 * MS;
    EXPECT_EQ(idle_once(), 0);
    EXPECT_EQ(stub_clock_reads, 1);
    while (idle_once() > 0) {
    }
    EXPECT_GT(idle_once(), 0);
    EXPECT_EQ(stub_redisplays, 5);
}

// The frame count of a replay file's header (after the version text).
unsigned frames_in(const unsigned char *bytes)
{
    unsigned version_len = bytes[12] | bytes[13] << 8 | bytes[14] << 16 | (unsigned)bytes[15] << 24;
    const unsigned char *f = bytes + 16 + version_len + 12;
    return f[0] | f[1] << 8 | f[2] << 16 | (unsigned)f[3] << 24;
}

Params paced_params(int record)
{
    Params p;
    set_default_params(&p);
    p.grid_cols = p.grid_rows = 24;
    p.frame_rate = 60;
    p.record_replays = record;
    return p;
}

void play_paced_replay(void)
{
    for (int calls = 0; calls < 20000 && !replay_over(); calls++) on_idle();
}

// Drawing takes 50 ms, three periods of 60 frames a second: the steps keep
// the clock's pace, three to a frame drawn, the figure shows the frames
// drawn, and the replay of the session plays back every step exactly.
TEST(FramePace, SlowDrawingKeepsThePaceAndItsReplayIsExact)
{
    const long long DRAW_NS = 50 * MS, SESSION_NS = 3000 * MS;
    replay_reset();
    program_srand(1);
    start_held(60, 0);
    start_program_with(paced_params(1));
    ASSERT_TRUE(replay_start("no-such-params.txt"));
    ASSERT_EQ(replay_mode, REPLAY_RECORD);
    replay_set_window_size();
    stub_draw_ns = DRAW_NS;
    on_keyboard(' ', 0, 0);                 // a game: the countdown reads the clock
    for (int call = 0; stub_clock_ns < SESSION_NS; call++) {
        on_motion(40, 100 + call % 300);    // the paddle follows
        idle_once();
    }
    stub_draw_ns = 0;
    size_t size = 0;
    unsigned char *bytes = replay_recording_bytes(&size);
    ASSERT_TRUE(bytes);
    const unsigned steps = frames_in(bytes);
    EXPECT_NEAR((double)steps, 180.0, 2.0);
    EXPECT_NEAR((double)stub_redisplays, 60.0, 2.0);
    EXPECT_NEAR(fps, 20.0f, 1.0f);          // frames drawn, not steps
    const unsigned recorded_end = replay_state_checksum();
    const float recorded_fps = fps;

    replay_reset();
    program_srand(1);
    start_held(60, 0);
    start_program_with(paced_params(0));
    ReplayFile *r = parse_replay_bytes(bytes, size, "paced");
    free(bytes);
    ASSERT_TRUE(r);
    replay_play_file(r, REPLAY_PLAY);
    replay_set_window_size();
    stub_redisplays = 0;
    std::string out = capture_stdout(play_paced_replay);
    EXPECT_NE(out.find("the state matches the recording"), std::string::npos) << out;
    EXPECT_EQ(out.find("does not play back"), std::string::npos) << out;
    EXPECT_EQ(replay_frames_played(), (int)steps);
    EXPECT_GE(stub_redisplays, (int)steps);  // every step played is drawn
    EXPECT_EQ(replay_state_checksum(), recorded_end);
    EXPECT_EQ(fps, recorded_fps);
    replay_reset();
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
