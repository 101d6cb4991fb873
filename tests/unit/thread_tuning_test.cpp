// The thread count the program picks for itself, against machines whose step time for each
// count is known: it must settle on the fastest count, follow the machine when another program
// takes or frees cores, spend few steps on counts that lose, and not be swayed by noise.

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <random>

#include "base/thread_tuning.h"

namespace {

// Step time in ms of a machine at `step` when the steps run on `threads` threads.
using Machine = std::function<double(int step, int threads)>;

struct Outcome {
    int changes = 0;  // steady count changed
    int last = 0;     // the steady count at the end
    int off_best = 0; // steps not run at `best`
};

Outcome run(ThreadTuner& tuner, const Machine& machine, int from, int to, int best) {
    Outcome r;
    int threads = tuner.current;
    int steady = tuner.current;
    for (int step = from; step < to; ++step) {
        r.off_best += threads != best ? 1 : 0;
        threads = tune_threads(tuner, machine(step, threads));
        EXPECT_GE(threads, 1);
        EXPECT_LE(threads, tuner.most);
        if (tuner.current != steady) ++r.changes;
        steady = tuner.current;
    }
    r.last = tuner.current;
    return r;
}

// Two cores; one and two threads as measured on a quiet machine, then with another program
// holding one core (the two lanes wait on each other), then quiet again.
double two_cores(int step, int threads) {
    const bool busy = step >= 5000 && step < 15000;
    if (threads == 1) return busy ? 1.45 : 1.3;
    return busy ? 4.0 : 0.8;
}

TEST(ThreadTuning, FollowsAMachineThatTurnsBusyAndQuietAgain) {
    ThreadTuner tuner = make_thread_tuner(2, 2);
    const Outcome quiet = run(tuner, two_cores, 0, 5000, 2);
    EXPECT_EQ(quiet.changes, 0);
    EXPECT_EQ(quiet.last, 2);
    // Trials of one thread lose at their first step and come ever later.
    EXPECT_LT(quiet.off_best, 20);

    const Outcome turning_busy = run(tuner, two_cores, 5000, 5100, 1);
    EXPECT_EQ(turning_busy.last, 1) << "still on two threads 100 steps after a core was taken";
    EXPECT_LT(turning_busy.off_best, 40);
    const Outcome busy = run(tuner, two_cores, 5100, 15000, 1);
    EXPECT_EQ(busy.changes, 0);
    EXPECT_LT(busy.off_best, 20) << "trials of two threads on the busy machine cost too much";

    // Freed again: one thread is no slower than before, so only the trials can find out.
    const Outcome freed = run(tuner, two_cores, 15000, 15000 + 8192 + 64, 2);
    EXPECT_EQ(freed.last, 2);
    EXPECT_EQ(freed.changes, 1);
}

// Eight cores, step = serial part + parallel part / threads; from step 3000 another program
// holds four cores, so more than four threads wait on lanes without a core.
TEST(ThreadTuning, FindsTheBestOfManyCoresThroughHalvingAndDoubling) {
    const Machine machine = [](int step, int threads) {
        const double quiet = 0.2 + 1.6 / threads;
        if (step < 3000 || threads <= 4) return quiet;
        return quiet * 3.0;
    };
    ThreadTuner tuner = make_thread_tuner(8, 8);
    EXPECT_EQ(run(tuner, machine, 0, 3000, 8).last, 8);
    const Outcome busy = run(tuner, machine, 3000, 9000, 4);
    EXPECT_EQ(busy.last, 4);
    EXPECT_LT(busy.off_best, 120);
}

// Step times that wander by a quarter and now and then take five times as long (the window
// program drawing, the machine doing something else) must not flip a clear choice.
TEST(ThreadTuning, NoiseDoesNotFlipTheCount) {
    std::mt19937 gen(5u);
    std::uniform_real_distribution<double> jitter(1.0, 1.25);
    std::uniform_int_distribution<int> spike(0, 49);
    const Machine noisy = [&](int, int threads) {
        const double t = (threads == 1 ? 1.3 : 0.8) * jitter(gen);
        return spike(gen) == 0 ? t * 5.0 : t;
    };
    ThreadTuner tuner = make_thread_tuner(2, 2);
    const Outcome r = run(tuner, noisy, 0, 30000, 2);
    EXPECT_EQ(r.changes, 0);
    EXPECT_EQ(r.last, 2);

    // Two counts within a few percent of each other: either will do, but not a new one every
    // few seconds.
    const Machine close = [&](int, int threads) {
        return (threads == 1 ? 1.0 : 1.04) * jitter(gen);
    };
    ThreadTuner undecided = make_thread_tuner(2, 2);
    EXPECT_LE(run(undecided, close, 0, 30000, 1).changes, 2);

    // Started on one thread (the machine looked busy at start), it finds the second.
    ThreadTuner from_one = make_thread_tuner(2, 1);
    const Outcome up = run(from_one, noisy, 0, 2000, 2);
    EXPECT_EQ(up.last, 2);
    EXPECT_LT(up.off_best, 300);
}

// Two threads that are slow most of the time but fast now and then (the page, where the
// browser's rasteriser wants the second core for most of every frame) lose to one thread that
// is steadily in between: the typical step decides, not the luckiest one.
TEST(ThreadTuning, TheTypicalStepDecidesNotTheLuckiest) {
    std::mt19937 gen(7u);
    std::uniform_real_distribution<double> jitter(1.0, 1.1);
    const Machine page = [&](int step, int threads) {
        if (threads == 1) return 1.05 * jitter(gen);
        return step % 4 == 0 ? 0.95 : 2.5 * jitter(gen);
    };
    ThreadTuner tuner = make_thread_tuner(2, 2);
    const Outcome r = run(tuner, page, 0, 3000, 1);
    EXPECT_EQ(r.last, 1);
    EXPECT_EQ(r.changes, 1);
    EXPECT_LT(r.off_best, 200);
}

TEST(ThreadTuning, OneThreadPoolsAndOutOfRangeStartsAndTimes) {
    ThreadTuner single = make_thread_tuner(1, 4);
    EXPECT_EQ(single.current, 1);
    EXPECT_EQ(run(single, two_cores, 0, 3000, 1).off_best, 0);

    ThreadTuner low = make_thread_tuner(4, 0);
    EXPECT_EQ(low.current, 1);
    ThreadTuner high = make_thread_tuner(4, 9);
    EXPECT_EQ(high.current, 4);
    // A clock that jumps backwards or gives NaN says nothing: such steps must not decide a trial
    // or stop the tuner from finding the fastest count (here half the pool).
    const Machine broken = [](int step, int threads) {
        if (step % 3 == 0) return -1.0;
        if (step % 3 == 1) return std::numeric_limits<double>::quiet_NaN();
        return threads == 2 ? 1.0 : 2.0;
    };
    const Outcome r = run(high, broken, 0, 5000, 2);
    EXPECT_EQ(r.changes, 1);
    EXPECT_EQ(r.last, 2);
}

} // namespace
