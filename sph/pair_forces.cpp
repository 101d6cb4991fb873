#include <cmath>
#include <cstdint>
#include <cstring>

#include "sph/sim_state.h"
#include "sph/steps.h"

// Symmetric SPH pair accelerations. For a pair (i, j) at distance r < h, particle i gains
//   pressure:  (P_i + P_j) (h - r)^2 (x_i - x_j) / (r rho_i rho_j)
//   viscosity: viscosity_coef (h - r) (e_j - e_i) / (rho_i rho_j)      (e = velocity_eval)
// and j gains exactly the opposite, so momentum is conserved pair by pair. P already carries
// stiff * mass * 45 / (2 pi h^6) from the density step, so the sum needs no further constants.
//
// In colour mode 1 each pair also moves point_diffusion * (1 - r/h) of its colour difference
// from the higher to the lower value, channel by channel, one pair after the other.
//
// Every result is rounded in one fixed order: i from N-1 down, entries in list order, the
// expressions grouped as written below. Keeping force[i] and colour[i] in registers while i's
// list is walked changes nothing, because a list names particle i only at entry 0.
namespace {

template <bool diffuse>
void pair_forces_all(float diffusion_rate) {
    const int32_t n = sim.count;
    const Vec2* __restrict const pos = sim.position;
    const Vec2* __restrict const ev = sim.velocity_eval;
    const Vec2* __restrict const dp = sim.density_pressure;
    Vec2* __restrict const force = sim.force;
    Color3* __restrict const color = sim.color;
    const NeighbourEntry* __restrict const entries = sim.neighbours.entries;
    const uint16_t* __restrict const counts = sim.neighbours.neighbour_count;
    const uint32_t* __restrict const first = sim.neighbours.first_entry;
    const float h = sim.smooth_radius;
    const float vc = sim.viscosity_coef;

    for (int32_t i = n - 1; i >= 0; --i) {
        const uint32_t c = counts[i];
        if (c <= 1) {
            continue;
        }
        const NeighbourEntry* __restrict const list = entries + first[i];
        const float xi = pos[i].x;
        const float yi = pos[i].y;
        const float exi = ev[i].x;
        const float eyi = ev[i].y;
        const float inv_rho_i = dp[i].x;
        const float pi = dp[i].y;
        float fxi = force[i].x;
        float fyi = force[i].y;
        float cr = 0.0f;
        float cg = 0.0f;
        float cb = 0.0f;
        if (diffuse) {
            cr = color[i].r;
            cg = color[i].g;
            cb = color[i].b;
        }
        for (uint32_t k = 1; k < c; ++k) {
            const uint32_t j = list[k].index;
            const float r = std::sqrt(list[k].dist_sq);
            const float hr = h - r;
            // Coincident particles have no direction to push along: only viscosity acts.
            const float a = r > 0.0f ? ((dp[j].y + pi) / r) * hr : 0.0f;
            const float w = (dp[j].x * inv_rho_i) * hr;
            const float fx = ((xi - pos[j].x) * a + (ev[j].x - exi) * vc) * w;
            const float fy = ((yi - pos[j].y) * a + (ev[j].y - eyi) * vc) * w;
            fxi += fx;
            force[j].x -= fx;
            fyi += fy;
            force[j].y -= fy;
            if (diffuse) {
                const float kd = hr * diffusion_rate;
                const float dr = (cr - color[j].r) * kd;
                const float dg = (cg - color[j].g) * kd;
                const float db = (cb - color[j].b) * kd;
                cr -= dr;
                cg -= dg;
                cb -= db;
                color[j].r += dr;
                color[j].g += dg;
                color[j].b += db;
            }
        }
        force[i].x = fxi;
        force[i].y = fyi;
        if (diffuse) {
            color[i] = Color3{cr, cg, cb};
        }
    }
}

}  // namespace

void compute_pair_forces() {
    const int32_t n = sim.count;
    if (n <= 0) {
        return;
    }
    std::memset(static_cast<void*>(sim.force), 0, sizeof(Vec2) * static_cast<size_t>(n));
    // Fraction of the colour difference exchanged per unit of (h - r), per step.
    const float diffusion_rate = sim.point_diffusion / sim.smooth_radius;
    if (diffusion_rate != 0.0f && sim.color != nullptr) {
        pair_forces_all<true>(diffusion_rate);
    } else {
        pair_forces_all<false>(0.0f);
    }
}
