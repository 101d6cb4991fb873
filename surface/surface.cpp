#include "surface/surface.h"

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <new>

#include "base/float_path.h"
#include "base/workers.h"

#if TARNWELL_SSE2_PATH
#include <emmintrin.h>
#endif

SurfaceGrid* surface_grid = nullptr;

namespace {

size_t block_bytes(uint32_t resolution) {
    return 4096u * static_cast<size_t>(resolution) + 4u;
}

size_t sample_count(uint32_t resolution) {
    size_t side = static_cast<size_t>(resolution) + 1u;
    return side * side;
}

size_t vertex_offset(uint32_t resolution) {
    return sizeof(SurfaceGrid) + sample_count(resolution) * sizeof(float);
}

// Corner cases of one cell (bit 1 SW, 2 SE, 4 NE, 8 NW set when that corner lies below the
// level) to the cell edges the iso-line crosses, taken in pairs as segments; 0 ends a row.
// Edges: 1 lower, 2 right, 3 upper, 4 left. The saddles 5 and 10 join the two corners above
// the level through the cell centre.
constexpr uint8_t edge_table[16][4] = {
    {0, 0, 0, 0}, {1, 4, 0, 0}, {1, 2, 0, 0}, {2, 4, 0, 0}, {2, 3, 0, 0}, {1, 4, 2, 3},
    {1, 3, 0, 0}, {3, 4, 0, 0}, {3, 4, 0, 0}, {1, 3, 0, 0}, {1, 2, 3, 4}, {2, 3, 0, 0},
    {2, 4, 0, 0}, {1, 2, 0, 0}, {1, 4, 0, 0}, {0, 0, 0, 0},
};

// Limits of the lattice-index arithmetic. Positions are truncated to integers only inside
// +-2^31 (beyond that truncation is undefined and the particle lies hopelessly far outside the
// lattice anyway); the window half-width is capped at 2^32, which still covers the whole
// lattice from any admissible centre, so no 64-bit sum below can overflow.
constexpr float position_limit = 2147483648.0f;
constexpr float half_width_limit = 4294967296.0f;

int64_t half_width_of(float radius) {
    if (!(radius > -half_width_limit)) return -1; // NaN or hugely negative: empty window
    if (radius >= half_width_limit) return static_cast<int64_t>(half_width_limit);
    return static_cast<int64_t>(radius);
}

} // namespace

bool create_surface_grid(float radius, int32_t resolution, float field_size, const Vec2* position,
                         int32_t count) {
    release_surface_grid();
    if (resolution < 1 || resolution > max_surface_resolution || count < 0 ||
        (count > 0 && position == nullptr))
        return false;
    uint32_t r = static_cast<uint32_t>(resolution);
    void* block = std::calloc(1, block_bytes(r));
    if (block == nullptr) return false;
    surface_grid = new (block)
        SurfaceGrid{radius, 1.0f, r, field_size, position, static_cast<uint32_t>(count), 0};
    return true;
}

float* surface_samples(SurfaceGrid* grid) {
    if (grid == nullptr) return nullptr;
    return reinterpret_cast<float*>(reinterpret_cast<unsigned char*>(grid) + sizeof(SurfaceGrid));
}

Vec2* surface_line_vertices(SurfaceGrid* grid) {
    if (grid == nullptr) return nullptr;
    return reinterpret_cast<Vec2*>(reinterpret_cast<unsigned char*>(grid) +
                                   vertex_offset(grid->resolution));
}

int32_t surface_vertex_capacity(const SurfaceGrid* grid) {
    if (grid == nullptr) return 0;
    size_t used = vertex_offset(grid->resolution);
    size_t total = block_bytes(grid->resolution);
    if (used >= total) return 0;
    return static_cast<int32_t>((total - used) / sizeof(Vec2));
}

namespace {

// Adds the cones of every particle, in particle order, to the samples of lattice rows
// band_lo .. band_hi-1: run over all bands, that is the whole splat, and every sample gets its
// additions in the same order whichever band it lies in.
ONE_BODY void splat_rows(SurfaceGrid* grid, int64_t band_lo, int64_t band_hi) {
    const uint32_t res = grid->resolution;
    const int64_t last = static_cast<int64_t>(res); // lattice rows and columns are 0..R
    const int64_t stride = last + 1;                // row j starts at sample j * (R + 1)
    const float r = grid->radius;
    // World to lattice: the box [h, L] lands on [h*s + r, R - 3r], leaving a margin of 3r
    // at the far side and at least r at the near side for the splat to fall off.
    // Held in a 32-bit float even where the arithmetic runs wider (x87), so the mapping of a
    // particle onto the lattice does not depend on register allocation.
    volatile float s_stored = (static_cast<float>(res) - 4.0f * r) / grid->field_size;
    const float s = s_stored;
    const float r_sq = r * r;
    const int64_t w = half_width_of(r);
    float* samples = surface_samples(grid);
    // Dividing by a power of two and multiplying by its reciprocal give the same correctly
    // rounded value, so with such an r^2 (r = 2 by default) the splat needs no division.
    int r_sq_exponent = 0;
    const bool r_sq_is_power_of_two =
        std::isfinite(r_sq) && std::frexp(r_sq, &r_sq_exponent) == 0.5f && r_sq_exponent > -125;
    const float inv_r_sq = r_sq_is_power_of_two ? 1.0f / r_sq : 0.0f;
#if TARNWELL_SSE2_PATH
    const __m128 v_r_sq = _mm_set1_ps(r_sq);
    const __m128 v_inv_r_sq = _mm_set1_ps(inv_r_sq);
    const __m128 v_one = _mm_set1_ps(1.0f);
#endif

    // Splat: a cone of height 1 at the particle falling to 0 at distance r, over the
    // (2w + 1)^2 samples around the truncated position; whatever falls off the lattice is lost.
    for (uint32_t i = 0; i < grid->count; ++i) {
        const Vec2 p = grid->position[i];
        const float px = p.x * s + r;
        const float py = p.y * s + r;
        if (!(px > -position_limit && px < position_limit && py > -position_limit &&
              py < position_limit))
            continue;
        const int64_t ix = static_cast<int64_t>(px);
        const int64_t iy = static_cast<int64_t>(py);
        const int64_t j0 = iy - w < band_lo ? band_lo : iy - w;
        const int64_t j1 = iy + w > band_hi - 1 ? band_hi - 1 : iy + w;
        if (j0 > j1) continue;
        const int64_t k0 = ix - w < 0 ? 0 : ix - w;
        const int64_t k1 = ix + w > last ? last : ix + w;
#if TARNWELL_SSE2_PATH
        const __m128 v_px = _mm_set1_ps(px);
#endif
        // Each sample of the window gets exactly one addition from this particle, so walking the
        // window column by column rather than row by row changes no sum, and lets a column's dx be
        // formed once for all its rows. Samples outside the radius receive +0, which leaves them
        // as they were (a sample is never -0) and keeps the loop free of hard-to-predict branches.
        int64_t k = k0;
#if TARNWELL_SSE2_PATH
        // Four columns at a time: each lane rounds exactly like the one-sample expression below.
        for (; k + 3 <= k1; k += 4) {
            const __m128 fk = _mm_setr_ps(static_cast<float>(k), static_cast<float>(k + 1),
                                          static_cast<float>(k + 2), static_cast<float>(k + 3));
            const __m128 dx = _mm_sub_ps(v_px, fk);
            const __m128 dx_sq = _mm_mul_ps(dx, dx);
            for (int64_t j = j0; j <= j1; ++j) {
                const float dy = py - static_cast<float>(j);
                const __m128 d_sq = _mm_add_ps(dx_sq, _mm_set1_ps(dy * dy));
                const __m128 q =
                    r_sq_is_power_of_two ? _mm_mul_ps(d_sq, v_inv_r_sq) : _mm_div_ps(d_sq, v_r_sq);
                const __m128 cone = _mm_sub_ps(v_one, q);
                const __m128 add = _mm_and_ps(_mm_cmple_ps(d_sq, v_r_sq), cone);
                float* at = samples + j * stride + k;
                _mm_storeu_ps(at, _mm_add_ps(_mm_loadu_ps(at), add));
            }
        }
#endif
        for (; k <= k1; ++k) {
            const float dx = px - static_cast<float>(k);
            for (int64_t j = j0; j <= j1; ++j) {
                const float dy = py - static_cast<float>(j);
                const float d_sq = dx * dx + dy * dy;
                const float cone = 1.0f - (r_sq_is_power_of_two ? d_sq * inv_r_sq : d_sq / r_sq);
                samples[j * stride + k] += d_sq <= r_sq ? cone : 0.0f;
            }
        }
    }
}

} // namespace

void update_surface() {
    SurfaceGrid* grid = surface_grid;
    if (grid == nullptr) return;

    const uint32_t res = grid->resolution;
    const int64_t last = static_cast<int64_t>(res); // lattice rows and columns are 0..R
    const int64_t stride = last + 1;                // row j starts at sample j * (R + 1)
    float* samples = surface_samples(grid);

    // Bands of lattice rows, one per lane. The band edges follow the particles (in cell order,
    // so by rows), so that every band gets about as many of them.
    const int32_t count = static_cast<int32_t>(grid->count);
    const int lanes = lanes_for(count);
    int64_t band_edge[max_threads + 1];
    band_edge[0] = 0;
    const float s = (static_cast<float>(res) - 4.0f * grid->radius) / grid->field_size;
    for (int t = 1; t < lanes; ++t) {
        const float row = grid->position[lane_range(t, lanes, count).begin].y * s + grid->radius;
        int64_t edge = row > 0.0f && row < static_cast<float>(last) ? static_cast<int64_t>(row) : 0;
        band_edge[t] = edge > band_edge[t - 1] ? edge : band_edge[t - 1];
    }
    band_edge[lanes] = last + 1;
    run_lanes(lanes, [&](int lane) { splat_rows(grid, band_edge[lane], band_edge[lane + 1]); });

    // Marching squares at the iso level, clearing each cell's lower-left sample once read (no
    // later cell reads it) and, after the last cell of a row, the row's column R. A value
    // exactly at the level counts as inside.
    const float level = grid->iso_level;
    Vec2* out = surface_line_vertices(grid);
    const int32_t capacity = surface_vertex_capacity(grid);
    int32_t n = 0;
    for (uint32_t j = 0; j < res; ++j) {
        float* lower = samples + static_cast<int64_t>(j) * stride;
        float* upper = lower + stride;
        const float fj = static_cast<float>(j);
        for (uint32_t k = 0; k < res; ++k) {
            const float sw = lower[k];
            const float se = lower[k + 1];
            const float ne = upper[k + 1];
            const float nw = upper[k];
            const int cell_case = (sw < level ? 1 : 0) | (se < level ? 2 : 0) |
                                  (ne < level ? 4 : 0) | (nw < level ? 8 : 0);
            const uint8_t* codes = edge_table[cell_case];
            const float fk = static_cast<float>(k);
            for (int c = 0; c < 4 && codes[c] != 0; c += 2) {
                if (n + 2 > capacity) break; // full: the rest of the outline is dropped
                for (int e = c; e < c + 2; ++e) {
                    Vec2 v;
                    switch (codes[e]) {
                    case 1:
                        v = {fk + (level - sw) / (se - sw), fj};
                        break;
                    case 2:
                        v = {fk + 1.0f, fj + (level - se) / (ne - se)};
                        break;
                    case 3:
                        v = {fk + (level - nw) / (ne - nw), fj + 1.0f};
                        break;
                    default:
                        v = {fk, fj + (level - sw) / (nw - sw)};
                        break;
                    }
                    out[n++] = v;
                }
            }
            lower[k] = 0.0f;
        }
        lower[res] = 0.0f;
    }
    // Row R and column R are read by the last cells but are no cell's lower-left corner. Only
    // particles beyond the far walls reach them; cleared too, so such a visit does not pile up
    // frame after frame into a line along the edge that never goes away.
    float* top = samples + last * stride;
    for (uint32_t k = 0; k <= res; ++k)
        top[k] = 0.0f;
    grid->line_vertex_count = n;
}

void release_surface_grid() {
    if (surface_grid == nullptr) return;
    std::free(surface_grid);
    surface_grid = nullptr;
}
