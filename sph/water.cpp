#include "sph/water.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/colour_map.h"
#include "base/float_path.h"
#include "bodies/bodies.h"
#include "bodies/world_vertices.h"
#include "sph/scene_state.h"
#include "sph/sim_state.h"
#include "sph/steps.h"

#if TARNWELL_SSE2_PATH
#include <emmintrin.h>
#endif

WaterState water;

namespace {

using Clock = std::chrono::steady_clock;
constexpr float pi = 3.14159265358979f;
constexpr int32_t boundary_capacity = 65536;

// The 2D cubic spline (Monaghan; normalised as in Koschier et al., "Smoothed Particle
// Hydrodynamics Techniques for the Physics Based Simulation of Fluids and Solids", 2019) with
// support radius h: W = sigma (6 (q^3 - q^2) + 1) for q = r/h <= 1/2, sigma 2 (1 - q)^3 up to 1,
// sigma = 40 / (7 pi h^2), so that its integral over the plane is 1.
inline float sigma(float h) {
    return 40.0f / (7.0f * pi * h * h);
}

inline float kernel(float r, float h, float s) {
    const float q = r / h;
    if (q >= 1.0f) return 0.0f;
    if (q <= 0.5f) return s * (6.0f * (q * q * q - q * q) + 1.0f);
    const float t = 1.0f - q;
    return s * 2.0f * t * t * t;
}

// dW/dr: sigma/h (18 q^2 - 12 q) up to q = 1/2, -6 sigma/h (1 - q)^2 beyond.
inline float slope(float r, float h, float s) {
    const float q = r / h;
    if (q >= 1.0f) return 0.0f;
    if (q <= 0.5f) return s / h * (18.0f * q * q - 12.0f * q);
    const float t = 1.0f - q;
    return -6.0f * s / h * t * t;
}

// W and (dW/dr) / r of a pair at squared distance r2, from one branch: the pair passes need both,
// and the gradient is then (x_i - x_j) times the second. Up to q = 1/2 the second is
// sigma/h^2 (18 q - 12), with no division by r; beyond it -6 sigma/h^2 (1 - q)^2 / q.
struct KernelTerms {
    float w;
    float f;
};
struct KernelConstants {
    float h2;
    float inv_h;
    float s;    // sigma
    float s_h2; // sigma / h^2
};
inline KernelConstants kernel_constants() {
    const float h = sim.smooth_radius;
    const float s = sigma(h);
    return KernelConstants{h * h, 1.0f / h, s, s / (h * h)};
}
// Both halves are computed and one is chosen: which half a pair falls in is a coin toss that a
// branch would mispredict half the time.
inline KernelTerms kernel_terms(float r2, const KernelConstants& k) {
    const float q = std::sqrt(r2) * k.inv_h;
    const float t = 1.0f - q;
    const float near_w = k.s * (6.0f * (q * q * q - q * q) + 1.0f);
    const float near_f = k.s_h2 * (18.0f * q - 12.0f);
    const float far_w = k.s * 2.0f * t * t * t;
    const float far_f = -6.0f * k.s_h2 * t * t / (q > 0.5f ? q : 1.0f);
    const bool inside = r2 < k.h2;
    const bool near = q <= 0.5f;
    return KernelTerms{inside ? (near ? near_w : far_w) : 0.0f,
                       inside ? (near ? near_f : far_f) : 0.0f};
}

// The volume-weighted kernel value and gradient of pairs (i, list[k]) for k from 0 to c - 1,
// into w[k] and g[k], and their sums: the costly
// part of the density pass (a square root and a division a pair), four pairs at once. The sums
// are kept in four lanes, lane l taking pairs l, l + 4, ..., and added up as
// (l0 + l1) + (l2 + l3); where fewer than four pairs remain, the spare lanes repeat the last
// pair and add zero. The SSE2 path rounds every lane exactly as the portable path does.
struct PairSums {
    float ratio; // sum of V W
    float sq;    // sum of |V grad W|^2
    Vec2 grad;   // sum of V grad W
};
#if TARNWELL_SSE2_PATH
inline __m128 select_ps(__m128 mask, __m128 a, __m128 b) {
    return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
}

// (l0 + l1) + (l2 + l3), in registers.
inline float lane_sum(__m128 v) {
    const __m128 pairs = _mm_add_ps(v, _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtss_f32(_mm_add_ss(pairs, _mm_movehl_ps(pairs, pairs)));
}

PairSums pair_terms(Vec2 xi, const Vec2* x, const uint16_t* list, int c, const KernelConstants& kc,
                    float v, float* w, Vec2* g) {
    const __m128 xix = _mm_set1_ps(xi.x);
    const __m128 xiy = _mm_set1_ps(xi.y);
    const __m128 inv_h = _mm_set1_ps(kc.inv_h);
    const __m128 h2 = _mm_set1_ps(kc.h2);
    const __m128 s = _mm_set1_ps(kc.s);
    const __m128 s_h2 = _mm_set1_ps(kc.s_h2);
    const __m128 vv = _mm_set1_ps(v);
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 half = _mm_set1_ps(0.5f);
    const __m128i lane = _mm_set_epi32(3, 2, 1, 0);
    __m128 sum_w = _mm_setzero_ps();
    __m128 sum_sq = _mm_setzero_ps();
    __m128 sum_x = _mm_setzero_ps();
    __m128 sum_y = _mm_setzero_ps();
    for (int k = 0; k < c; k += 4) {
        // Past the list's end the spare lanes read what its room holds, indices of particles
        // all the same, whose terms the mask drops.
        const Vec2* p[4];
        for (int l = 0; l < 4; ++l)
            p[l] = x + list[k + l];
        // (x0, y0, x1, y1) and (x2, y2, x3, y3), then split into x and y lanes.
        const __m128 p01 =
            _mm_loadh_pi(_mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(p[0]))),
                         reinterpret_cast<const __m64*>(p[1]));
        const __m128 p23 =
            _mm_loadh_pi(_mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(p[2]))),
                         reinterpret_cast<const __m64*>(p[3]));
        const __m128 dx = _mm_sub_ps(xix, _mm_shuffle_ps(p01, p23, _MM_SHUFFLE(2, 0, 2, 0)));
        const __m128 dy = _mm_sub_ps(xiy, _mm_shuffle_ps(p01, p23, _MM_SHUFFLE(3, 1, 3, 1)));
        const __m128 r2 = _mm_add_ps(_mm_mul_ps(dx, dx), _mm_mul_ps(dy, dy));
        const __m128 q = _mm_mul_ps(_mm_sqrt_ps(r2), inv_h);
        const __m128 t = _mm_sub_ps(one, q);
        const __m128 qq = _mm_mul_ps(q, q);
        const __m128 near_w = _mm_mul_ps(
            s, _mm_add_ps(_mm_mul_ps(_mm_set1_ps(6.0f), _mm_sub_ps(_mm_mul_ps(qq, q), qq)), one));
        const __m128 near_f =
            _mm_mul_ps(s_h2, _mm_sub_ps(_mm_mul_ps(_mm_set1_ps(18.0f), q), _mm_set1_ps(12.0f)));
        const __m128 far_w =
            _mm_mul_ps(_mm_mul_ps(_mm_mul_ps(_mm_mul_ps(s, _mm_set1_ps(2.0f)), t), t), t);
        const __m128 beyond = _mm_cmpgt_ps(q, half);
        const __m128 far_f =
            _mm_div_ps(_mm_mul_ps(_mm_mul_ps(_mm_mul_ps(_mm_set1_ps(-6.0f), s_h2), t), t),
                       select_ps(beyond, q, one));
        // Within h and one of the list's pairs (not a spare lane).
        const __m128 inside = _mm_and_ps(
            _mm_cmplt_ps(r2, h2), _mm_castsi128_ps(_mm_cmplt_epi32(
                                      _mm_add_epi32(lane, _mm_set1_epi32(k)), _mm_set1_epi32(c))));
        const __m128 wk = _mm_and_ps(inside, select_ps(beyond, far_w, near_w));
        const __m128 fk = _mm_and_ps(inside, select_ps(beyond, far_f, near_f));
        const __m128 f = _mm_mul_ps(vv, fk);
        const __m128 ww = _mm_mul_ps(vv, wk);
        const __m128 gx = _mm_mul_ps(f, dx);
        const __m128 gy = _mm_mul_ps(f, dy);
        // Each list has room up to the next multiple of four, which the spare lanes fill.
        _mm_storeu_ps(w + k, ww);
        _mm_storeu_ps(reinterpret_cast<float*>(g + k), _mm_unpacklo_ps(gx, gy));
        _mm_storeu_ps(reinterpret_cast<float*>(g + k + 2), _mm_unpackhi_ps(gx, gy));
        sum_w = _mm_add_ps(sum_w, ww);
        sum_sq = _mm_add_ps(sum_sq, _mm_add_ps(_mm_mul_ps(gx, gx), _mm_mul_ps(gy, gy)));
        sum_x = _mm_add_ps(sum_x, gx);
        sum_y = _mm_add_ps(sum_y, gy);
    }
    return PairSums{lane_sum(sum_w), lane_sum(sum_sq), Vec2{lane_sum(sum_x), lane_sum(sum_y)}};
}
#else
PairSums pair_terms(Vec2 xi, const Vec2* x, const uint16_t* list, int c, const KernelConstants& kc,
                    float v, float* w, Vec2* g) {
    float sum_w[4] = {};
    float sum_sq[4] = {};
    float sum_x[4] = {};
    float sum_y[4] = {};
    for (int k = 0; k < c; k += 4) {
        for (int l = 0; l < 4; ++l) {
            const Vec2 xj = x[list[k + l < c ? k + l : c - 1]];
            const Vec2 d{xi.x - xj.x, xi.y - xj.y};
            const KernelTerms t = kernel_terms(d.x * d.x + d.y * d.y, kc);
            const bool pair = k + l < c;
            const float f = v * (pair ? t.f : 0.0f);
            const float wk = v * (pair ? t.w : 0.0f);
            const Vec2 gk{f * d.x, f * d.y};
            if (pair) {
                w[k + l] = wk;
                g[k + l] = gk;
            }
            sum_w[l] += wk;
            sum_sq[l] += gk.x * gk.x + gk.y * gk.y;
            sum_x[l] += gk.x;
            sum_y[l] += gk.y;
        }
    }
    return PairSums{(sum_w[0] + sum_w[1]) + (sum_w[2] + sum_w[3]),
                    (sum_sq[0] + sum_sq[1]) + (sum_sq[2] + sum_sq[3]),
                    Vec2{(sum_x[0] + sum_x[1]) + (sum_x[2] + sum_x[3]),
                         (sum_y[0] + sum_y[1]) + (sum_y[2] + sum_y[3])}};
}
#endif

int32_t cell_of(float v, float inv_h, int32_t per_row) {
    const float line = v * inv_h;
    if (!(line > 0.0f)) return 0;
    if (!(line < static_cast<float>(per_row))) return per_row - 1;
    return static_cast<int32_t>(line);
}

template <typename T> T* alloc_array(int64_t n) {
    return static_cast<T*>(std::calloc(static_cast<size_t>(n > 0 ? n : 1), sizeof(T)));
}

// --- Boundary particles ----------------------------------------------------------------------

// Adds particles every `spacing` along the closed outline `corners` (n corners), owned by body.
void sample_outline(const Vec2* corners, int n, float spacing, int32_t body, int32_t* count) {
    for (int k = 0; k < n; ++k) {
        const Vec2 a = corners[k];
        const Vec2 b = corners[(k + 1) % n];
        const float dx = b.x - a.x;
        const float dy = b.y - a.y;
        const float length = std::sqrt(dx * dx + dy * dy);
        int steps = static_cast<int>(length / spacing + 0.5f);
        if (steps < 1) steps = 1;
        for (int s = 0; s < steps && *count < water.boundary_capacity; ++s) {
            const float t = static_cast<float>(s) / static_cast<float>(steps);
            water.boundary_scratch[(*count)++] =
                BoundaryParticle{Vec2{a.x + t * dx, a.y + t * dy}, 0.0f, body};
        }
    }
}

// Adds particles along the convex outline `corners` moved `inset` inwards (each edge parallel to
// itself): a solid's particles stand half a spacing inside it, as the walls' stand behind the
// walls, so the fluid's own half spacing reaches the outline and a body displaces what its
// outline encloses, no more.
void sample_inset_outline(const Vec2* corners, int n, float inset, float spacing, int32_t body,
                          int32_t* count) {
    constexpr int most = 64;
    if (n < 3 || n > most) {
        sample_outline(corners, n, spacing, body, count);
        return;
    }
    float twice_area = 0.0f;
    for (int k = 0; k < n; ++k) {
        const Vec2 a = corners[k];
        const Vec2 b = corners[(k + 1) % n];
        twice_area += a.x * b.y - b.x * a.y;
    }
    const float turn =
        twice_area >= 0.0f ? 1.0f : -1.0f; // inward is left of a counter-clockwise edge
    Vec2 normal[most];
    for (int k = 0; k < n; ++k) {
        const Vec2 a = corners[k];
        const Vec2 b = corners[(k + 1) % n];
        const float dx = b.x - a.x;
        const float dy = b.y - a.y;
        const float length = std::sqrt(dx * dx + dy * dy);
        normal[k] =
            length > 0.0f ? Vec2{-dy * turn / length, dx * turn / length} : Vec2{0.0f, 0.0f};
    }
    Vec2 moved[most];
    for (int k = 0; k < n; ++k) {
        // Corner k joins edge k - 1 and edge k: it moves along the sum of their normals, as far
        // as keeps both edges `inset` away (inset / cos of half the corner's turn).
        const Vec2 a = normal[(k + n - 1) % n];
        const Vec2 b = normal[k];
        const float along = 1.0f + a.x * b.x + a.y * b.y;
        const float f = along > 0.1f ? inset / along : 0.0f;
        moved[k] = Vec2{corners[k].x + f * (a.x + b.x), corners[k].y + f * (a.y + b.y)};
    }
    sample_outline(moved, n, spacing, body, count);
}

BoundarySource boundary_source() {
    BoundarySource source{scene.piston_side, scene.piston_side != 0 ? scene.piston_wall : 0.0f,
                          scene.obstacle_count, 14695981039346656037ull};
    for (int o = 0; o < scene.obstacle_count; ++o) {
        const RigidBody& obstacle = scene.obstacles[o];
        const int n = stored_vertex_count(obstacle);
        for (int k = 0; k < n; ++k) {
            uint32_t bits[2];
            std::memcpy(bits, &obstacle.world_vertices[k], sizeof bits);
            for (const uint32_t b : bits)
                source.obstacle_hash = (source.obstacle_hash ^ b) * 1099511628211ull;
        }
    }
    return source;
}

bool same_source(const BoundarySource& a, const BoundarySource& b) {
    return a.piston_side == b.piston_side && a.piston_wall == b.piston_wall &&
           a.obstacle_count == b.obstacle_count && a.obstacle_hash == b.obstacle_hash;
}

// Every boundary particle of this step, sorted into cells, with its volume; kept from the last
// sub-step where nothing in it has moved since.
void build_boundary() {
    const BoundarySource source = boundary_source();
    if (sim.geom_count == 0 && water.boundary_kept && same_source(source, water.boundary_source))
        return;
    water.boundary_kept = sim.geom_count == 0;
    water.boundary_source = source;
    const float h = sim.smooth_radius;
    const float top = sim.field_size;
    const float s = water.spacing;
    int32_t count = 0;
    // The walls' particles stand half a spacing behind the walls, where the next row of a
    // lattice that starts half a spacing inside would be.
    const float lo = h - 0.5f * s;
    const float hi = top + 0.5f * s;
    const Vec2 box[4] = {{lo, lo}, {hi, lo}, {hi, hi}, {lo, hi}};
    sample_outline(box, 4, s, -1, &count);
    if (scene.piston_side != 0) {
        const float x = scene.piston_wall - static_cast<float>(scene.piston_side) * 0.5f * s;
        const Vec2 line[2] = {{x, lo}, {x, hi}};
        sample_outline(line, 2, s, -1, &count);
    }
    for (int o = 0; o < scene.obstacle_count; ++o) {
        const RigidBody& obstacle = scene.obstacles[o];
        sample_inset_outline(obstacle.world_vertices, stored_vertex_count(obstacle), 0.5f * s, s,
                             -1, &count);
    }
    for (int j = 0; j < sim.geom_count; ++j) {
        const RigidBody& body = sim.bodies[j];
        sample_inset_outline(body.world_vertices, stored_vertex_count(body), 0.5f * s, s, j,
                             &count);
    }
    water.boundary_count = count;

    // Counting sort by cell, in the order sampled within a cell.
    const int32_t per_row = sim.cells_per_row;
    const int32_t cells = sim.cell_count;
    const float inv_h = 1.0f / h;
    uint32_t* start = water.boundary_start;
    std::memset(start, 0, sizeof(uint32_t) * static_cast<size_t>(cells + 1));
    for (int32_t b = 0; b < count; ++b) {
        const Vec2 p = water.boundary_scratch[b].position;
        ++start[cell_of(p.y, inv_h, per_row) * per_row + cell_of(p.x, inv_h, per_row) + 1];
    }
    for (int32_t c = 0; c < cells; ++c)
        start[c + 1] += start[c];
    for (int32_t b = 0; b < count; ++b) {
        const Vec2 p = water.boundary_scratch[b].position;
        const int32_t c = cell_of(p.y, inv_h, per_row) * per_row + cell_of(p.x, inv_h, per_row);
        water.boundary[start[c]++] = water.boundary_scratch[b];
    }
    for (int32_t c = cells; c > 0; --c)
        start[c] = start[c - 1];
    start[0] = 0;
    // Which cells have boundary particles in reach: most of the fluid has none, and a particle
    // there skips the search.
    uint8_t* near = water.boundary_near_cell;
    std::memset(near, 0, static_cast<size_t>(cells));
    for (int32_t c = 0; c < cells; ++c) {
        if (start[c] == start[c + 1]) continue;
        const int32_t cx = c % per_row;
        const int32_t cy = c / per_row;
        for (int32_t y = cy - 1; y <= cy + 1; ++y) {
            if (y < 0 || y >= per_row) continue;
            for (int32_t x = cx - 1; x <= cx + 1; ++x)
                if (x >= 0 && x < per_row) near[y * per_row + x] = 1;
        }
    }

    // Akinci's volume, 1 / (kernel sum over the boundary particles near it, itself included), so
    // that densely sampled walls do not weigh more than sparse ones; scaled so that a straight
    // wall stands for one more row of the fluid's lattice (volume V where its sum is a straight
    // line's), which gives a particle at rest against it the rest density.
    const float sg = sigma(h);
    const float line_volume = water.volume * water.line_sum;
    for (int32_t b = 0; b < count; ++b) {
        const Vec2 p = water.boundary[b].position;
        const int32_t cx = cell_of(p.x, inv_h, per_row);
        const int32_t cy = cell_of(p.y, inv_h, per_row);
        float sum = 0.0f;
        for (int32_t y = cy - 1; y <= cy + 1; ++y) {
            if (y < 0 || y >= per_row) continue;
            for (int32_t x = cx - 1; x <= cx + 1; ++x) {
                if (x < 0 || x >= per_row) continue;
                const int32_t c = y * per_row + x;
                for (uint32_t k = start[c]; k < start[c + 1]; ++k) {
                    const float dx = p.x - water.boundary[k].position.x;
                    const float dy = p.y - water.boundary[k].position.y;
                    sum += kernel(std::sqrt(dx * dx + dy * dy), h, sg);
                }
            }
        }
        water.boundary[b].volume = sum > 0.0f ? line_volume / sum : 0.0f;
    }
}

// Calls visit(k) for every boundary particle k in the cells around p (in cell order).
template <typename Visit> void for_boundary_near(Vec2 p, const Visit& visit) {
    const float h = sim.smooth_radius;
    const float inv_h = 1.0f / h;
    const int32_t per_row = sim.cells_per_row;
    const int32_t cx = cell_of(p.x, inv_h, per_row);
    const int32_t cy = cell_of(p.y, inv_h, per_row);
    for (int32_t y = cy - 1; y <= cy + 1; ++y) {
        if (y < 0 || y >= per_row) continue;
        for (int32_t x = cx - 1; x <= cx + 1; ++x) {
            if (x < 0 || x >= per_row) continue;
            const int32_t c = y * per_row + x;
            for (uint32_t k = water.boundary_start[c]; k < water.boundary_start[c + 1]; ++k)
                visit(static_cast<int32_t>(k));
        }
    }
}

// Particles a lane of the gather passes takes: lanes are cut finer than the threads, which
// take each other's left-over lanes once their own are done, since the particles beside a wall
// or deep in a pool cost more.
int gather_lanes(int32_t n) {
    const int threads = worker_threads();
    if (threads == 1) return 1;
    const int most = n / 256;
    const int wanted = threads * 4;
    const int lanes = wanted < most ? wanted : most;
    return lanes < 1 ? 1 : (lanes < max_threads ? lanes : max_threads);
}

// Runs body(begin, end) over 0 .. n-1 in gather_lanes(n) parts. Every pass that uses it works
// on each particle alone (reading what earlier passes wrote), so the parts never meet.
template <typename Body> void run_gather(int32_t n, const Body& body) {
    const int lanes = gather_lanes(n);
    run_lanes(lanes, [&](int lane) {
        const IndexRange r = lane_range(lane, lanes, n);
        body(r.begin, r.end);
    });
}

// Each particle's boundary particles within h, found once per sub-step (the boundary stands
// still while the iterations move the fluid by a fraction of a spacing), in cell order; at most
// water_boundary_slots, which a particle meets only where several boundaries crowd together.
void find_boundary_neighbours() {
    const float h2 = sim.smooth_radius * sim.smooth_radius;
    const float inv_h = 1.0f / sim.smooth_radius;
    const int32_t per_row = sim.cells_per_row;
    run_gather(sim.count, [&](int32_t begin, int32_t end) ONE_BODY_LAMBDA {
        for (int32_t i = begin; i < end; ++i) {
            const Vec2 p = sim.position[i];
            int32_t* slots = water.boundary_near + int64_t{i} * water_boundary_slots;
            int n = 0;
            bool by_body = false;
            const int32_t cell =
                cell_of(p.y, inv_h, per_row) * per_row + cell_of(p.x, inv_h, per_row);
            if (water.boundary_near_cell[cell] != 0)
                for_boundary_near(p, [&](int32_t k) {
                    const float dx = p.x - water.boundary[k].position.x;
                    const float dy = p.y - water.boundary[k].position.y;
                    if (dx * dx + dy * dy < h2 && n < water_boundary_slots) {
                        slots[n++] = k;
                        by_body |= water.boundary[k].body >= 0;
                    }
                });
            water.by_body[i] = by_body ? 1 : 0;
            water.boundary_near_count[i] = static_cast<uint8_t>(n);
        }
    });
}

// --- The passes ------------------------------------------------------------------------------
// Each walks particle i's own list and writes particle i only (sph/water_neighbours.cpp), so
// every thread count gives the same bits.

// What an iteration's multipliers take from outside the particle: the warm start's share of the
// pressure before, the Chebyshev weight and whether the iteration opens the sub-step.
struct IterationTerms {
    float warm;
    float omega;
    bool opens;
};

// The constraint's multiplier from particle i's density ratio and denominator. Only compressed
// particles push. Each iteration adds its share of the pressure of the sub-step before (warm
// start); the sub-step's own pressure is the sum of its multipliers. Not beside a body: its
// pressure is what moves the body, and a body that moves between sub-steps leaves the pressure
// it found there out of date.
inline void set_multiplier(int32_t i, float ratio, float den, const IterationTerms& terms) {
    const float warm = terms.warm;
    const bool first = terms.opens;
    const float compressed = ratio > 1.0f ? ratio - 1.0f : 0.0f;
    // Where a particle is far less compressed than a sub-step ago, the fluid around it is
    // draining away, and the pressure that held it up no longer does: pushed on, a column 140
    // smoothing radii deep burst at its base. The carried pressure then falls with the
    // compression once it has halved.
    if (first) water.compressed[i] = compressed;
    const float before = water.compressed_before[i];
    const float now = water.compressed[i];
    const float eased = before > 2.0f * now ? 2.0f * now / before : 1.0f;
    const float carried = water.by_body[i] != 0 ? 0.0f : eased * warm * water.carried[i];
    const float lambda = compressed > 0.0f ? -compressed / den + carried : 0.0f;
    // The warm start carries the plain multipliers' sum: carrying the accelerated ones' (tried
    // with two iterations accelerated) left the dam break more compressed than no acceleration.
    if (first) {
        water.pressure[i] = lambda;
    } else {
        water.pressure[i] += lambda;
    }
    // Only where the particle is compressed now: carried on where it no longer is (tried on the
    // moves), the push of the iteration before left a third of the dam break's particles below
    // 0.9 of rest density a second in, against 7 %.
    const float omega = terms.omega;
    water.lambda[i] = omega != 1.0f && lambda != 0.0f
                          ? omega * lambda + (omega - 1.0f) * water.lambda[i]
                          : lambda;
}

// Particle i's density ratio and multiplier from the fluid's part of its sums and its boundary
// neighbours' terms, taken afresh at p; each boundary neighbour's volume-weighted kernel
// gradient is kept for the projection.
inline void close_sums(int32_t i, Vec2 p, const KernelConstants& kc, const FluidSums& fluid,
                       const IterationTerms& terms) {
    float ratio = fluid.ratio;
    Vec2 grad = fluid.grad;
    const int32_t* slots = water.boundary_near + int64_t{i} * water_boundary_slots;
    Vec2* slot_grad = water.boundary_grad + int64_t{i} * water_boundary_slots;
    for (int k = 0; k < water.boundary_near_count[i]; ++k) {
        const BoundaryParticle& b = water.boundary[slots[k]];
        const float dx = p.x - b.position.x;
        const float dy = p.y - b.position.y;
        const KernelTerms t = kernel_terms(dx * dx + dy * dy, kc);
        const float f = b.volume * t.f;
        const Vec2 g{f * dx, f * dy};
        slot_grad[k] = g;
        ratio += b.volume * t.w;
        grad.x += g.x;
        grad.y += g.y;
    }
    water.ratio[i] = ratio;
    const float den = grad.x * grad.x + grad.y * grad.y + fluid.sq + water.epsilon;
    set_multiplier(i, ratio, den, terms);
}

// Density ratio, the constraint's gradients and its multiplier, taken afresh at the current
// positions (`opens`: in the sub-step's first iteration); each pair's and each boundary
// neighbour's volume-weighted kernel gradient is kept for the projection and the first-order
// iteration that follow.
void constraint_sums(const IterationTerms& terms) {
    const KernelConstants kc = kernel_constants();
    const float v = water.volume;
    const float own = v * kc.s; // the particle's own term, V W(0)
    const Vec2* x = sim.position;
    // Positions move while the sub-step's lists stay: distances are taken afresh.
    run_gather(sim.count, [&](int32_t begin, int32_t end) ONE_BODY_LAMBDA {
        for (int32_t i = begin; i < end; ++i) {
            const uint32_t first = water.near_first[i];
            const Vec2 p = x[i];
            // rho_i / rest_density, grad_i C_i and the sum of |grad_j C_i|^2 over the fluid.
            const PairSums pairs = pair_terms(p, x, water.near + first, water.near_count[i], kc, v,
                                              water.pair_w + first, water.pair_grad + first);
            water.fluid_sums[i] = FluidSums{own + pairs.ratio, pairs.sq, pairs.grad};
            close_sums(i, p, kc, water.fluid_sums[i], terms);
        }
    });
}

// Every other iteration the fluid's part of the density follows the last projection to first
// order, d rho_i = sum_j V grad_i W_ij . (dx_i - dx_j), with the gradients of the iteration
// before, as implicit incompressible SPH predicts densities within a step (Ihmsen et al.,
// "Implicit incompressible SPH", IEEE TVCG 20(3), 2014). The pass then needs no square root or
// division and costs two fifths of a fresh one, and the dam break's front and volume come out
// as with fresh sums every time; three first-order iterations in a row let the front run
// ahead in spray. The boundary's part, few terms but moving bodies among them, is taken afresh.
void linear_sums(const IterationTerms& terms) {
    const KernelConstants kc = kernel_constants();
    const Vec2* x = sim.position;
    const Vec2* moved = water.moved;
    run_gather(sim.count, [&](int32_t begin, int32_t end) ONE_BODY_LAMBDA {
        for (int32_t i = begin; i < end; ++i) {
            const int c = water.near_count[i];
            const uint16_t* list = water.near + water.near_first[i];
            const Vec2* list_grad = water.pair_grad + water.near_first[i];
            FluidSums& fs = water.fluid_sums[i];
            fs.ratio += water_density_change(moved[i], moved, list, list_grad, c);
            close_sums(i, x[i], kc, fs, terms);
        }
    });
}

// Corrections from the multipliers, applied to the positions; the sum of a step's corrections
// is kept in `force` (a displacement until the step turns it into a velocity). Reads no
// position, so each particle moves as soon as its correction is known.
void project() {
    Vec2* x = sim.position;
    const float longest = water_cfl * water.spacing / static_cast<float>(water.iterations);
    const float longest2 = longest * longest;
    const float* lambda = water.lambda;
    run_gather(sim.count, [&](int32_t begin, int32_t end) ONE_BODY_LAMBDA {
        for (int32_t i = begin; i < end; ++i) {
            const int c = water.near_count[i];
            const uint16_t* list = water.near + water.near_first[i];
            const Vec2* list_grad = water.pair_grad + water.near_first[i];
            const float li = lambda[i];
            // The even and the odd pairs in two sums, which do not wait on each other.
            Vec2 even{0.0f, 0.0f};
            Vec2 odd{0.0f, 0.0f};
            int k = 0;
#if TARNWELL_SSE2_PATH
            // Both sums in one register, (even.x, even.y, odd.x, odd.y), two pairs a round: the
            // gradients of pairs k and k + 1 lie side by side as (x, y, x, y) already.
            const __m128 vli = _mm_set1_ps(li);
            __m128 sums = _mm_setzero_ps();
            for (; k + 1 < c; k += 2) {
                const __m128 lj = _mm_unpacklo_ps(_mm_load_ss(lambda + list[k]),
                                                  _mm_load_ss(lambda + list[k + 1]));
                const __m128 f = _mm_add_ps(vli, lj); // (fe, fo, ., .)
                const __m128 g = _mm_loadu_ps(reinterpret_cast<const float*>(list_grad + k));
                sums = _mm_add_ps(sums, _mm_mul_ps(_mm_unpacklo_ps(f, f), g));
            }
            alignas(16) float lanes[4];
            _mm_store_ps(lanes, sums);
            even = Vec2{lanes[0], lanes[1]};
            odd = Vec2{lanes[2], lanes[3]};
#endif
            for (; k + 1 < c; k += 2) {
                const float fe = li + lambda[list[k]];
                const float fo = li + lambda[list[k + 1]];
                even.x += fe * list_grad[k].x;
                even.y += fe * list_grad[k].y;
                odd.x += fo * list_grad[k + 1].x;
                odd.y += fo * list_grad[k + 1].y;
            }
            if (k < c) {
                const float fe = li + lambda[list[k]];
                even.x += fe * list_grad[k].x;
                even.y += fe * list_grad[k].y;
            }
            Vec2 delta{even.x + odd.x, even.y + odd.y};
            if (li != 0.0f) {
                const Vec2* slot_grad = water.boundary_grad + int64_t{i} * water_boundary_slots;
                for (int k = 0; k < water.boundary_near_count[i]; ++k) {
                    delta.x += li * slot_grad[k].x;
                    delta.y += li * slot_grad[k].y;
                }
            }
            delta.x *= water_relaxation;
            delta.y *= water_relaxation;
            // No correction moves a particle further in a sub-step than the flow may (the CFL
            // bound), so that corrections that feed on each other (as the carried pressure
            // once did at the draining base of a deep column) cannot make the fluid burst.
            const float d2 = delta.x * delta.x + delta.y * delta.y;
            if (d2 > longest2) {
                const float scale = longest / std::sqrt(d2);
                delta.x *= scale;
                delta.y *= scale;
            }
            x[i].x += delta.x;
            x[i].y += delta.y;
            water.moved[i] = delta;
            sim.force[i].x += delta.x;
            sim.force[i].y += delta.y;
        }
    });
}

// What the fluid does to the bodies in this iteration: the reaction to each particle's
// correction away from a body's boundary particle, m * correction / dt^2, at that boundary
// particle. One thread, in particle order, so the sums are the same at every thread count.
void push_bodies(float dt) {
    if (sim.geom_count == 0) return;
    const float scale = water_relaxation * water.particle_mass / (dt * dt);
    for (int32_t i = 0; i < sim.count; ++i) {
        const float li = water.lambda[i];
        if (li == 0.0f) continue;
        const int32_t* slots = water.boundary_near + int64_t{i} * water_boundary_slots;
        const Vec2* slot_grad = water.boundary_grad + int64_t{i} * water_boundary_slots;
        for (int k = 0; k < water.boundary_near_count[i]; ++k) {
            const BoundaryParticle& b = water.boundary[slots[k]];
            if (b.body < 0) continue;
            const Vec2 f{-scale * li * slot_grad[k].x, -scale * li * slot_grad[k].y};
            const RigidBody& body = sim.bodies[b.body];
            water.body_force[b.body].x += f.x;
            water.body_force[b.body].y += f.y;
            const float rx = b.position.x - body.center.x;
            const float ry = b.position.y - body.center.y;
            water.body_torque[b.body] += rx * f.y - ry * f.x;
        }
    }
}

// Viscosity (XSPH: each particle's velocity drawn towards its neighbours' by the setting's
// fraction) and the colour exchange of mode 1, once a step at its end, in one walk of the last
// sub-step's lists. Once a step rather than once a sub-step, so that the fluid is as viscous
// however many sub-steps the speeds call for (Macklin and Mueller apply it once a frame too).
// Both read the values from before the walk and write the new ones beside them (the change of
// velocity into `delta`, the colours into the colours' scratch array), so that every pair
// exchanges equal and opposite amounts. With `last` (nothing changes the velocities after it)
// the walk that applies them also copies them for the dump and sets the density colours, which
// saves a pass over the particles; returns whether it did.
bool smooth_velocities(bool last) {
    const KernelConstants kc = kernel_constants();
    const int32_t n = sim.count;
    const float c = water.viscosity;
    Vec2* vel = sim.velocity;
    Color3* color = sim.color;
    Color3* mixed = sim.color_scratch;
    const bool diffuse =
        color != nullptr && mixed != nullptr && sim.point_diffusion > 0.0f && sim.point_colors != 2;
    if (!(c > 0.0f) && !diffuse) return false;
    const bool ramp = sim.point_colors == 2 && color != nullptr;
    // The stored weights are V W: the colours' exchange takes W / W(0).
    const float kw = diffuse ? sim.point_diffusion / (water.volume * kc.s) : 0.0f;
    Vec2* dv = water.delta;
    const bool viscous = c > 0.0f;
    run_gather(n, [&](int32_t begin, int32_t end) ONE_BODY_LAMBDA {
        const Vec2* v = vel;
        const Color3* col = color;
        for (int32_t i = begin; i < end; ++i) {
            const int count = water.near_count[i];
            const uint16_t* list = water.near + water.near_first[i];
            Vec2 u{0.0f, 0.0f};
            Color3 d{0.0f, 0.0f, 0.0f};
            const float* list_w = water.pair_w + water.near_first[i];
            const Vec2 vi = v[i];
            if (viscous) {
                for (int k = 0; k < count; ++k) {
                    const Vec2 vj = v[list[k]];
                    const float w = list_w[k];
                    u.x += (vj.x - vi.x) * (c * w);
                    u.y += (vj.y - vi.y) * (c * w);
                }
            }
            if (diffuse) {
                const Color3 ci = col[i];
                for (int k = 0; k < count; ++k) {
                    const Color3 cj = col[list[k]];
                    const float f = kw * list_w[k];
                    d.r += (cj.r - ci.r) * f;
                    d.g += (cj.g - ci.g) * f;
                    d.b += (cj.b - ci.b) * f;
                }
            }
            dv[i] = u;
            if (diffuse) mixed[i] = Color3{color[i].r + d.r, color[i].g + d.g, color[i].b + d.b};
        }
    });
    run_gather(n, [&](int32_t begin, int32_t end) ONE_BODY_LAMBDA {
        for (int32_t i = begin; i < end; ++i) {
            if (c > 0.0f) {
                vel[i].x += dv[i].x;
                vel[i].y += dv[i].y;
            }
            if (diffuse) color[i] = mixed[i];
            if (last) {
                sim.velocity_eval[i] = vel[i];
                if (ramp) color[i] = water_density_ramp(water.ratio[i]);
            }
        }
    });
    return last;
}

// The same viscosity between the fluid and the bodies: each particle's velocity is drawn towards
// the velocity of the body's surface at its boundary neighbours, and the body takes the opposite
// momentum (at that point of its surface, so it turns too). Without it nothing but pressure acts
// between them, and a floating block rocks on its own waves for ever. One thread, in particle
// order, for the bodies' sums.
void drag_bodies() {
    const float c = water.viscosity;
    if (sim.geom_count == 0 || !(c > 0.0f)) return;
    const KernelConstants kc = kernel_constants();
    const float m = water.particle_mass;
    for (int32_t i = 0; i < sim.count; ++i) {
        const int count = water.boundary_near_count[i];
        if (count == 0) continue;
        const int32_t* slots = water.boundary_near + int64_t{i} * water_boundary_slots;
        Vec2 v = sim.velocity[i];
        const Vec2 p = sim.position[i];
        for (int k = 0; k < count; ++k) {
            const BoundaryParticle& b = water.boundary[slots[k]];
            if (b.body < 0) continue;
            RigidBody& body = sim.bodies[b.body];
            const float mass = water.body_mass[b.body];
            const float inertia = water.body_inertia[b.body];
            if (!(mass > 0.0f) || !(inertia > 0.0f)) continue;
            const float dx = p.x - b.position.x;
            const float dy = p.y - b.position.y;
            const float w = c * b.volume * kernel_terms(dx * dx + dy * dy, kc).w;
            const float rx = b.position.x - body.center.x;
            const float ry = b.position.y - body.center.y;
            const Vec2 surface{body.linear_velocity.x - body.angular_velocity * ry,
                               body.linear_velocity.y + body.angular_velocity * rx};
            const Vec2 dv{(surface.x - v.x) * w, (surface.y - v.y) * w};
            v.x += dv.x;
            v.y += dv.y;
            body.linear_velocity.x -= m * dv.x / mass;
            body.linear_velocity.y -= m * dv.y / mass;
            body.angular_velocity -= m * (rx * dv.y - ry * dv.x) / inertia;
        }
        sim.velocity[i] = v;
    }
}

// The walls as hard limits of a body: moved back inside where it crossed one.
void keep_in_box(int j) {
    RigidBody& body = sim.bodies[j];
    const float h = sim.smooth_radius;
    const float top = sim.field_size;
    Vec2 shift{0.0f, 0.0f};
    if (body.min_x < h) shift.x = h - body.min_x;
    if (body.max_x > top) shift.x = top - body.max_x;
    if (body.min_y < h) shift.y = h - body.min_y;
    if (body.max_y > top) shift.y = top - body.max_y;
    if (shift.x == 0.0f && shift.y == 0.0f) return;
    body.center.x += shift.x;
    body.center.y += shift.y;
    update_world_vertices(body);
    water.body_at_wall[j] = 1;
}

bool moves(int j) {
    return water.body_mass[j] > 0.0f && water.body_inertia[j] > 0.0f;
}

// The bodies' rigid motion is solved with the fluid's (position-based, as the particles'):
// each sub-step moves them first by their velocity and gravity, each iteration then by the
// fluid's reaction to that iteration's corrections, and the sub-step's velocity is how far they
// moved. Moved only once a sub-step, after the fluid, a light body answers the fluid a sub-step
// late and rocks on the waves it makes itself (the added-mass trouble of loosely coupled
// solvers); moving it within the pressure iterations is the remedy of Gissler et al.,
// "Interlinked SPH pressure solvers for strong fluid-rigid coupling", ACM TOG 38(1), 2019.
void predict_bodies(float dt) {
    const float g = sim.current_gravity;
    for (int j = 0; j < sim.geom_count; ++j) {
        water.body_force[j] = Vec2{0.0f, 0.0f};
        water.body_torque[j] = 0.0f;
        water.body_at_wall[j] = 0;
        if (!moves(j)) continue;
        RigidBody& body = sim.bodies[j];
        water.body_start[j] = BodyPose{body.center, body.angle};
        body.linear_velocity.y += g * dt;
        body.center.x += body.linear_velocity.x * dt;
        body.center.y += body.linear_velocity.y * dt;
        body.angle += body.angular_velocity * dt;
        update_world_vertices(body);
        keep_in_box(j);
    }
}

// An iteration's move of the bodies: the displacement that the fluid's reaction (a force
// m * correction / dt^2, summed by push_bodies) gives in dt^2 / mass, and the turn alike; the
// body's boundary particles follow at once, so the next iteration sees the body where it is.
void shift_bodies(float dt) {
    if (sim.geom_count == 0) return;
    const float dt2 = dt * dt;
    for (int j = 0; j < sim.geom_count; ++j) {
        RigidBody& body = sim.bodies[j];
        BodyMove& move = water.body_move[j];
        move = BodyMove{body.center, body.center, 1.0f, 0.0f};
        if (moves(j)) {
            const float turn = water.body_torque[j] / water.body_inertia[j] * dt2;
            body.center.x += water.body_force[j].x / water.body_mass[j] * dt2;
            body.center.y += water.body_force[j].y / water.body_mass[j] * dt2;
            body.angle += turn;
            update_world_vertices(body);
            keep_in_box(j);
            move = BodyMove{move.from, body.center, std::cos(turn), std::sin(turn)};
        }
        water.body_force[j] = Vec2{0.0f, 0.0f};
        water.body_torque[j] = 0.0f;
    }
    for (int32_t k = 0; k < water.boundary_count; ++k) {
        BoundaryParticle& b = water.boundary[k];
        if (b.body < 0) continue;
        const BodyMove& move = water.body_move[b.body];
        const float rx = b.position.x - move.from.x;
        const float ry = b.position.y - move.from.y;
        b.position = Vec2{move.to.x + move.cos * rx - move.sin * ry,
                          move.to.y + move.sin * rx + move.cos * ry};
    }
}

// The sub-step's velocities from how far the bodies moved; a body a wall stopped also stops
// turning into it.
void finish_bodies(float dt) {
    const float inv_dt = 1.0f / dt;
    for (int j = 0; j < sim.geom_count; ++j) {
        if (!moves(j)) continue;
        RigidBody& body = sim.bodies[j];
        const BodyPose& start = water.body_start[j];
        body.linear_velocity = Vec2{(body.center.x - start.center.x) * inv_dt,
                                    (body.center.y - start.center.y) * inv_dt};
        body.angular_velocity = (body.angle - start.angle) * inv_dt;
        if (water.body_at_wall[j] != 0) body.angular_velocity *= 0.9f;
    }
}

// A particle inside an obstacle goes to its nearest edge and loses the part of its velocity
// that points in. The obstacles' boundary particles keep the fluid out, but not of an obstacle
// drawn across it: the particles caught inside it would otherwise stay there, held in by the
// same boundary from within. Only particles with boundary neighbours can be inside one (a
// stroke is two smoothing radii thick, and a particle reaches a scene's obstacle only across
// its outline).
void leave_obstacles(Vec2* p, Vec2* v) {
    for (int o = 0; o < scene.obstacle_count; ++o) {
        const RigidBody& obstacle = scene.obstacles[o];
        if (!(obstacle.min_x <= p->x && p->x <= obstacle.max_x && obstacle.min_y <= p->y &&
              p->y <= obstacle.max_y))
            continue;
        Vec2 push;
        if (!polygon_point_push(obstacle, *p, &push)) continue;
        const float d2 = push.x * push.x + push.y * push.y;
        if (!(d2 > 0.0f)) continue;
        p->x += push.x;
        p->y += push.y;
        const float into = (v->x * push.x + v->y * push.y) / d2;
        if (into < 0.0f) {
            v->x -= into * push.x;
            v->y -= into * push.y;
        }
    }
}

void predict(float dt) {
    const float g = sim.current_gravity;
    run_ranges(sim.count, [&](int32_t begin, int32_t end) ONE_BODY_LAMBDA {
        for (int32_t i = begin; i < end; ++i) {
            sim.velocity[i].y += dt * g;
            sim.position[i].x += dt * sim.velocity[i].x;
            sim.position[i].y += dt * sim.velocity[i].y;
            sim.force[i] = Vec2{0.0f, 0.0f};
        }
    });
}

// Velocities from the step's corrections; the box as a hard limit for any particle that got
// past the wall's particles; the dump's and the colours' densities.
void finish(float dt) {
    const float h = sim.smooth_radius;
    const float top = sim.field_size;
    const float inv_dt = 1.0f / dt;
    const float inv_rest = 1.0f / sim.rest_density;
    // The corrections give a particle at most the speed that one sub-step a frame allows. A
    // sub-step's corrections may move it by up to the CFL bound, whatever the sub-step's length:
    // taken whole as a velocity in a short sub-step, that speed called for still shorter
    // sub-steps, in which the same bound gave a still greater speed. In a dam break twice the
    // usual size, spray then reached 54 box units a second (free fall from the top: 7.5) and
    // held every step at eight sub-steps.
    const float reach = water_cfl * water.spacing * (dt / sim.timestep);
    const float reach2 = reach * reach;
    run_ranges(sim.count, [&](int32_t begin, int32_t end) ONE_BODY_LAMBDA {
        for (int32_t i = begin; i < end; ++i) {
            Vec2 v = sim.velocity[i];
            Vec2 c = sim.force[i];
            const float c2 = c.x * c.x + c.y * c.y;
            if (c2 > reach2) {
                const float scale = reach / std::sqrt(c2);
                c.x *= scale;
                c.y *= scale;
            }
            v.x += c.x * inv_dt;
            v.y += c.y * inv_dt;
            Vec2 p = sim.position[i];
            if (scene.obstacle_count > 0 && water.boundary_near_count[i] != 0)
                leave_obstacles(&p, &v);
            if (p.x < h) {
                p.x = h;
                if (v.x < 0.0f) v.x = 0.0f;
            } else if (p.x > top) {
                p.x = top;
                if (v.x > 0.0f) v.x = 0.0f;
            }
            if (p.y < h) {
                p.y = h;
                if (v.y < 0.0f) v.y = 0.0f;
            } else if (p.y > top) {
                p.y = top;
                if (v.y > 0.0f) v.y = 0.0f;
            }
            sim.position[i] = p;
            sim.velocity[i] = v;
            sim.density_pressure[i] = Vec2{inv_rest / water.ratio[i], water.lambda[i]};
            if (!stored_finite(p.x) || !stored_finite(p.y) || !stored_finite(v.x) ||
                !stored_finite(v.y)) {
                __atomic_store_n(&sim.blown_up, true, __ATOMIC_RELAXED);
            }
        }
    });
}

void copy_eval_and_colours() {
    run_ranges(sim.count, [&](int32_t begin, int32_t end) ONE_BODY_LAMBDA {
        for (int32_t i = begin; i < end; ++i) {
            sim.velocity_eval[i] = sim.velocity[i];
            if (sim.point_colors == 2 && sim.color != nullptr) {
                sim.color[i] = water_density_ramp(water.ratio[i]);
            }
        }
    });
}

// The particles were just put in cell order: each one's pressure goes with it.
void carry_pressure() {
    const SortKey* keys = sim.sort_keys;
    float* moved = water.ratio;             // free until the density pass
    float* moved_compressed = water.lambda; // likewise
    const float* pressure = water.pressure;
    const float* compressed = water.compressed;
    uint8_t* near_count = water.near_count;
    run_ranges(sim.count, [&](int32_t begin, int32_t end) ONE_BODY_LAMBDA {
        for (int32_t i = begin; i < end; ++i) {
            moved[i] = pressure[keys[i].index];
            moved_compressed[i] = compressed[keys[i].index];
            near_count[i] = 0; // for the neighbour search, which skips particles in no cell
        }
    });
    // The ratio and lambda arrays are free again; the old carried ones become them.
    water.ratio = water.carried;
    water.carried = moved;
    water.lambda = water.compressed_before;
    water.compressed_before = moved_compressed;
}

float fastest_speed() {
    float v2 = 0.0f;
    for (int32_t i = 0; i < sim.count; ++i) {
        const Vec2 v = sim.velocity[i];
        const float s = v.x * v.x + v.y * v.y;
        if (s > v2) v2 = s;
    }
    return std::sqrt(v2);
}

double ms_between(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

} // namespace

float water_kernel(float r, float h) {
    return kernel(r, h, sigma(h));
}

float water_kernel_slope(float r, float h) {
    return slope(r, h, sigma(h));
}

float water_density_change(Vec2 moved_i, const Vec2* moved, const uint16_t* list,
                           const Vec2* list_grad, int count) {
    float change = 0.0f;
    for (int k = 0; k < count; ++k) {
        const Vec2 mj = moved[list[k]];
        change += list_grad[k].x * (moved_i.x - mj.x) + list_grad[k].y * (moved_i.y - mj.y);
    }
    return change;
}

bool water_init(float spacing, float viscosity, int32_t iterations) {
    water_free();
    water.on = true;
    water.viscosity = viscosity;
    water.iterations = iterations;
    const float h = sim.smooth_radius;
    water.spacing = spacing * h;
    // The particle's volume so that a particle at rest on the square lattice has exactly the
    // rest density: V = 1 / sum of W over the lattice sites around it.
    const float sg = sigma(h);
    float sum = 0.0f;
    float sq = 0.0f;
    const int reach = static_cast<int>(1.0f / spacing) + 1;
    for (int y = -reach; y <= reach; ++y) {
        for (int x = -reach; x <= reach; ++x) {
            const float dx = static_cast<float>(x) * water.spacing;
            const float dy = static_cast<float>(y) * water.spacing;
            const float r = std::sqrt(dx * dx + dy * dy);
            sum += kernel(r, h, sg);
            const float s = slope(r, h, sg);
            sq += s * s;
        }
    }
    water.volume = 1.0f / sum;
    float line = 0.0f;
    for (int x = -reach; x <= reach; ++x)
        line += kernel(std::fabs(static_cast<float>(x)) * water.spacing, h, sg);
    water.line_sum = line;
    water.particle_mass = sim.rest_density * water.volume;
    // A tenth of a lattice particle's denominator: enough to keep thin neighbourhoods calm,
    // little enough to leave the interior's projection nearly whole.
    water.epsilon = 0.1f * water.volume * water.volume * sq;
    const int32_t n = sim.count;
    water.ratio = alloc_array<float>(n);
    water.lambda = alloc_array<float>(n);
    water.compressed = alloc_array<float>(n);
    water.compressed_before = alloc_array<float>(n);
    water.near = alloc_array<uint16_t>(int64_t{n} * water_neighbour_slots);
    water.near_count = alloc_array<uint8_t>(n);
    water.search_x = alloc_array<float>(int64_t{n} + 4);
    water.search_y = alloc_array<float>(int64_t{n} + 4);
    water.near_first = alloc_array<uint32_t>(n);
    water.pressure = alloc_array<float>(n);
    water.carried = alloc_array<float>(n);
    water.delta = alloc_array<Vec2>(n);
    water.moved = alloc_array<Vec2>(n);
    water.fluid_sums = alloc_array<FluidSums>(n);
    water.boundary_capacity = boundary_capacity;
    water.boundary = alloc_array<BoundaryParticle>(boundary_capacity);
    water.boundary_scratch = alloc_array<BoundaryParticle>(boundary_capacity);
    water.boundary_start = alloc_array<uint32_t>(int64_t{sim.cell_count} + 1);
    water.boundary_near_cell = alloc_array<uint8_t>(sim.cell_count);
    water.pair_w = alloc_array<float>(int64_t{n} * water_neighbour_slots);
    water.pair_grad = alloc_array<Vec2>(int64_t{n} * water_neighbour_slots);
    water.boundary_near = alloc_array<int32_t>(int64_t{n} * water_boundary_slots);
    water.boundary_grad = alloc_array<Vec2>(int64_t{n} * water_boundary_slots);
    water.boundary_near_count = alloc_array<uint8_t>(n);
    water.by_body = alloc_array<uint8_t>(n);
    const int32_t bodies = scene.body_capacity;
    water.body_mass = alloc_array<float>(bodies);
    water.body_inertia = alloc_array<float>(bodies);
    water.body_force = alloc_array<Vec2>(bodies);
    water.body_torque = alloc_array<float>(bodies);
    water.body_start = alloc_array<BodyPose>(bodies);
    water.body_move = alloc_array<BodyMove>(bodies);
    water.body_at_wall = alloc_array<uint8_t>(bodies);
    const bool ok = water.near && water.near_count && water.search_x && water.search_y &&
                    water.near_first && water.pressure && water.carried && water.ratio &&
                    water.lambda && water.compressed && water.compressed_before && water.delta &&
                    water.moved && water.fluid_sums && water.boundary && water.boundary_scratch &&
                    water.boundary_start && water.boundary_near_cell && water.pair_w &&
                    water.pair_grad && water.boundary_near && water.boundary_grad &&
                    water.boundary_near_count && water.by_body && water.body_mass &&
                    water.body_inertia && water.body_force && water.body_torque &&
                    water.body_start && water.body_move && water.body_at_wall;
    if (!ok) water_free();
    return ok;
}

void water_set_body(int body, float density) {
    if (!water.on || body < 0 || body >= scene.body_capacity) return;
    const RigidBody& b = sim.bodies[body];
    const int n = stored_vertex_count(b);
    // Area and polar moment about the body's origin (its centre of rotation).
    double area = 0.0;
    double polar = 0.0;
    for (int k = 0; k < n; ++k) {
        const Vec2 p = b.local_vertices[k];
        const Vec2 q = b.local_vertices[k + 1];
        const double cross = double{p.x} * q.y - double{q.x} * p.y;
        area += cross * 0.5;
        polar += cross *
                 (double{p.x} * p.x + double{p.x} * q.x + double{q.x} * q.x + double{p.y} * p.y +
                  double{p.y} * q.y + double{q.y} * q.y) /
                 12.0;
    }
    const double rho = static_cast<double>(density) * sim.rest_density;
    water.body_mass[body] = static_cast<float>(std::fabs(area) * rho);
    water.body_inertia[body] = static_cast<float>(std::fabs(polar) * rho);
}

void water_free() {
    std::free(water.ratio);
    std::free(water.lambda);
    std::free(water.compressed);
    std::free(water.compressed_before);
    std::free(water.near);
    std::free(water.near_count);
    std::free(water.search_x);
    std::free(water.search_y);
    std::free(water.near_first);
    std::free(water.pressure);
    std::free(water.carried);
    std::free(water.delta);
    std::free(water.moved);
    std::free(water.fluid_sums);
    std::free(water.boundary);
    std::free(water.boundary_scratch);
    std::free(water.boundary_start);
    std::free(water.boundary_near_cell);
    std::free(water.pair_w);
    std::free(water.pair_grad);
    std::free(water.boundary_near);
    std::free(water.boundary_grad);
    std::free(water.boundary_near_count);
    std::free(water.by_body);
    std::free(water.body_mass);
    std::free(water.body_inertia);
    std::free(water.body_force);
    std::free(water.body_torque);
    std::free(water.body_start);
    std::free(water.body_move);
    std::free(water.body_at_wall);
    water = WaterState{};
}

void water_step(StepProfile* profile) {
    const Clock::time_point start = Clock::now();
    double ms[step_stage_count] = {};
    const float frame_dt = sim.timestep;
    // CFL: the fastest particle moves at most water_substep_cfl lattice spacings per sub-step.
    const float fastest = fastest_speed();
    int substeps = 1;
    if (fastest * frame_dt > water_substep_cfl * water.spacing) {
        const float need = fastest * frame_dt / (water_substep_cfl * water.spacing);
        substeps = need < static_cast<float>(water_max_substeps) ? static_cast<int>(need) + 1
                                                                 : water_max_substeps;
    }
    water.substeps = substeps;
    const float dt = frame_dt / static_cast<float>(substeps);
    for (int s = 0; s < substeps && !sim.blown_up; ++s) {
        Clock::time_point t = Clock::now();
        auto lap = [&](int stage) {
            const Clock::time_point now = Clock::now();
            ms[stage] += ms_between(t, now);
            t = now;
        };
        predict(dt);
        lap(6);
        compute_cell_keys();
        sort_cell_keys();
        reorder_particles();
        carry_pressure();
        fill_cell_grid();
        lap(0);
        find_water_neighbours();
        lap(1);
        predict_bodies(dt);
        build_boundary();
        find_boundary_neighbours();
        lap(5);
        // Pressure scales with the square of the time step (lambda is a displacement).
        const float ratio_dt = water.pressure_dt > 0.0f ? dt / water.pressure_dt : 0.0f;
        const float warm =
            water_warm_start * ratio_dt * ratio_dt / static_cast<float>(water.iterations);
        const int last = water.iterations - 1;
        for (int it = 0; it <= last; ++it) {
            const IterationTerms terms{warm, it == last ? water_last_omega : 1.0f, it == 0};
            // Fresh sums, then first-order ones, in turn, and the last always first-order (the
            // cheaper pass): an odd count ends on two in a row. Three in a row let the front
            // run ahead in spray.
            if (it % 2 == 0 && it < last) {
                constraint_sums(terms);
            } else {
                linear_sums(terms);
            }
            lap(2);
            project();
            push_bodies(dt);
            lap(3);
            shift_bodies(dt);
            lap(4);
        }
        finish(dt);
        finish_bodies(dt);
        water.pressure_dt = dt;
        lap(6);
    }
    {
        const Clock::time_point t = Clock::now();
        const bool drags = sim.geom_count > 0 && water.viscosity > 0.0f;
        const bool copied = smooth_velocities(!drags);
        drag_bodies();
        if (!copied) copy_eval_and_colours();
        ms[6] += ms_between(t, Clock::now());
    }
    {
        const Clock::time_point t = Clock::now();
        recycle_drained();
        advance_scene_time();
        ms[7] += ms_between(t, Clock::now());
    }
    if (profile != nullptr) {
        for (int k = 0; k < step_stage_count; ++k)
            profile->stage_ms[k] = ms[k];
        profile->total = ms_between(start, Clock::now());
    }
}

CompressionError compression_error(const SimState& state) {
    CompressionError e{0.0f, 0.0f};
    if (state.count <= 0 || state.density_pressure == nullptr) return e;
    double sum = 0.0;
    for (int32_t i = 0; i < state.count; ++i) {
        const float over = particle_compression(state, i) - 1.0f;
        if (!(over > 0.0f)) continue;
        sum += over;
        if (over > e.largest) e.largest = over;
    }
    e.mean = static_cast<float>(sum / state.count);
    return e;
}
