#include <cstdint>

#include "sph/sim_state.h"
#include "sph/steps.h"
#include "sph/workers.h"

// One leapfrog-style step per particle. The walls at h and field_size on both axes are springs
// on the penetration depth (ext_stiff, acceleration per unit length, no damping of their own;
// the tests are strict, so a particle exactly on a wall feels nothing). The new velocity moves
// the particle, and the mean of the old and new velocity is kept in velocity_eval for the
// viscosity and the stirring of the next step. Damping scales the whole new velocity.
namespace {

// Particles end-1 down to begin.
ONE_BODY void integrate_range(int32_t begin, int32_t end) {
    Vec2* __restrict const pos = sim.position;
    Vec2* __restrict const vel = sim.velocity;
    Vec2* __restrict const ev = sim.velocity_eval;
    const Vec2* __restrict const force = sim.force;
    const float h = sim.smooth_radius;
    const float top = sim.field_size;
    const float ext = sim.ext_stiff;
    const float dt = sim.timestep;
    const float damp = sim.damp;
    const float g = sim.current_gravity;

    for (int32_t i = end - 1; i >= begin; --i) {
        float x = pos[i].x;
        float y = pos[i].y;
        const float vx = vel[i].x;
        const float vy = vel[i].y;

        // Selects rather than adding a zero: ax + 0 would turn an acceleration of -0 into +0.
        float ax = force[i].x;
        ax = x < h ? ax + (h - x) * ext : (x > top ? ax + (top - x) * ext : ax);
        float ay = force[i].y;
        ay = y < h ? ay + (h - y) * ext : (y > top ? ay + (top - y) * ext : ay);

        const float vx_new = (vx + dt * ax) * damp;
        ev[i].x = (vx + vx_new) * 0.5f;
        vel[i].x = vx_new;
        x += dt * vx_new;

        const float vy_new = (vy + dt * (g + ay)) * damp;
        ev[i].y = (vy + vy_new) * 0.5f;
        vel[i].y = vy_new;
        y += dt * vy_new;

        pos[i] = Vec2{x, y};
    }
}

}  // namespace

void integrate() {
    const int32_t n = sim.count;
    run_ranges(n, [](int32_t begin, int32_t end) { integrate_range(begin, end); });
}
