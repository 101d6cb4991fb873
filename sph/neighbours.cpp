#include <cstdint>

#include "sph/sim_state.h"
#include "sph/steps.h"

namespace {

// Appends to `out` (which holds `count` entries) every particle in slots from .. fill-1 of
// `slots` that lies closer than h to p, with its squared distance, in slot order; returns the
// new count. A full list takes no more: those pairs are lost for both particles.
inline int scan_cell(const uint16_t* slots, int from, int fill, const Vec2* position, Vec2 p,
                     float h2, NeighbourEntry* out, int count) {
    if (count + (fill - from) <= neighbour_capacity) {
        // Room for every candidate: store unconditionally and advance only on a hit, which
        // keeps the loop free of unpredictable branches. The slot written on a miss is still
        // inside this list's capacity and is overwritten by the next hit or the next list.
        for (int s = from; s < fill; ++s) {
            const uint16_t q = slots[s];
            const float dx = p.x - position[q].x;
            const float dy = p.y - position[q].y;
            const float d2 = dy * dy + dx * dx;
            out[count] = NeighbourEntry{q, d2};
            count += d2 < h2 ? 1 : 0;  // strict, and false for NaN
        }
        return count;
    }
    for (int s = from; s < fill && count < neighbour_capacity; ++s) {
        const uint16_t q = slots[s];
        const float dx = p.x - position[q].x;
        const float dy = p.y - position[q].y;
        const float d2 = dy * dy + dx * dx;
        if (d2 < h2) out[count++] = NeighbourEntry{q, d2};
    }
    return count;
}

}  // namespace

// Half stencil: a particle meets itself and the later particles of its own cell, then the
// right-hand cell and the three cells of the row above, left to right. The other four
// neighbouring cells find it through their own right-hand and upper cells, so each pair is
// tested and stored once, on the list of the particle visited first. Keys are linear: at the
// row ends the stencil reaches the far side of the grid, which holds no particle within h.
void find_neighbours() {
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

    // Lists are packed in visiting order; each takes at most neighbour_capacity entries, so
    // the cursor never passes count * neighbour_capacity.
    uint32_t cursor = 0;
    for (int64_t own = 0; own < cells; ++own) {
        const int own_fill = fill[own];
        if (own_fill == 0) continue;
        const uint16_t* own_slots = buckets + own * cell_capacity;
        // The four other cells of the stencil, in scan order, or -1 outside 0 .. cells-1.
        int64_t other[4] = {own + 1, own + per_row - 1, own + per_row, own + per_row + 1};
        for (int64_t& key : other) {
            if (key < 0 || key >= cells) key = -1;
        }
        for (int k = 0; k < own_fill; ++k) {
            const uint16_t p = own_slots[k];
            const Vec2 at = position[p];
            NeighbourEntry* out = entries + cursor;
            int count = scan_cell(own_slots, k, own_fill, position, at, h2, out, 0);
            for (int64_t key : other) {
                if (key < 0) continue;
                if (count == neighbour_capacity) break;  // nothing more could be stored
                count = scan_cell(buckets + key * cell_capacity, 0, fill[key], position, at, h2,
                                  out, count);
            }
            first_entry[p] = cursor;
            counts[p] = static_cast<uint16_t>(count);
            cursor += static_cast<uint32_t>(count);
        }
    }
}
