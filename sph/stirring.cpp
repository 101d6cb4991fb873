#include <cmath>
#include <cstdint>

#include "base/workers.h"
#include "sph/sim_state.h"
#include "sph/steps.h"

// Mouse stirring: every particle strictly within R = h * mouse_radius of the pointer gets a
// velocity change along the line to the pointer of magnitude mouse_force * (R - d) / 100,
// largest next to the pointer and zero at R; sign +1 pulls, -1 pushes. It is an impulse per
// frame (independent of the time step) and goes to velocity and velocity_eval alike.
// A particle exactly at the pointer has no direction and is left alone.
namespace {

// Particles begin .. end-1.
ONE_BODY void stir_range(int32_t begin, int32_t end, float mx, float my, float sign) {
    Vec2* __restrict const pos = sim.position;
    Vec2* __restrict const vel = sim.velocity;
    Vec2* __restrict const ev = sim.velocity_eval;
    const float radius = sim.smooth_radius * sim.mouse_radius;
    const float radius_sq = radius * radius;
    const float strength = sim.mouse_force;

    for (int32_t i = begin; i < end; ++i) {
        const float dx = mx - pos[i].x;
        const float dy = my - pos[i].y;
        const float d_sq = dy * dy + dx * dx;
        if (d_sq < radius_sq && d_sq > 0.0f) {
            const float d = std::sqrt(d_sq);
            const float k = ((radius - d) * strength * sign) / (d * 100.0f);
            const float kx = k * dx;
            const float ky = k * dy;
            vel[i].x += kx;
            vel[i].y += ky;
            ev[i].x += kx;
            ev[i].y += ky;
        }
    }
}

} // namespace

void apply_mouse_force(float mx, float my, float sign) {
    const int32_t n = sim.count;
    run_ranges(n, [&](int32_t begin, int32_t end) { stir_range(begin, end, mx, my, sign); });
}
