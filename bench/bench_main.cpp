// Speed of the physics step, of each of its stages and of the iso-line outline, on a fluid that
// is already flowing (500 steps after seeding) in the default box, at each thread count asked
// for with --threads=N[,N...] (wall time: the stages run on several threads).
//
// The simulation is one process-wide record, so a scene is built once and kept while the
// following benchmarks use the same particle count and bodies; the fluid simply keeps flowing,
// which is what the program does frame after frame. Stages are not run in isolation (each needs
// the state the previous one leaves): whole steps are timed and every stage's mean share, read
// from the step's own profile, is reported as a counter in milliseconds, named after the
// stage's key in step_stages (sort_grid_ms, ...). The keys and names in order are also written
// to the results' context ("step_stages", "step_stage_names") for tools/plot_bench.sh.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/thread_tuning.h"
#include "base/workers.h"
#include "config/config.h"
#include "sph/physics_step.h"
#include "sph/sim_state.h"
#include "surface/surface.h"

namespace {

constexpr uint32_t bench_seed = 20240611u;
constexpr int warm_up_steps = 500;

enum class Bodies { two, ten_small };

struct Scene {
    int count = -1;
    Bodies bodies = Bodies::two;
};
Scene current;

// Builds (or keeps) a flowing scene with `count` particles. Colours as in the default
// graph section: gradient with diffusion 0.002.
bool prepare_scene(benchmark::State& state, int count, Bodies bodies) {
    if (current.count == count && current.bodies == bodies) return true;
    release_surface_grid();
    if (current.count >= 0) sim_free();
    current.count = -1;
    PhysConfig phys = default_phys_config();
    phys.count = count;
    if (bodies == Bodies::ten_small) {
        phys.geom_count = 10;
        phys.geom_w_min = 2.0f;
        phys.geom_w_max = 4.0f;
        phys.geom_h_min = 2.0f;
        phys.geom_h_max = 4.0f;
    }
    if (!sim_init_seeded(1, phys, 0.002f, bench_seed)) {
        state.SkipWithError("sim_init_seeded failed");
        return false;
    }
    StepProfile profile{};
    for (int i = 0; i < warm_up_steps; ++i)
        physics_step(&profile);
    current.count = count;
    current.bodies = bodies;
    return true;
}

void add_stage_counters(benchmark::State& state, const StepProfile& sum, double steps) {
    const double scale = steps > 0.0 ? 1.0 / steps : 0.0;
    for (int k = 0; k < step_stage_count; ++k)
        state.counters[std::string(step_stages[k].key) + "_ms"] = sum.stage_ms[k] * scale;
    state.counters["particles"] = sim.count;
    state.counters["bodies"] = sim.geom_count;
    state.counters["threads"] = worker_threads();
}

// The scene keeps flowing from one thread count to the next: only the pool is replaced. The
// count is the one asked for, so a pool that the program would tune (the scene starts with the
// default threads = 0) is replaced too, and the steps here never call the tuning.
void use_threads(int64_t threads) {
    if (worker_threads() != threads || pool_tuning()) start_workers(static_cast<int>(threads));
}

void run_steps(benchmark::State& state, Bodies bodies) {
    if (!prepare_scene(state, static_cast<int>(state.range(0)), bodies)) return;
    use_threads(state.range(1));
    StepProfile profile{};
    StepProfile sum{};
    double steps = 0.0;
    for (auto _ : state) {
        physics_step(&profile);
        for (int k = 0; k < step_stage_count; ++k)
            sum.stage_ms[k] += profile.stage_ms[k];
        steps += 1.0;
    }
    add_stage_counters(state, sum, steps);
}

void BM_physics_step(benchmark::State& state) {
    run_steps(state, Bodies::two);
}
void BM_physics_step_ten_small_bodies(benchmark::State& state) {
    run_steps(state, Bodies::ten_small);
}

void BM_update_surface(benchmark::State& state) {
    if (!prepare_scene(state, static_cast<int>(state.range(0)), Bodies::two)) return;
    use_threads(state.range(1));
    // The lattice of render mode 1 with the default [graph] values.
    if (!create_surface_grid(2.0f, 128, sim.field_size, sim.position, sim.count)) {
        state.SkipWithError("create_surface_grid failed");
        return;
    }
    for (auto _ : state) {
        update_surface();
        benchmark::DoNotOptimize(surface_grid->line_vertex_count);
    }
    state.counters["line_vertices"] = surface_grid->line_vertex_count;
    state.counters["threads"] = worker_threads();
    release_surface_grid();
}

} // namespace

// With --benchmark_repetitions the least disturbed repetition is the figure to compare on a
// shared machine, so it is reported next to the mean and median.
static double min_of(const std::vector<double>& v) {
    return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end());
}

// Thread counts from --threads=N[,N...] (taken out of the arguments before the library reads
// them); by default one thread and one per core.
std::vector<int> thread_counts(int* argc, char** argv) {
    std::vector<int> counts;
    int kept = 1;
    for (int i = 1; i < *argc; ++i) {
        const char* arg = argv[i];
        if (std::strncmp(arg, "--threads=", 10) != 0) {
            argv[kept++] = argv[i];
            continue;
        }
        for (const char* p = arg + 10; *p != '\0';) {
            char* end = nullptr;
            const long n = std::strtol(p, &end, 10);
            if (end == p || n < 1 || n > max_threads || (*end != ',' && *end != '\0')) {
                std::fprintf(stderr,
                             "tarnwell-bench: --threads takes whole numbers from 1 to %d "
                             "separated by commas, got '%s'\n",
                             max_threads, arg + 10);
                std::exit(2);
            }
            counts.push_back(static_cast<int>(n));
            p = *end == ',' ? end + 1 : end;
        }
    }
    *argc = kept;
    if (counts.empty()) {
        counts.push_back(1);
        const int cores = static_cast<int>(std::thread::hardware_concurrency());
        if (cores > 1) counts.push_back(cores);
    }
    return counts;
}

// Benchmarks of other files (stage_bench.cpp) register themselves and run first, each building
// and freeing its own scene; these are grouped by particle count so each scene is warmed up
// once, and run at every thread count on it. Arguments: particles, threads.
int main(int argc, char** argv) {
    const std::vector<int> threads = thread_counts(&argc, argv);
    std::string stage_keys;
    std::string stage_names;
    for (int k = 0; k < step_stage_count; ++k) {
        stage_keys += std::string(k == 0 ? "" : ",") + step_stages[k].key;
        stage_names += std::string(k == 0 ? "" : ",") + step_stages[k].name;
    }
    benchmark::AddCustomContext("step_stages", stage_keys);
    benchmark::AddCustomContext("step_stage_names", stage_names);
    for (int n : {2500, 10000, 40000, 65536}) {
        for (int t : threads) {
            benchmark::RegisterBenchmark("physics_step", BM_physics_step)
                ->Args({n, t})
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime()
                ->ComputeStatistics("min", min_of);
        }
        for (int t : threads) {
            benchmark::RegisterBenchmark("update_surface", BM_update_surface)
                ->Args({n, t})
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime()
                ->ComputeStatistics("min", min_of);
        }
        if (n == 10000) {
            for (int t : threads) {
                benchmark::RegisterBenchmark("physics_step_ten_small_bodies",
                                             BM_physics_step_ten_small_bodies)
                    ->Args({n, t})
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime();
            }
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    release_surface_grid();
    if (current.count >= 0) sim_free();
    return 0;
}
