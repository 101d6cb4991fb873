#include <cstdint>
#include <cstring>

#include "base/workers.h"
#include "sph/sim_state.h"
#include "sph/steps.h"

// One leapfrog-style step per particle. The walls at h and field_size on both axes are springs
// on the penetration depth (ext_stiff, acceleration per unit length, no damping of their own;
// the tests are strict, so a particle exactly on a wall feels nothing). The new velocity moves
// the particle, and the mean of the old and new velocity is kept in velocity_eval for the
// viscosity and the stirring of the next step. Damping scales the whole new velocity.
//
// The step also watches for a blow-up: it reads back the bits of every position and velocity it
// has just stored (stored, so the x87 build judges the rounded float, not a wider register) and
// sets sim.blown_up when one of them is infinite or NaN. A float is non-finite exactly when its
// eight exponent bits are all ones; adding one to that field then carries into the sign bit, so
// OR-ing (bits & exponent) + exponent_one over all values and testing bit 31 once at the end
// costs three integer operations per value and no branch. Nothing of the arithmetic above
// changes, so the results stay bit for bit what they were.
namespace {
constexpr uint32_t exponent_bits = 0x7f800000u;
constexpr uint32_t exponent_one = 0x00800000u;

// Each float is read back on its own: one 8-byte load of a Vec2 just stored as two floats
// cannot be forwarded from the stores and stalls the loop.
inline uint32_t overflow_probe(const float& stored) {
    uint32_t bits;
    std::memcpy(&bits, &stored, sizeof bits);
    return (bits & exponent_bits) + exponent_one;
}

// Particles end-1 down to begin; returns the probe bits of the values stored.
ONE_BODY uint32_t integrate_range(int32_t begin, int32_t end) {
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

    uint32_t probe = 0;
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
        probe |= overflow_probe(vel[i].x) | overflow_probe(vel[i].y) | overflow_probe(pos[i].x) |
                 overflow_probe(pos[i].y);
    }
    return probe;
}

} // namespace

void integrate() {
    const int32_t n = sim.count;
    // Lanes only ever raise the flag, so a relaxed atomic store is all they need to share.
    run_ranges(n, [](int32_t begin, int32_t end) {
        if ((integrate_range(begin, end) & 0x80000000u) != 0)
            __atomic_store_n(&sim.blown_up, true, __ATOMIC_RELAXED);
    });
}
