#include "base/thread_tuning.h"

#include <algorithm>

#include "base/workers.h"

namespace {

// A window's figure is its median step, not its fastest: where our own threads are what the
// machine is short of (the page, whose second core the browser's software rasteriser needs to
// draw every frame), the fastest of a few two-thread steps, one that ran while nothing was
// being drawn, is as fast as a one-thread step, while the typical one is twice as slow. A step
// of the same scene varies by some tens of percent with what else the machine does; the median
// of eight is steady enough for the margins below.
constexpr int window = tuner_window;
// The start-up count is a guess from the load average of the last minute, so the first trial
// comes within a second or two; later ones a few seconds after a change at 60 steps a second,
// and lost trials push the next one back to about two minutes at most.
constexpr int64_t start_gap = 64;
constexpr int64_t first_gap = 256;
constexpr int64_t longest_gap = 8192;
// A trial must be this much faster to win, so noise does not flip the count back and forth.
constexpr double wins_below = 0.9;
// A trial step this much slower than the steady steps ends the trial at once: on a busy
// machine a trial of more threads can be many times slower, and one such step is enough. The
// first step of a trial may wake threads that slept since the last one and finds the other
// cores' caches cold, so it is held to a looser bound.
constexpr double loses_above = 1.25;
constexpr double first_loses_above = 3.0;
// Steady steps this much slower than right after the last choice, window after window: the
// machine got busier (or the scene heavier), so try another count now rather than at the next
// trial. A few windows, because a busy machine's steps wander by more than this now and then,
// and every trial of more threads there costs a step many times slower.
constexpr double slowed_above = 1.3;
constexpr int slowed_windows = 4;

int trial_count(ThreadTuner& t) {
    const int fewer = t.current / 2 > 1 ? t.current / 2 : 1;
    const int more = t.current * 2 < t.most ? t.current * 2 : t.most;
    const bool can_fewer = fewer < t.current;
    const bool can_more = more > t.current;
    if (can_fewer && can_more) {
        const bool fewer_now = t.try_fewer_next;
        t.try_fewer_next = !fewer_now;
        return fewer_now ? fewer : more;
    }
    return can_fewer ? fewer : (can_more ? more : 0);
}

// The count of the next step: the one on trial, if any.
int next_count(const ThreadTuner& t) {
    return t.trying != 0 ? t.trying : t.current;
}

void start_window(ThreadTuner& t) {
    t.window_steps = 0;
}

// The lower median of the window's steps.
double window_median(const ThreadTuner& t) {
    double v[window];
    std::copy(t.window_ms, t.window_ms + window, v);
    std::nth_element(v, v + (window - 1) / 2, v + window);
    return v[(window - 1) / 2];
}

void end_trial(ThreadTuner& t, bool won, double median) {
    if (won) {
        t.current = t.trying;
        t.settled_ms = median;
        t.steady_ms = median;
        t.slowed_windows = 0;
        t.trial_gap = first_gap;
    } else if (t.trial_gap < longest_gap) {
        t.trial_gap *= 2;
    }
    t.trying = 0;
    t.steady_left = t.trial_gap;
    start_window(t);
}

} // namespace

ThreadTuner make_thread_tuner(int most, int start) {
    ThreadTuner t{};
    t.most = most > 1 ? most : 1;
    t.current = start < 1 ? 1 : (start > t.most ? t.most : start);
    t.steady_left = start_gap;
    t.trial_gap = first_gap;
    return t;
}

int tune_threads(ThreadTuner& t, double step_ms) {
    // A clock that went backwards (or a NaN) says nothing about the count: the step is not counted.
    if (!(step_ms >= 0.0)) return next_count(t);
    t.window_ms[t.window_steps++] = step_ms;

    if (t.trying != 0) {
        if (step_ms > t.steady_ms * (t.window_steps == 1 ? first_loses_above : loses_above)) {
            end_trial(t, false, 0.0);
        } else if (t.window_steps == window) {
            const double median = window_median(t);
            end_trial(t, median < t.steady_ms * wins_below, median);
        }
        return next_count(t);
    }

    if (t.window_steps < window) return t.current;
    t.steady_ms = window_median(t);
    if (t.settled_ms == 0.0 || t.steady_ms < t.settled_ms) t.settled_ms = t.steady_ms;
    t.steady_left -= window;
    t.slowed_windows = t.steady_ms > t.settled_ms * slowed_above ? t.slowed_windows + 1 : 0;
    if (t.slowed_windows == slowed_windows) {
        // Judge the new conditions afresh, from the steps that showed them.
        t.settled_ms = t.steady_ms;
        t.slowed_windows = 0;
        t.steady_left = 0;
    }
    start_window(t);
    if (t.steady_left <= 0) {
        t.trying = trial_count(t);
        t.steady_left = t.trial_gap;
    }
    return next_count(t);
}

namespace {
ThreadTuner pool_tuner{};
bool pool_tuned = false;
} // namespace

void start_pool_tuning(int most, int start) {
    pool_tuner = make_thread_tuner(most, start);
    pool_tuned = most > 1;
}

void stop_pool_tuning() {
    pool_tuned = false;
}

bool pool_tuning() {
    return pool_tuned;
}

void tune_pool_after_step(double step_ms) {
    if (!pool_tuned) return;
    use_threads(tune_threads(pool_tuner, step_ms));
}
