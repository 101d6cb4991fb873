#include "base/workers.h"

#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "base/assert.h"
#include "base/thread_tuning.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__EMSCRIPTEN_PTHREADS__)
#include <emscripten/threading.h>
#endif

namespace {

// WebAssembly compiled without threads cannot start one, and the runtime aborts the program
// rather than let std::thread's failure be caught, so such a build never tries.
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
constexpr bool threads_built = false;
#else
constexpr bool threads_built = true;
#endif

// WebAssembly threads are Web Workers started with the module (platform/web/web.cmake): a
// thread beyond them could start only once the caller gave back the event loop, which it does
// not while it waits for the thread, so the pool never asks for more.
#if defined(TARNWELL_WEB_THREADS)
constexpr int threads_at_most =
    TARNWELL_WEB_THREADS < max_threads ? TARNWELL_WEB_THREADS : max_threads;
#else
constexpr int threads_at_most = threads_built ? max_threads : 1;
#endif

// The count last cut: a restart with the same settings does not say it again.
int cut_said = 0;

// A count cut to what the build can start is said once on stderr; max_threads itself is
// silent, as it is the setting's own limit.
void say_fewer_threads(int threads) {
    if (threads > threads_at_most && threads != cut_said) {
        if (threads_at_most == 1)
            std::fprintf(stderr,
                         "warning: threads = %d: this build has no threads and runs the "
                         "simulation on one; the results are the same as with %d\n",
                         threads, threads);
        else
            std::fprintf(stderr,
                         "warning: threads = %d: this build starts at most %d threads and runs "
                         "the simulation on those; the results are the same as with %d\n",
                         threads, threads_at_most, threads);
    }
    cut_said = threads;
}

// One dispatch at a time, from the thread that started the pool. The fields a dispatch hands
// over (task, context, lanes) are written before `generation` is raised and read after a
// helper sees it raised; the caller touches them again only after every helper has reported
// back through `busy`.
struct WorkerPool {
    std::vector<std::thread> helpers;
    std::mutex mutex;
    std::condition_variable wake; // helpers sleep here between dispatches
    std::condition_variable done; // the caller sleeps here until the last helper is back
    // Dispatch number in the high bits, the helpers it wants in the low 16: read in one load,
    // so a helper left out of one dispatch that looks late cannot mistake the next one's
    // count for this one's.
    std::atomic<uint64_t> generation{0};
    // Lane blocks, one a thread: thread t (the caller 0, helper k then k + 1) owns lanes from
    // `front` to `back` (front in the low 16 bits, back in the high), takes them from the front
    // and, with none left, takes the other blocks' lanes from their backs. Stage after stage a
    // thread thus works mostly on the same particles, which stay in its core's cache: handed out
    // first come, first served, the dam break took 6 % longer a step on two threads (water) and
    // 5 % (the particle model).
    std::atomic<uint32_t> block[max_threads];
    int blocks = 1;
    std::atomic<int> busy{0}; // helpers not yet finished with the current dispatch
    std::atomic<bool> stopping{false};
    LaneTask task = nullptr;
    const void* context = nullptr;
    int lanes = 0;
    int active = 1; // threads the stages use, the caller included
};

WorkerPool* pool = nullptr;

#if TARNWELL_ASSERTIONS_ON
// A lane that starts lanes of its own would hand them to helpers busy with its own dispatch,
// or wait for itself; without a pool it only runs them inline, so the mistake would show
// first on a machine with more threads. Checked on every path, the inline one included.
std::atomic<bool> dispatching{false};
struct DispatchMark {
    DispatchMark() {
        TARNWELL_ASSERT(!dispatching.exchange(true, std::memory_order_relaxed),
                        "run_lanes called from inside a lane");
    }
    ~DispatchMark() { dispatching.store(false, std::memory_order_relaxed); }
};
#else
struct DispatchMark {};
#endif

// More threads than cores: a waiting thread then most likely waits for one that is not running,
// and spinning only keeps it off the core.
bool oversubscribed = false;

// Stages follow each other within microseconds, so a helper that has just finished a lane
// looks for the next dispatch for a while before it sleeps; waking a sleeping thread costs
// more than a short stage.
constexpr auto spin_time = std::chrono::microseconds(200);
// A waiter spins this long before it lets other threads have its core. Natively a yield costs
// nothing when no other thread wants the core. A Web Worker's way to give its core up (give_way
// below) takes 60 to 80 microseconds however short a wait it asks for (measured under node), so
// there it pays to spin about that long first: a wait that ends sooner costs no sleep, and one
// for a thread that is off its core costs at most twice what it had to.
#if defined(__EMSCRIPTEN_PTHREADS__)
constexpr auto pause_time = std::chrono::microseconds(80);
constexpr auto shortest_spin = std::chrono::microseconds(2);
#else
constexpr auto pause_time = std::chrono::microseconds(20);
#endif

// WebAssembly has no pause instruction (its _mm_pause compiles to nothing), so a wait there would
// count its spinning rounds off in a fraction of the native time and give its core away, which
// costs a Web Worker a sleep of tens of microseconds, long before the native build would. A few
// dozen empty rounds take about as long as a pause.
void cpu_relax() {
#if defined(__EMSCRIPTEN__)
    for (int k = 0; k < 32; ++k)
        std::atomic_signal_fence(std::memory_order_seq_cst);
#elif defined(__SSE2__)
    _mm_pause();
#endif
}

// Lets another thread have this core for a moment. A Web Worker cannot yield: emscripten's
// sched_yield returns at once and a sleep under 0.1 ms spins, so with more threads than free
// cores the thread waited for would get no core until the system takes this one away (steps
// of seconds were measured under node). A short wait on a futex nobody wakes does give it up.
// The browser's main thread may not wait at all, and there the runtime spins instead.
#if defined(__EMSCRIPTEN_PTHREADS__)
void give_way(double milliseconds) {
    static int never_woken = 0;
    emscripten_futex_wait(&never_woken, 0, milliseconds);
}
void yield_core() {
    give_way(0.005);
}
#else
void yield_core() {
    std::this_thread::yield();
}
void sleep_briefly() {
    std::this_thread::sleep_for(std::chrono::microseconds(50));
}
#endif

// The next lane of block b for its owner (from the front) or for another thread (from the
// back), or -1 when the block is empty.
int take_lane(std::atomic<uint32_t>& block, bool own) {
    uint32_t v = block.load(std::memory_order_relaxed);
    for (;;) {
        const uint32_t front = v & 0xffffu;
        const uint32_t back = v >> 16;
        if (front >= back) return -1;
        const uint32_t next = own ? v + 1u : front | ((back - 1u) << 16);
        if (block.compare_exchange_weak(v, next, std::memory_order_relaxed))
            return static_cast<int>(own ? front : back - 1u);
    }
}

void run_available_lanes(WorkerPool& p, int self) {
    for (;;) {
        int lane = take_lane(p.block[self], true);
        for (int d = 1; lane < 0 && d < p.blocks; ++d)
            lane = take_lane(p.block[(self + d) % p.blocks], false);
        if (lane < 0) return;
        p.task(p.context, lane);
    }
}

// Pauses for a few microseconds, which is how long a stage usually keeps a thread waiting, then
// yields: on a busy machine (or with more threads than cores) the thread waited for may need
// this core, and spinning would only keep it off.
template <typename Ready> bool spin_until(const Ready& ready) {
    const auto start = std::chrono::steady_clock::now();
    for (int round = 1;; ++round) {
        if (ready()) return true;
        if ((round & 63) == 0) {
            const auto waited = std::chrono::steady_clock::now() - start;
            if (waited > spin_time) return false;
            if (oversubscribed || waited > pause_time) yield_core();
        }
        cpu_relax();
    }
}

void helper_loop(WorkerPool& p, int index) {
    uint64_t seen = 0;
    for (;;) {
        const auto dispatched = [&] {
            return p.generation.load(std::memory_order_acquire) != seen ||
                   p.stopping.load(std::memory_order_acquire);
        };
        if (!spin_until(dispatched)) {
            std::unique_lock<std::mutex> lock(p.mutex);
            p.wake.wait(lock, dispatched);
        }
        if (p.stopping.load(std::memory_order_acquire)) return;
        seen = p.generation.load(std::memory_order_acquire);
        // Helpers 0 .. wanted-1 take part; the others sit this dispatch out, unlooked-for.
        if (index >= static_cast<int>(seen & 0xffff)) continue;
        run_available_lanes(p, index + 1);
        if (p.busy.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            std::lock_guard<std::mutex> lock(p.mutex);
            p.done.notify_one();
        }
    }
}

// Cores not already kept busy by other programs: the lanes of a stage wait on each other, so a
// lane whose thread has no core of its own stalls the whole stage (ten times slower than one
// thread was measured with two threads on two cores that were already loaded). Results do not
// depend on the count, so taking it from the load at start changes only the speed.
int available_cores() {
    int cores = static_cast<int>(std::thread::hardware_concurrency());
#if !defined(__EMSCRIPTEN__)
    double load = 0.0;
    if (getloadavg(&load, 1) == 1 && load > 0.0) cores -= static_cast<int>(load + 0.5);
#endif
    return cores;
}

} // namespace

void start_workers(int threads) {
    stop_workers();
    // 0 leaves the count to the program, which never asks for more than the build has.
    if (threads_at_most < max_threads) say_fewer_threads(threads);
    if (!threads_built) return;
    const bool chosen_here = threads <= 0;
    int start = threads;
    if (chosen_here) {
        threads = static_cast<int>(std::thread::hardware_concurrency());
        start = available_cores();
    }
    if (threads <= 0) threads = 1;
    if (threads > threads_at_most) threads = threads_at_most;
    if (threads == 1) return;
    oversubscribed = threads > static_cast<int>(std::thread::hardware_concurrency());
    pool = new WorkerPool;
    pool->helpers.reserve(static_cast<size_t>(threads - 1));
    for (int k = 1; k < threads; ++k) {
        try {
            pool->helpers.emplace_back(helper_loop, std::ref(*pool), k - 1);
        } catch (const std::system_error&) {
            break; // run with the threads the system granted
        }
    }
    use_threads(chosen_here ? start : threads);
    if (chosen_here) start_pool_tuning(pool_threads(), worker_threads());
}

void stop_workers() {
    stop_pool_tuning();
    if (pool == nullptr) return;
    {
        std::lock_guard<std::mutex> lock(pool->mutex);
        pool->stopping.store(true, std::memory_order_release);
    }
    pool->wake.notify_all();
    for (std::thread& t : pool->helpers)
        t.join();
    delete pool;
    pool = nullptr;
}

int worker_threads() {
    return pool == nullptr ? 1 : pool->active;
}

int pool_threads() {
    return pool == nullptr ? 1 : static_cast<int>(pool->helpers.size()) + 1;
}

void use_threads(int threads) {
    if (pool == nullptr) return;
    const int most = pool_threads();
    pool->active = threads < 1 ? 1 : (threads > most ? most : threads);
}

void run_lanes(int lanes, LaneTask task, const void* context) {
    [[maybe_unused]] const DispatchMark mark;
    if (pool == nullptr || pool->active == 1 || lanes <= 1) {
        for (int lane = 0; lane < lanes; ++lane)
            task(context, lane);
        return;
    }
    WorkerPool& p = *pool;
    p.task = task;
    p.context = context;
    p.lanes = lanes;
    const int wanted = p.active - 1;
    // Lanes are counted in 16 bits (grid and gather passes ask for at most max_threads).
    TARNWELL_ASSERT(lanes <= 0xffff, "too many lanes");
    p.blocks = wanted + 1;
    for (int t = 0; t < p.blocks; ++t) {
        const uint32_t front = static_cast<uint32_t>(int64_t{lanes} * t / p.blocks);
        const uint32_t back = static_cast<uint32_t>(int64_t{lanes} * (t + 1) / p.blocks);
        p.block[t].store(front | (back << 16), std::memory_order_relaxed);
    }
    p.busy.store(wanted, std::memory_order_relaxed);
    {
        // Raised under the lock, so a helper between its last check and its sleep cannot
        // miss it.
        std::lock_guard<std::mutex> lock(p.mutex);
        const uint64_t next = ((p.generation.load(std::memory_order_relaxed) >> 16) + 1) << 16;
        p.generation.store(next | static_cast<uint64_t>(wanted), std::memory_order_release);
    }
    p.wake.notify_all();
    run_available_lanes(p, 0);
    const auto all_back = [&] { return p.busy.load(std::memory_order_acquire) == 0; };
    if (!spin_until(all_back)) {
        std::unique_lock<std::mutex> lock(p.mutex);
        p.done.wait(lock, all_back);
    }
}

void pause_waiting(int* rounds) {
#if defined(__EMSCRIPTEN_PTHREADS__)
    // Counted rounds say little about time here (see pause_time), so the wait is timed. How long
    // it spins adapts, as the spin of an adaptive mutex does: a wait that had to give its core
    // up was most likely for a thread that had lost its own (another program wants the cores),
    // and spinning then only delays the handover, so the next wait spins half as long; a wait
    // that ended while spinning lets the next one spin twice as long, up to pause_time.
    using Clock = std::chrono::steady_clock;
    thread_local Clock::time_point started;
    thread_local Clock::duration spin_for = pause_time;
    thread_local bool gave_way = false;
    if (*rounds == 0) {
        if (gave_way)
            spin_for = spin_for / 2 > shortest_spin ? spin_for / 2 : Clock::duration(shortest_spin);
        else
            spin_for = spin_for * 2 < pause_time ? spin_for * 2 : Clock::duration(pause_time);
        gave_way = false;
        started = Clock::now();
    }
    ++*rounds;
    if ((*rounds & 63) != 0 || (!oversubscribed && Clock::now() - started < spin_for)) {
        cpu_relax();
    } else {
        gave_way = true;
        yield_core();
    }
#else
    ++*rounds;
    if (*rounds < 256 && !oversubscribed) {
        cpu_relax();
    } else if (*rounds < 100000) {
        // The lane waited for has not moved for a while: it may be off its core (more threads
        // than cores, a busy machine), so let it have this one.
        yield_core();
    } else {
        sleep_briefly();
    }
#endif
}
