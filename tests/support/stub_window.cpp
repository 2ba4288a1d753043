// stub_window.cpp -- a stand-in for the GLUT window layer in unit tests:
// settable clocks (sleeping moves the monotonic one on at once, and so does
// drawing a requested frame, by stub_draw_ns) and counters of the window
// requests and of the elapsed-time reads. The elapsed-time clock and the
// reshapes pass through the replay hooks, as in the real window layer, which
// asks the window for every size a replay records: those no window can have
// are counted.
#include "tests/support/test_util.h"

int stub_elapsed_ms;
int stub_fullscreen_requests;
int stub_fullscreen_leaves;
int stub_redisplays;
long long stub_clock_ns;
int stub_sleeps;
int stub_impossible_sizes;
long long stub_draw_ns;
int stub_clock_reads;

void enter_fullscreen(void)
{
    is_fullscreen = 1;
    stub_fullscreen_requests++;
}

void leave_fullscreen(void) { stub_fullscreen_leaves++; }

int elapsed_ms(void)
{
    stub_clock_reads++;
    return replay_clock(stub_elapsed_ms);
}

long long monotonic_ns(void) { return stub_clock_ns; }

void sleep_until_ns(long long t)
{
    stub_sleeps++;
    if (t > stub_clock_ns) stub_clock_ns = t;
}

// The frame asked for is drawn before the next idle call, in stub_draw_ns.
void post_redisplay(void)
{
    stub_redisplays++;
    stub_clock_ns += stub_draw_ns;
}

void register_callbacks(void) {}

void on_reshape(int w, int h)
{
    if (!record_event(EVENT_RESHAPE, w, h, 0, 0)) return;
    if (replay_mode == REPLAY_PLAY && !window_size_possible(w, h)) stub_impossible_sizes++;
    win_width = w;
    win_height = h;
}
