#include "sph/physics_step.h"

#include <chrono>

#include "bodies/bodies.h"
#include "sph/scene_state.h"
#include "sph/sim_state.h"
#include "sph/steps.h"
#include "sph/water.h"

namespace {
using Clock = std::chrono::steady_clock;

double ms_between(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

void sort_and_grid() {
    compute_cell_keys();
    sort_cell_keys();
    reorder_particles();
    fill_cell_grid();
}

void move_bodies() {
    if (sim.geom_count == 0) return;
    apply_fluid_body_contact();
    apply_body_body_contact();
    apply_body_obstacle_contact();
    step_bodies();
    if (!bodies_finite()) sim.blown_up = true;
}
// After the move: drains feed emitters, then the scene's clock (and its moving wall) advances.
void recycle_and_tick() {
    recycle_drained();
    advance_scene_time();
}
} // namespace

const StepStage step_stages[step_stage_count] = {
    {"sort and grid", "sort_grid", sort_and_grid},
    {"neighbours", "neighbours", find_neighbours},
    {"density", "density", compute_density_pressure},
    {"forces", "forces", compute_pair_forces},
    {"bodies", "bodies", move_bodies},
    {"obstacles", "obstacles", apply_scene_forces},
    {"integrate", "integrate", integrate},
    {"emitters", "emitters", recycle_and_tick},
};

void physics_step(StepProfile* profile) {
    if (water.on) {
        water_step(profile);
        return;
    }
    const Clock::time_point start = Clock::now();
    Clock::time_point stage_start = start;
    for (int k = 0; k < step_stage_count; ++k) {
        step_stages[k].run();
        const Clock::time_point stage_end = Clock::now();
        if (profile != nullptr) profile->stage_ms[k] = ms_between(stage_start, stage_end);
        stage_start = stage_end;
    }
    if (profile != nullptr) profile->total = ms_between(start, stage_start);
}
