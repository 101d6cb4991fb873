#include "sph/physics_step.h"

#include <chrono>
#include <cstdint>

#include "bodies/bodies.h"
#include "sph/sim_state.h"
#include "sph/steps.h"
#include "base/thread_tuning.h"

namespace {
using Clock = std::chrono::steady_clock;

double ms_between(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}
}  // namespace

void physics_step(StepProfile* profile) {
    const Clock::time_point t0 = Clock::now();
    compute_cell_keys();
    sort_cell_keys();
    reorder_particles();
    fill_cell_grid();
    const Clock::time_point t1 = Clock::now();
    find_neighbours();
    const Clock::time_point t2 = Clock::now();
    compute_density_pressure();
    const Clock::time_point t3 = Clock::now();
    compute_pair_forces();
    const Clock::time_point t4 = Clock::now();
    if (sim.geom_count != 0) {
        apply_fluid_body_contact();
        apply_body_body_contact();
        step_bodies();
        // Checked here rather than inside step_bodies: any extra read there changes how the
        // x87 build keeps the bodies' values in registers, and with it their rounding.
        for (int32_t k = 0; k < sim.geom_count; ++k) {
            const RigidBody& b = sim.bodies[k];
            if (!(stored_finite(b.center.x) && stored_finite(b.center.y) &&
                  stored_finite(b.angle) && stored_finite(b.linear_velocity.x) &&
                  stored_finite(b.linear_velocity.y) && stored_finite(b.angular_velocity)))
                sim.blown_up = true;
        }
    }
    const Clock::time_point t5 = Clock::now();
    integrate();
    const Clock::time_point t6 = Clock::now();
    tune_pool_after_step(ms_between(t0, t6));

    if (profile != nullptr) {
        profile->sort_grid = ms_between(t0, t1);
        profile->neighbours = ms_between(t1, t2);
        profile->density = ms_between(t2, t3);
        profile->forces = ms_between(t3, t4);
        profile->bodies = ms_between(t4, t5);
        profile->integrate = ms_between(t5, t6);
        profile->total = ms_between(t0, t6);
    }
}
