#include <cstddef>
#include <cstdint>
#include <limits>

#include "base/assert.h"
#include "base/float_path.h"
#include "base/workers.h"
#include "sph/sim_state.h"
#include "sph/steps.h"

#if TARNWELL_SSE2_PATH
#include <emmintrin.h>
#endif

namespace {

// Three slots of padding behind the last candidate let the scan read four at a time; they
// hold NaN coordinates, whose distance is never below h^2.
constexpr int stencil_capacity = 5 * cell_capacity + 3;

// The candidates of one cell's stencil, gathered once per cell so that every particle of the
// cell scans one contiguous run: own cell (slots in order), right-hand cell, then the three
// cells above from left to right. The particle in own slot k scans entries k .. total-1,
// which is exactly "own cell from slot k, then the other four from slot 0".
struct Stencil {
    alignas(16) float x[stencil_capacity];
    alignas(16) float y[stencil_capacity];
    alignas(16) uint32_t index[stencil_capacity];
    int total;
};

void pad(Stencil& st) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int j = st.total; j < st.total + 3; ++j) {
        st.x[j] = nan;
        st.y[j] = nan;
        st.index[j] = 0;
    }
}

// Appends candidates k .. total-1 that lie closer than h to (px, py) to `out`, which has room
// for more than total - k entries, and returns how many it appended. Every candidate is
// stored and the count advances only on a hit (strict, false for NaN), so no branch depends
// on the data; a slot written on a miss is overwritten by the next hit or the next list.
int scan_with_room(const Stencil& st, int k, float px, float py, float h2, NeighbourEntry* out) {
    int count = 0;
#if TARNWELL_SSE2_PATH
    // Four candidates at a time. Each lane does the scalar arithmetic, dy*dy + dx*dx in single
    // precision without contraction, so the distances are bit for bit the scalar ones.
    // An entry is stored as one 64-bit word: index in the low half, distance in the high.
    static_assert(sizeof(NeighbourEntry) == 8 && offsetof(NeighbourEntry, dist_sq) == 4,
                  "entry layout: 16-bit index, padding, float at byte 4");
    const __m128 vx = _mm_set1_ps(px);
    const __m128 vy = _mm_set1_ps(py);
    const __m128 vh2 = _mm_set1_ps(h2);
    for (int j = k; j < st.total; j += 4) {
        const __m128 dx = _mm_sub_ps(vx, _mm_loadu_ps(st.x + j));
        const __m128 dy = _mm_sub_ps(vy, _mm_loadu_ps(st.y + j));
        const __m128 d2 = _mm_add_ps(_mm_mul_ps(dy, dy), _mm_mul_ps(dx, dx));
        const int hits = _mm_movemask_ps(_mm_cmplt_ps(d2, vh2));
        const __m128i index = _mm_loadu_si128(reinterpret_cast<const __m128i*>(st.index + j));
        const __m128i low = _mm_unpacklo_epi32(index, _mm_castps_si128(d2));
        const __m128i high = _mm_unpackhi_epi32(index, _mm_castps_si128(d2));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + count), low);
        count += hits & 1;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + count), _mm_unpackhi_epi64(low, low));
        count += (hits >> 1) & 1;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + count), high);
        count += (hits >> 2) & 1;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + count), _mm_unpackhi_epi64(high, high));
        count += (hits >> 3) & 1;
    }
#else
    for (int j = k; j < st.total; ++j) {
        const float dx = px - st.x[j];
        const float dy = py - st.y[j];
        const float d2 = dy * dy + dx * dx;
        out[count] = NeighbourEntry{static_cast<uint16_t>(st.index[j]), d2};
        count += d2 < h2 ? 1 : 0;
    }
#endif
    return count;
}

// The same for a list that may fill up: a full list takes no more, and those pairs are lost
// for both particles.
int scan_until_full(const Stencil& st, int k, float px, float py, float h2, NeighbourEntry* out) {
    int count = 0;
    for (int j = k; j < st.total && count < neighbour_capacity; ++j) {
        const float dx = px - st.x[j];
        const float dy = py - st.y[j];
        const float d2 = dy * dy + dx * dx;
        if (d2 < h2) out[count++] = NeighbourEntry{static_cast<uint16_t>(st.index[j]), d2};
    }
    return count;
}

// The layout rule of NeighbourList, which the density and force steps rely on.
[[maybe_unused]] bool list_follows_layout_rule(uint16_t p, const NeighbourEntry* list, int count) {
    if (count == 0) return true;
    if (list[0].index != p || list[0].dist_sq != 0.0f) return false;
    for (int e = 1; e < count; ++e)
        if (list[e].index == p) return false;
    return true;
}

void append_cell(Stencil& st, const uint16_t* slots, int fill, const Vec2* position) {
    for (int s = 0; s < fill; ++s) {
        const uint16_t q = slots[s];
        st.x[st.total] = position[q].x;
        st.y[st.total] = position[q].y;
        st.index[st.total] = q;
        ++st.total;
    }
}

} // namespace

namespace {

// Lists of the particles in cells c0 .. c1-1, packed from entry `cursor` on.
void search_cells(int64_t c0, int64_t c1, uint32_t cursor) {
    const float h = sim.smooth_radius;
    const float h2 = h * h;
    const int32_t per_row = sim.cells_per_row;
    const int64_t cells = sim.cell_count;
    const Vec2* position = sim.position;
    const uint16_t* fill = sim.grid.cell_fill;
    const uint16_t* buckets = sim.grid.buckets;
    NeighbourEntry* entries = sim.neighbours.entries;
    uint16_t* counts = sim.neighbours.neighbour_count;
    uint32_t* first_entry = sim.neighbours.first_entry;

    Stencil st;

    for (int64_t own = c0; own < c1; ++own) {
        const int own_fill = fill[own];
        if (own_fill == 0) continue;
        st.total = 0;
        append_cell(st, buckets + own * cell_capacity, own_fill, position);
        const int64_t others[4] = {own + 1, own + per_row - 1, own + per_row, own + per_row + 1};
        for (const int64_t key : others) {
            if (key >= 0 && key < cells) {
                append_cell(st, buckets + key * cell_capacity, fill[key], position);
            }
        }
        pad(st);

        for (int k = 0; k < own_fill; ++k) {
            const uint16_t p = static_cast<uint16_t>(st.index[k]);
            NeighbourEntry* out = entries + cursor;
            // The fast scan writes up to one slot past its last hit, so it needs one spare.
            const int count = st.total - k < neighbour_capacity
                                  ? scan_with_room(st, k, st.x[k], st.y[k], h2, out)
                                  : scan_until_full(st, k, st.x[k], st.y[k], h2, out);
            TARNWELL_ASSERT(list_follows_layout_rule(p, out, count),
                            "a neighbour list must start with its own particle at distance 0 "
                            "and hold it only there");
            first_entry[p] = cursor;
            counts[p] = static_cast<uint16_t>(count);
            cursor += static_cast<uint32_t>(count);
        }
    }
}

} // namespace

// Half stencil: a particle meets itself and the later particles of its own cell, then the
// right-hand cell and the three cells of the row above, left to right. The other four
// neighbouring cells find it through their own right-hand and upper cells, so each pair is
// tested and stored once, on the list of the particle visited first. Keys are linear: at the
// row ends the stencil reaches the far side of the grid, which holds no particle within h.
//
// Lists are packed in visiting order; each takes at most neighbour_capacity entries, so a
// cursor that starts at first_particle * neighbour_capacity stays below the start of the next
// lane, whose particles all come later.
void find_neighbours() {
    const CellGrid& grid = sim.grid;
    run_lanes(grid.lanes, [&](int lane) {
        search_cells(grid.lane_cell[lane], grid.lane_cell[lane + 1],
                     static_cast<uint32_t>(grid.lane_particle[lane]) * neighbour_capacity);
    });
}
