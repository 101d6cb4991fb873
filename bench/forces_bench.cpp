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
    PhysConfig p{};
    p.count = count;
    p.smooth_radius = 0.01f;
    p.mass = 0.0002f;
    p.field_size = 0.8f;
    p.timestep = 0.0015f;
    p.viscosity = 0.4f;
    p.stiff = 2.5f;
    p.rest_density = 600.0f;
    p.gravity = -9.8f;
    p.ext_stiff = 100000.0f;
    p.damp = 0.998f;
    p.geom_count = 0;
    p.geom_vertex_count_min = 4;
    p.geom_vertex_count_max = 10;
    p.geom_w_min = 5.0f;
    p.geom_w_max = 10.0f;
    p.geom_h_min = 5.0f;
    p.geom_h_max = 10.0f;
    p.geom_mass_min = 0.000005f;
    p.geom_mass_max = 0.00002f;
    p.geom_m_inert_min = 8.0f;
    p.geom_m_inert_max = 12.0f;
    p.geom_stiff = 200000.0f;
    p.mouse_radius = 13.0f;
    p.mouse_force = 75.0f;
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
    if (!sim_init_seeded(1, default_phys(count), 0.002f, 20240601u)) {
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

}  // namespace

BENCHMARK(BM_PhysicsStep)->Arg(10000)->Arg(65536)->Unit(benchmark::kMillisecond)->UseRealTime();
