#include <cmath>
#include <cstdint>
#include <cstring>

#include "base/float_path.h"
#include "base/workers.h"
#include "sph/row_pipeline.h"
#include "sph/sim_state.h"
#include "sph/steps.h"

#if TARNWELL_SSE2_PATH
#include <emmintrin.h>
#endif

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
// expressions grouped as written below; on several threads rows run in a pipeline that keeps
// that order for every particle (sph/row_pipeline.h). Keeping force[i] and colour[i] in registers
// while i's list is walked changes nothing, because a list names particle i only at entry 0.
namespace {

struct PairInputs {
    const Vec2* __restrict pos;
    const Vec2* __restrict ev;
    const Vec2* __restrict dp;
    Vec2* __restrict force;
    Color3* __restrict color;
    const NeighbourEntry* __restrict entries;
    const uint16_t* __restrict counts;
    const uint32_t* __restrict first;
    float h;
    float vc;
    float diffusion_rate;
};

PairInputs gather_inputs(float diffusion_rate) {
    return PairInputs{sim.position,
                      sim.velocity_eval,
                      sim.density_pressure,
                      sim.force,
                      sim.color,
                      sim.neighbours.entries,
                      sim.neighbours.neighbour_count,
                      sim.neighbours.first_entry,
                      sim.smooth_radius,
                      sim.viscosity_coef,
                      diffusion_rate};
}

#if TARNWELL_SSE2_PATH

// Four pairs at a time: the per-pair values (r, the pressure and viscosity factors, the two
// accelerations and the colour rate) are independent of each other and are computed in the
// four lanes of SSE registers, where every operation rounds exactly as its scalar form does.
// The accumulation into force and colour then runs pair by pair in list order. Where fewer
// than four pairs remain, the spare lanes repeat the last pair and their results are dropped.

inline __m128 load_vec2(const Vec2* p) {
    return _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(p));
}

inline void store_vec2(Vec2* p, __m128 v) {
    _mm_storel_pi(reinterpret_cast<__m64*>(p), v);
}

// (x0, x1, x2, x3) and (y0, y1, y2, y3) from four Vec2.
inline void load_soa(const Vec2* __restrict base, const uint32_t j[4], __m128* xs, __m128* ys) {
    const __m128 q01 =
        _mm_loadh_pi(load_vec2(base + j[0]), reinterpret_cast<const __m64*>(base + j[1]));
    const __m128 q23 =
        _mm_loadh_pi(load_vec2(base + j[2]), reinterpret_cast<const __m64*>(base + j[3]));
    *xs = _mm_shuffle_ps(q01, q23, _MM_SHUFFLE(2, 0, 2, 0));
    *ys = _mm_shuffle_ps(q01, q23, _MM_SHUFFLE(3, 1, 3, 1));
}

inline __m128 load_color(const Color3* c) {
    return _mm_movelh_ps(load_vec2(reinterpret_cast<const Vec2*>(c)), _mm_load_ss(&c->b));
}

inline void store_color(Color3* c, __m128 v) {
    store_vec2(reinterpret_cast<Vec2*>(c), v);
    _mm_store_ss(&c->b, _mm_movehl_ps(v, v));
}

template <bool diffuse>
inline void accumulate(const PairInputs& in, uint32_t j, __m128 f, __m128 kd, __m128* fi,
                       __m128* ci) {
    *fi = _mm_add_ps(*fi, f);
    store_vec2(in.force + j, _mm_sub_ps(load_vec2(in.force + j), f));
    if (diffuse) {
        const __m128 cj = load_color(in.color + j);
        const __m128 delta = _mm_mul_ps(_mm_sub_ps(*ci, cj), kd);
        *ci = _mm_sub_ps(*ci, delta);
        store_color(in.color + j, _mm_add_ps(cj, delta));
    }
}

// The lists of particles end-1 down to begin.
template <bool diffuse>
inline void pair_forces_range(const PairInputs& in, int32_t begin, int32_t end) {
    const __m128 h = _mm_set1_ps(in.h);
    const __m128 vc = _mm_set1_ps(in.vc);
    const __m128 rate = _mm_set1_ps(in.diffusion_rate);
    const __m128 zero = _mm_setzero_ps();

    for (int32_t i = end - 1; i >= begin; --i) {
        const uint32_t c = in.counts[i];
        if (c <= 1) {
            continue;
        }
        const NeighbourEntry* __restrict const list = in.entries + in.first[i];
        const __m128 xi = _mm_set1_ps(in.pos[i].x);
        const __m128 yi = _mm_set1_ps(in.pos[i].y);
        const __m128 exi = _mm_set1_ps(in.ev[i].x);
        const __m128 eyi = _mm_set1_ps(in.ev[i].y);
        const __m128 inv_rho_i = _mm_set1_ps(in.dp[i].x);
        const __m128 pi = _mm_set1_ps(in.dp[i].y);
        __m128 fi = load_vec2(in.force + i);
        __m128 ci = diffuse ? load_color(in.color + i) : zero;

        for (uint32_t k = 1; k < c; k += 4) {
            const uint32_t last = c - 1;
            const NeighbourEntry& e0 = list[k];
            const NeighbourEntry& e1 = list[k + 1 <= last ? k + 1 : last];
            const NeighbourEntry& e2 = list[k + 2 <= last ? k + 2 : last];
            const NeighbourEntry& e3 = list[k + 3 <= last ? k + 3 : last];
            const uint32_t j[4] = {e0.index, e1.index, e2.index, e3.index};

            const __m128 r =
                _mm_sqrt_ps(_mm_setr_ps(e0.dist_sq, e1.dist_sq, e2.dist_sq, e3.dist_sq));
            const __m128 hr = _mm_sub_ps(h, r);
            __m128 inv_rho_j, pj, xj, yj, exj, eyj;
            load_soa(in.dp, j, &inv_rho_j, &pj);
            load_soa(in.pos, j, &xj, &yj);
            load_soa(in.ev, j, &exj, &eyj);

            // a = ((P_j + P_i) / r) (h - r), taken as 0 for coincident particles (r = 0),
            // which have no direction to push along; the division's inf there is masked off.
            const __m128 a = _mm_and_ps(_mm_mul_ps(_mm_div_ps(_mm_add_ps(pj, pi), r), hr),
                                        _mm_cmpgt_ps(r, zero));
            const __m128 w = _mm_mul_ps(_mm_mul_ps(inv_rho_j, inv_rho_i), hr);
            const __m128 fx = _mm_mul_ps(
                _mm_add_ps(_mm_mul_ps(_mm_sub_ps(xi, xj), a), _mm_mul_ps(_mm_sub_ps(exj, exi), vc)),
                w);
            const __m128 fy = _mm_mul_ps(
                _mm_add_ps(_mm_mul_ps(_mm_sub_ps(yi, yj), a), _mm_mul_ps(_mm_sub_ps(eyj, eyi), vc)),
                w);
            const __m128 kd = diffuse ? _mm_mul_ps(hr, rate) : zero;

            // (fx, fy) per pair, in the low two lanes.
            const __m128 f01 = _mm_unpacklo_ps(fx, fy);
            const __m128 f23 = _mm_unpackhi_ps(fx, fy);
            accumulate<diffuse>(in, j[0], f01, _mm_shuffle_ps(kd, kd, _MM_SHUFFLE(0, 0, 0, 0)), &fi,
                                &ci);
            if (k + 1 > last) {
                break;
            }
            accumulate<diffuse>(in, j[1], _mm_movehl_ps(f01, f01),
                                _mm_shuffle_ps(kd, kd, _MM_SHUFFLE(1, 1, 1, 1)), &fi, &ci);
            if (k + 2 > last) {
                break;
            }
            accumulate<diffuse>(in, j[2], f23, _mm_shuffle_ps(kd, kd, _MM_SHUFFLE(2, 2, 2, 2)), &fi,
                                &ci);
            if (k + 3 > last) {
                break;
            }
            accumulate<diffuse>(in, j[3], _mm_movehl_ps(f23, f23),
                                _mm_shuffle_ps(kd, kd, _MM_SHUFFLE(3, 3, 3, 3)), &fi, &ci);
        }
        store_vec2(in.force + i, fi);
        if (diffuse) {
            store_color(in.color + i, ci);
        }
    }
}

#else // the x87 and other non-SSE builds: the same arithmetic, one pair at a time

// The lists of particles end-1 down to begin.
template <bool diffuse>
inline void pair_forces_range(const PairInputs& in, int32_t begin, int32_t end) {
    const float h = in.h;
    const float vc = in.vc;
    for (int32_t i = end - 1; i >= begin; --i) {
        const uint32_t c = in.counts[i];
        if (c <= 1) {
            continue;
        }
        const NeighbourEntry* __restrict const list = in.entries + in.first[i];
        const float xi = in.pos[i].x;
        const float yi = in.pos[i].y;
        const float exi = in.ev[i].x;
        const float eyi = in.ev[i].y;
        const float inv_rho_i = in.dp[i].x;
        const float pi = in.dp[i].y;
        float fxi = in.force[i].x;
        float fyi = in.force[i].y;
        Color3 ci = diffuse ? in.color[i] : Color3{0.0f, 0.0f, 0.0f};
        for (uint32_t k = 1; k < c; ++k) {
            const uint32_t j = list[k].index;
            const float r = std::sqrt(list[k].dist_sq);
            const float hr = h - r;
            // Coincident particles have no direction to push along: only viscosity acts.
            const float a = r > 0.0f ? ((in.dp[j].y + pi) / r) * hr : 0.0f;
            const float w = (in.dp[j].x * inv_rho_i) * hr;
            const float fx = ((xi - in.pos[j].x) * a + (in.ev[j].x - exi) * vc) * w;
            const float fy = ((yi - in.pos[j].y) * a + (in.ev[j].y - eyi) * vc) * w;
            fxi += fx;
            in.force[j].x -= fx;
            fyi += fy;
            in.force[j].y -= fy;
            if (diffuse) {
                Color3& cj = in.color[j];
                const float kd = hr * in.diffusion_rate;
                const float dr = (ci.r - cj.r) * kd;
                const float dg = (ci.g - cj.g) * kd;
                const float db = (ci.b - cj.b) * kd;
                ci.r -= dr;
                ci.g -= dg;
                ci.b -= db;
                cj.r += dr;
                cj.g += dg;
                cj.b += db;
            }
        }
        in.force[i].x = fxi;
        in.force[i].y = fyi;
        if (diffuse) {
            in.color[i] = ci;
        }
    }
}

#endif

// The lists of particles end-1 down to begin, with or without colour exchange.
ONE_BODY void walk_lists(int32_t begin, int32_t end) {
    // Fraction of the colour difference exchanged per unit of (h - r), per step.
    const float diffusion_rate = sim.point_diffusion / sim.smooth_radius;
    const PairInputs in = gather_inputs(diffusion_rate);
    if (diffusion_rate != 0.0f && sim.color != nullptr) {
        pair_forces_range<true>(in, begin, end);
    } else {
        pair_forces_range<false>(in, begin, end);
    }
}

} // namespace

void compute_pair_forces() {
    const int32_t n = sim.count;
    if (n <= 0) {
        return;
    }
    zero_in_lanes(sim.force, n);
    // Every list, in the order of the single-threaded walk (sph/row_pipeline.h).
    const int pipelined = pipeline_lanes();
    if (pipelined > 1) {
        visit_rows_pipelined(pipelined, [](int32_t begin, int32_t end) { walk_lists(begin, end); });
    } else {
        walk_lists(0, n);
    }
}
