#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/float_path.h"

// A small pool of threads, started once with the simulation and reused by every parallel stage.
// The work of a stage is cut into lanes that write disjoint data; which thread runs a lane
// never changes a result, so every thread count gives the same bits.

constexpr int max_threads = 256;

using LaneTask = void (*)(const void* context, int lane);

// Runs with `threads` threads in all, the caller included; more than max_threads is cut to it.
// 0 leaves the count to the program: a thread per core (one when the machine reports none),
// of which the steps start on the cores less the load average of the last minute, and which
// the steps' own times then adjust (base/thread_tuning.h). Replaces any earlier pool. If the
// system refuses a thread, the pool runs with those it got. A build without threads (WebAssembly
// compiled without them) runs every count on the caller alone and says so on stderr for a count
// above 1; WebAssembly with threads has the workers it started with (TARNWELL_WEB_THREADS in
// all) and says so for a count above that.
void start_workers(int threads);
void stop_workers();
// Threads that run lanes now, the caller included (1 without a pool).
int worker_threads();
// Threads in the pool, the caller included (1 without a pool).
int pool_threads();
// Runs the following stages on `threads` of the pool's threads (cut to 1 .. pool_threads()).
// Only between stages: a stage's lanes are cut for the count it started with.
void use_threads(int threads);

// Runs task(context, k) for k = 0 .. lanes-1 and returns when all are done. Lanes may run at
// the same time, so a lane may wait for another only when lanes <= worker_threads().
void run_lanes(int lanes, LaneTask task, const void* context);

template <typename F> void run_lanes(int lanes, const F& lane_body) {
    run_lanes(
        lanes, [](const void* body, int lane) { (*static_cast<const F*>(body))(lane); },
        &lane_body);
}

// Lane `lane` of `lanes` even parts of 0 .. n-1.
struct IndexRange {
    int32_t begin;
    int32_t end;
};
inline IndexRange lane_range(int lane, int lanes, int32_t n) {
    const int64_t total = n > 0 ? n : 0;
    return IndexRange{static_cast<int32_t>(total * lane / lanes),
                      static_cast<int32_t>(total * (lane + 1) / lanes)};
}

// Lanes for a pass over n independent elements: one per thread, but none shorter than a few
// cache lines' worth, where handing the work out costs more than it saves.
inline int lanes_for(int32_t n) {
    const int32_t most = n / 256;
    const int threads = worker_threads();
    return most < 1 ? 1 : (most < threads ? most : threads);
}

// Runs body(begin, end) on the lanes_for(n) even parts of 0 .. n-1, a lane each.
template <typename F> void run_ranges(int32_t n, const F& body) {
    const int lanes = lanes_for(n);
    run_lanes(lanes, [&](int lane) {
        const IndexRange r = lane_range(lane, lanes, n);
        body(r.begin, r.end);
    });
}

// Sets `a`[0 .. n-1] to zero, a range per lane.
template <typename T> void zero_in_lanes(T* a, int32_t n) {
    run_ranges(n, [a](int32_t begin, int32_t end) {
        std::memset(static_cast<void*>(a + begin), 0, sizeof(T) * static_cast<size_t>(end - begin));
    });
}

// Where floats are evaluated wider than they are stored (x87), a value is rounded wherever the
// compiler happens to spill it, so one loop inlined into two callers can round differently.
// Each pass therefore keeps its arithmetic in one function over a range of particles that every
// lane (and the single thread) calls, and in such builds that function is never inlined.
#if TARNWELL_EXACT_FLOAT
#define ONE_BODY inline
#define ONE_BODY_LAMBDA
#else
#define ONE_BODY __attribute__((noinline))
// The same for a pass written as a lambda: [&](int32_t begin, int32_t end) ONE_BODY_LAMBDA {...}
#define ONE_BODY_LAMBDA __attribute__((noinline))
#endif

// `value` as stored in a float. Where floats are evaluated wider, the single-threaded passes
// rounded some constants this way (the compiler kept them in memory across a call); the range
// functions round them explicitly to give the same results.
inline float as_stored(float value) {
    volatile float stored = value;
    return stored;
}

// Spins briefly, then yields the processor: for a lane waiting on another lane's progress.
void pause_waiting(int* rounds);
