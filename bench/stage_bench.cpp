// Single stages of the physics step, each repeated on one frozen state (the step after 500 steps
// of flow from the default settings without bodies), on one thread and timed on that thread's
// CPU clock, so that other work on a shared machine does not count. The whole step, with every
// stage's share of it, is bench_main.cpp's physics_step.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "config/config.h"
#include "sph/physics_step.h"
#include "sph/sim_state.h"

namespace {

constexpr size_t max_samples = 100000;

double thread_ms() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) * 1e-6;
}

double median(std::vector<double>& v) {
    if (v.empty()) {
        return 0.0;
    }
    const size_t mid = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid), v.end());
    return v[mid];
}

// Runs stage `stage` of step_stages again and again on the state the stages before it left.
// The minimum is the least disturbed figure on a shared machine.
void BM_Stage(benchmark::State& state, int stage) {
    PhysConfig phys = default_phys_config();
    phys.count = static_cast<int32_t>(state.range(0));
    phys.geom_count = 0;
    phys.threads = 1; // the thread's CPU clock sees no other thread
    if (!sim_init_seeded(1, phys, 0.002f, 20240601u)) {
        state.SkipWithError("the simulation could not be set up");
        return;
    }
    for (int k = 0; k < 500; ++k) {
        physics_step(nullptr);
    }
    for (int k = 0; k < stage; ++k) {
        step_stages[k].run();
    }
    std::vector<double> samples;
    samples.reserve(max_samples);
    double best = 1e300;
    for (auto _ : state) {
        const double t0 = thread_ms();
        step_stages[stage].run();
        const double t1 = thread_ms();
        benchmark::DoNotOptimize(sim.force);
        best = std::min(best, t1 - t0);
        if (samples.size() < max_samples) {
            samples.push_back(t1 - t0);
        }
    }
    state.counters["min_ms"] = best;
    state.counters["median_ms"] = median(samples);
    sim_free();
}

// stage/<key>/<particles>.
const bool registered = [] {
    for (const char* key : {"density", "forces", "integrate"}) {
        for (int k = 0; k < step_stage_count; ++k) {
            if (std::strcmp(step_stages[k].key, key) != 0) continue;
            benchmark::RegisterBenchmark(("stage/" + std::string(key)).c_str(),
                                         [k](benchmark::State& state) { BM_Stage(state, k); })
                ->Arg(10000)
                ->Arg(65536)
                ->Unit(benchmark::kMillisecond);
        }
    }
    return true;
}();

} // namespace
