#include <cstdint>
#include <cstring>

#include "base/workers.h"
#include "sph/row_pipeline.h"
#include "sph/sim_state.h"
#include "sph/steps.h"

// Poly6 kernel sums. Each pair is stored once, on the list of its lower index, so one pass over
// the lists adds w to both particles and gives every particle its full symmetric sum. While the
// sums run, density_pressure[i].x holds the raw sum S_i (units of h^6); afterwards it holds
// 1/rho_i and .y the pressure already scaled by pressure_coef, which is what the pair forces use.
//
// The float operations follow one fixed order (i from N-1 down, entries in list order, own term
// first) so the result is reproducible bit for bit; the loops only keep values in registers where
// that cannot change the sequence of roundings. On several threads the walk runs rows in a
// pipeline that keeps that order for every particle (sph/row_pipeline.h).
namespace {

// Kernel sums of the lists of particles end-1 down to begin.
ONE_BODY void sum_lists(int32_t begin, int32_t end) {
    Vec2* __restrict const dp = sim.density_pressure;
    const NeighbourEntry* __restrict const entries = sim.neighbours.entries;
    const uint16_t* __restrict const counts = sim.neighbours.neighbour_count;
    const uint32_t* __restrict const first = sim.neighbours.first_entry;

    const float h = sim.smooth_radius;
    const float h2_wide = h * h;
    const float h2 = as_stored(h2_wide);
    const float h6 = as_stored((h2_wide * h2_wide) * h2_wide); // own contribution (h^2 - 0)^3

    for (int32_t i = end - 1; i >= begin; --i) {
        // S_i lives in a register for the whole list: a list never names its own particle past
        // entry 0, so no store below can touch it.
        float s = dp[i].x + h6;
        const uint32_t c = counts[i];
        if (c > 1) {
            const NeighbourEntry* __restrict const list = entries + first[i];
            for (uint32_t k = 1; k < c; ++k) {
                const float d = h2 - list[k].dist_sq;
                const float w = (d * d) * d;
                s += w;
                dp[list[k].index].x += w;
            }
        }
        dp[i].x = s;
    }
}

// The sums of particles in no bucket, which the rows do not visit: they have no list and
// stand in none, so their sum is their own term.
ONE_BODY void sum_unlisted(int32_t begin, int32_t end) {
    Vec2* __restrict const dp = sim.density_pressure;
    const uint16_t* __restrict const counts = sim.neighbours.neighbour_count;
    const float h = sim.smooth_radius;
    const float h2 = h * h;
    const float h6 = as_stored((h2 * h2) * h2);
    for (int32_t i = end - 1; i >= begin; --i) {
        if (counts[i] == 0) {
            dp[i].x = dp[i].x + h6;
        }
    }
}

// Densities, pressures and (mode 2) colours of particles end-1 down to begin, after all sums.
ONE_BODY void finish_range(int32_t begin, int32_t end) {
    Vec2* __restrict const dp = sim.density_pressure;
    const float h = sim.smooth_radius;
    const float h2 = h * h;
    const float h6 = as_stored((h2 * h2) * h2);
    const float poly6 = sim.poly6_coef;
    const float rest = sim.rest_density;
    const float pcoef = sim.pressure_coef;
    if (sim.point_colors == 2) {
        // Colour ramp over t = S / (6 h^6): blue -> grey -> yellow up to t = 1, then through
        // orange to red at t = 3 and above. t is at least 1/6 (the own term).
        Color3* __restrict const color = sim.color;
        const float six_h6 = h6 * 6.0f;
        for (int32_t i = end - 1; i >= begin; --i) {
            const float t = dp[i].x / six_h6;
            if (!(t > 1.0f)) { // a NaN sum takes this branch too
                color[i] = Color3{t, t, 1.0f - t};
            } else {
                float u = (t - 1.0f) * 0.5f;
                if (u > 1.0f) {
                    u = 1.0f;
                }
                color[i] = Color3{1.0f, 1.0f - u, 0.0f};
            }
        }
    }
    for (int32_t i = end - 1; i >= begin; --i) {
        const float rho = poly6 * dp[i].x;
        const float pressure = (rho - rest) * pcoef;
        dp[i].x = 1.0f / rho;
        dp[i].y = pressure;
    }
}

} // namespace

void compute_density_pressure() {
    const int32_t n = sim.count;
    if (n <= 0) {
        return;
    }
    zero_in_lanes(sim.density_pressure, n);
    const int pipelined = pipeline_lanes();
    if (pipelined > 1) {
        visit_rows_pipelined(pipelined, [](int32_t begin, int32_t end) { sum_lists(begin, end); });
        run_ranges(n, [](int32_t begin, int32_t end) { sum_unlisted(begin, end); });
    } else {
        sum_lists(0, n);
    }
    run_ranges(n, [](int32_t begin, int32_t end) { finish_range(begin, end); });
}
