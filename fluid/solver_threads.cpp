// solver_threads.cpp -- the solver's helper thread: the calling thread and
// one helper share the step's kernels (run_solver_parts), and in the
// automatic setting the step is timed with and without the helper to choose
// between them. Owns the helper thread, its job slot and the timing figures.
#include "fluid/fluid.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

#include <emmintrin.h>

int solver_threads = SOLVER_THREADS_AUTO;

static const int PARALLEL_MIN_ROWS = 16;     // smaller grids run on one thread
static const int SPINS_BEFORE_YIELD = 256;
static const long long HELPER_SPIN_NS = 200000;    // helper stays awake 0.2 ms after a job in a step

// ---------------------------------------------------------------------------
// Helper thread
// ---------------------------------------------------------------------------

struct HelperPool {
    std::atomic<unsigned> posted{0};        // number of the last job handed out
    std::atomic<unsigned> finished{0};      // number of the last job the helper ended
    std::atomic<int> sleeping{0};
    std::atomic<int> rest{0};               // 1 from the end of a step to the next job
    void (*job)(void *, int, int) = nullptr;
    void *ctx = nullptr;
    std::mutex lock;
    std::condition_variable wake;
};

// Created with the helper thread on first use and kept until the program
// ends (the helper sleeps on it between steps).
static HelperPool *helper_pool;
static int helper_failed;

void solver_spin_pause(int *spins)
{
    if (++*spins < SPINS_BEFORE_YIELD) {
        _mm_pause();
    } else {
        *spins = 0;
        std::this_thread::yield();
    }
}

static unsigned wait_for_job(HelperPool *pool, unsigned seen)
{
    auto start = std::chrono::steady_clock::now();
    int spins = 0;
    for (int n = 0;; n++) {
        unsigned now = pool->posted.load(std::memory_order_acquire);
        if (now != seen) return now;
        // No job comes before the next step: the frame draws in between.
        if (pool->rest.load(std::memory_order_relaxed)) break;
        solver_spin_pause(&spins);
        if ((n & 255) == 255 &&
            std::chrono::steady_clock::now() - start > std::chrono::nanoseconds(HELPER_SPIN_NS))
            break;
    }
    std::unique_lock<std::mutex> guard(pool->lock);
    pool->sleeping.store(1);
    pool->wake.wait(guard, [&] { return pool->posted.load() != seen; });
    pool->sleeping.store(0);
    return pool->posted.load(std::memory_order_acquire);
}

static void helper_main(HelperPool *pool)
{
    unsigned seen = 0;
    for (;;) {
        unsigned job = wait_for_job(pool, seen);
        pool->job(pool->ctx, 1, 2);
        pool->finished.store(job, std::memory_order_release);
        seen = job;
    }
}

static int helper_ready(void)
{
    if (helper_pool) return 1;
    if (helper_failed) return 0;
    HelperPool *pool = new (std::nothrow) HelperPool;
    if (!pool) {
        helper_failed = 1;
        return 0;
    }
    try {
        std::thread(helper_main, pool).detach();
    } catch (...) {
        delete pool;
        helper_failed = 1;
        return 0;
    }
    helper_pool = pool;
    return 1;
}

// Whether the helper pays off depends on the grid and on what else the
// machine is doing (a descheduled helper stalls the calling thread), so in
// the automatic setting the step times both ways: it keeps moving averages
// of its own duration with and without the helper, takes the faster way, and
// every TRIAL_PERIOD steps runs TRIAL_STEPS steps the other way to keep that
// figure current. The fields come out the same either way.
static const int TRIAL_PERIOD = 64;
static const int TRIAL_STEPS = 2;
static const double AVERAGE_WEIGHT = 0.25;  // of the newest step
static double average_ns_alone, average_ns_shared;  // 0: not measured yet
static unsigned step_number;
static int step_alone;                      // 1 while a step runs without the helper
static int step_automatic;                  // 1 while a step is timed
static long long step_start_ns;

static long long now_ns(void)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

static void book_step_time(int alone, long long ns)
{
    double &average = alone ? average_ns_alone : average_ns_shared;
    average = average == 0 ? (double)ns : average + AVERAGE_WEIGHT * ((double)ns - average);
}

long long solver_step_budget_ns;

// A step that takes under this share of its budget alone keeps to the
// calling thread: the helper would save time nobody waits for, at the price
// of a second processor kept busy (much of it spinning) that the drawing,
// the display server or the player's other programs could use.
static const double ALONE_BUDGET_SHARE = 0.5;

// 1 when the coming step should leave the helper out.
static int choose_alone(void)
{
    int fits_alone = solver_step_budget_ns > 0 && average_ns_alone > 0 &&
                     average_ns_alone < ALONE_BUDGET_SHARE * (double)solver_step_budget_ns;
    int faster_alone = fits_alone || (average_ns_alone > 0 && average_ns_shared > 0 &&
                                      average_ns_alone < average_ns_shared);
    int trial = step_number % TRIAL_PERIOD < (unsigned)TRIAL_STEPS;
    step_number++;
    return trial ? !faster_alone : faster_alone;
}

static int tasks_running;                   // 1 inside run_solver_tasks

static int solver_parts(void)
{
    if (tasks_running) return 1;
    if (solver_threads == SOLVER_THREADS_ONE || solver.grid_height < PARALLEL_MIN_ROWS) return 1;
    if (step_alone && solver_threads != SOLVER_THREADS_TWO) return 1;
    return helper_ready() ? SOLVER_MAX_THREADS : 1;
}

int solver_thread_count(void) { return solver_parts(); }

// Hands job(ctx, 1, 2) to the helper, runs job(ctx, 0, 2) and waits for
// the helper's part.
static void run_on_both(void (*job)(void *, int, int), void *ctx)
{
    HelperPool *pool = helper_pool;
    pool->job = job;
    pool->ctx = ctx;
    unsigned ticket = pool->posted.load(std::memory_order_relaxed) + 1;
    pool->rest.store(0, std::memory_order_relaxed);
    pool->posted.store(ticket);
    if (pool->sleeping.load()) {
        std::lock_guard<std::mutex> guard(pool->lock);
        pool->wake.notify_one();
    }
    job(ctx, 0, 2);
    int spins = 0;
    while (pool->finished.load(std::memory_order_acquire) != ticket) solver_spin_pause(&spins);
}

void run_solver_parts(void (*job)(void *ctx, int part, int parts), void *ctx)
{
    if (solver_parts() == 1)
        job(ctx, 0, 1);
    else
        run_on_both(job, ctx);
}

int run_solver_tasks(void (*job)(void *ctx, int part, int parts), void *ctx)
{
    if (solver_parts() == 1) return 0;
    tasks_running = 1;
    run_on_both(job, ctx);
    tasks_running = 0;
    return 1;
}

void solver_timing_begin(void)
{
    step_automatic =
        solver_threads == SOLVER_THREADS_AUTO && solver.grid_height >= PARALLEL_MIN_ROWS;
    step_alone = step_automatic && choose_alone();
    step_start_ns = now_ns();
}

long long solver_timing_end(void)
{
    long long ns = now_ns() - step_start_ns;
    if (step_automatic) book_step_time(step_alone, ns);
    // The helper need not spin on until the next step: it would only burn
    // processor time the drawing could use.
    if (helper_pool) helper_pool->rest.store(1, std::memory_order_relaxed);
    step_alone = 0;
    step_automatic = 0;
    return ns;
}

