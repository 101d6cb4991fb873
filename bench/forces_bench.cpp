// Cost of the physics step per stage on a flowing fluid: default settings (without bodies),
// seeded, then 500 steps so the block has collapsed and splashes before anything is timed.
// Each stage's median over the timed steps is reported as a counter in milliseconds.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <vector>

#include "config/config.h"
#include "sph/physics_step.h"
#include "sph/sim_state.h"
#include "sph/steps.h"

namespace {

PhysConfig default_phys(int32_t count) {
    PhysConfig p = default_phys_config();
    p.count = count;
    p.geom_count = 0;
    p.threads = 1;  // stages are timed on this thread's CPU clock, which sees no other thread
    return p;
}

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

void BM_PhysicsStep(benchmark::State& state) {
    const int32_t count = static_cast<int32_t>(state.range(0));
    const int32_t colours = static_cast<int32_t>(state.range(1));
    const float diffusion = colours == 1 ? 0.002f : 0.0f;
    if (!sim_init_seeded(colours, default_phys(count), diffusion, 20240601u)) {
        state.SkipWithError("the simulation could not be set up");
        return;
    }
    for (int k = 0; k < 500; ++k) {
        physics_step(nullptr);  // geom_count is 0, so this is the fluid alone
    }
    int64_t pairs = 0;
    for (int32_t i = 0; i < sim.count; ++i) {
        pairs += sim.neighbours.neighbour_count[i] > 0 ? sim.neighbours.neighbour_count[i] - 1 : 0;
    }

    // Stages are timed on this thread's CPU clock, so that other work on a shared machine
    // does not count; the benchmark's own time is wall time over whole steps.
    std::vector<double> stage[6];
    for (std::vector<double>& v : stage) {
        v.reserve(max_samples);
    }
    for (auto _ : state) {
        double t[6];
        t[0] = thread_ms();
        compute_cell_keys();
        sort_cell_keys();
        reorder_particles();
        fill_cell_grid();
        t[1] = thread_ms();
        find_neighbours();
        t[2] = thread_ms();
        compute_density_pressure();
        t[3] = thread_ms();
        compute_pair_forces();
        t[4] = thread_ms();
        integrate();
        t[5] = thread_ms();
        benchmark::DoNotOptimize(sim.position);
        if (stage[0].size() < max_samples) {
            for (int k = 0; k < 5; ++k) {
                stage[k].push_back(t[k + 1] - t[k]);
            }
            stage[5].push_back(t[5] - t[0]);
        }
    }
    state.counters["sort_grid_ms"] = median(stage[0]);
    state.counters["neighbours_ms"] = median(stage[1]);
    state.counters["density_ms"] = median(stage[2]);
    state.counters["forces_ms"] = median(stage[3]);
    state.counters["integrate_ms"] = median(stage[4]);
    state.counters["step_cpu_ms"] = median(stage[5]);
    state.counters["pairs_per_particle"] = static_cast<double>(pairs) / count;
    sim_free();
}

// One stage repeated on a frozen state (the step after 500 steps of flow), timed on the thread's
// CPU clock; the minimum is the least disturbed figure on a shared machine.
template <void (*stage_fn)()>
void BM_Stage(benchmark::State& state) {
    const int32_t count = static_cast<int32_t>(state.range(0));
    if (!sim_init_seeded(1, default_phys(count), 0.002f, 20240601u)) {
        state.SkipWithError("the simulation could not be set up");
        return;
    }
    for (int k = 0; k < 500; ++k) {
        physics_step(nullptr);
    }
    compute_cell_keys();
    sort_cell_keys();
    reorder_particles();
    fill_cell_grid();
    find_neighbours();
    compute_density_pressure();
    compute_pair_forces();
    std::vector<double> samples;
    samples.reserve(max_samples);
    double best = 1e300;
    for (auto _ : state) {
        const double t0 = thread_ms();
        stage_fn();
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

}  // namespace

// Arguments: particle count, colour mode (1: the default diffusing colours, 0: none).
BENCHMARK(BM_PhysicsStep)
    ->ArgNames({"count", "colours"})
    ->Args({10000, 1})
    ->Args({10000, 0})
    ->Args({65536, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK(BM_Stage<compute_density_pressure>)->Arg(10000)->Arg(65536)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stage<compute_pair_forces>)->Arg(10000)->Arg(65536)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stage<integrate>)->Arg(10000)->Arg(65536)->Unit(benchmark::kMillisecond);
