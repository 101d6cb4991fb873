#pragma once
#include <cstdint>

// With `threads = 0` the program chooses how many of the pool's threads the steps use, and keeps
// choosing while it runs. The lanes of a stage wait on each other, so once another program takes
// a core, a lane whose thread has lost its core stalls the whole stage and two threads run
// slower than one; when the core comes free again, two are faster. Every count gives the same
// bits, so the choice changes only the speed.
//
// The choice is made from the steps' own wall times: every so often a few steps are tried at
// half or double the current count, and the trial wins if its typical step (the median of a
// few) beats that of the steps just before it by a clear margin. A trial that loses is tried
// again later and later, so a machine where the current count is right pays almost nothing; a
// step that turns clearly slower than before (the machine got busier) brings the next trial
// forward.

// Steps judged together: the median of so many shrugs off a step or three that something
// else held up.
constexpr int tuner_window = 8;

struct ThreadTuner {
    int most;                       // threads in the pool
    int current;                    // threads the steady steps use
    int trying;                     // 0 in steady steps, else the count on trial
    bool try_fewer_next;            // trials alternate between fewer and more where both exist
    int window_steps;               // steps measured in the current window
    double window_ms[tuner_window]; // the current window's steps, ms
    double steady_ms;               // median step of the last steady window, ms (0: none yet)
    double settled_ms;              // least steady median since the last change or won trial, ms
    int slowed_windows;             // steady windows in a row clearly slower than settled_ms
    int64_t steady_left;            // steady steps before the next trial
    int64_t trial_gap;              // steady steps between trials; doubles after each lost trial
};

// A tuner for a pool of `most` threads that starts the steps on `start` of them.
ThreadTuner make_thread_tuner(int most, int start);

// Takes the wall time of the step just run with tuner.trying (or .current) threads, in ms, and
// returns the thread count for the next step.
int tune_threads(ThreadTuner& tuner, double step_ms);

// The process-wide pool's tuner, started by start_workers when the settings leave the count to
// the program. After each step it takes the step's time and sets the count of the next step;
// otherwise it does nothing.
void start_pool_tuning(int most, int start);
void stop_pool_tuning();
bool pool_tuning();
void tune_pool_after_step(double step_ms);
