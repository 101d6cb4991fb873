#include "sph/spatial_sort.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "sph/steps.h"

namespace {

// Converting a float to an integer is undefined when the truncated value does not fit (and for
// NaN). Below 2^24 cells every float is representable and the truncation fits easily, and the
// key is then exactly row * cells_per_row + column. Anything further out is no cell of any grid
// the program can allocate; it gets the extreme key on its side so it sorts to that end (NaN to
// the top) and fails the bucket range test.
constexpr float exact_cell_limit = 16777216.0f;
constexpr int32_t key_max = std::numeric_limits<int32_t>::max();
constexpr int32_t key_min = std::numeric_limits<int32_t>::min();

int32_t off_grid_key(float column, float row) {
    if (std::isnan(column) || std::isnan(row)) return key_max;
    if (!(std::fabs(row) < exact_cell_limit)) return row > 0.0f ? key_max : key_min;
    return column > 0.0f ? key_max : key_min;
}

}  // namespace

int32_t cell_key(Vec2 position, float inv_h, int32_t cells_per_row) {
    const float column = position.x * inv_h;
    const float row = position.y * inv_h;
    if (std::fabs(column) < exact_cell_limit && std::fabs(row) < exact_cell_limit) {
        // Truncation toward zero: (-h, 0) falls in column/row 0 like [0, h).
        const int64_t key = static_cast<int64_t>(static_cast<int32_t>(row)) * cells_per_row +
                            static_cast<int32_t>(column);
        if (key > key_max) return key_max;
        if (key < key_min) return key_min;
        return static_cast<int32_t>(key);
    }
    return off_grid_key(column, row);
}

namespace {

// cell_key for a whole pass: within `limit` cells of the origin on both axes the key fits in
// 32 bits without clamping, which covers every particle of a running simulation; the rest
// take the general path with the same result.
struct KeyMaker {
    float inv_h;
    int32_t per_row;
    float limit;

    KeyMaker() : inv_h(1.0f / sim.smooth_radius), per_row(sim.cells_per_row) {
        // |row| * per_row + |column| < limit * (per_row + 1) <= 2^30.
        const int64_t cells = (int64_t{1} << 30) / (static_cast<int64_t>(per_row > 0 ? per_row : 0) + 1);
        limit = static_cast<float>(cells < (int64_t{1} << 24) ? cells : (int64_t{1} << 24));
    }

    int32_t operator()(Vec2 p) const {
        const float column = p.x * inv_h;
        const float row = p.y * inv_h;
        if (std::fabs(column) < limit && std::fabs(row) < limit) {
            return static_cast<int32_t>(row) * per_row + static_cast<int32_t>(column);
        }
        return cell_key(p, inv_h, per_row);
    }
};

}  // namespace

bool counting_sort_keys(SortKey* keys, SortKey* scratch, int32_t n, uint32_t* start,
                        int32_t cells) {
    if (n < 2) return true;
    int32_t i = 1;
    while (i < n && keys[i - 1].key <= keys[i].key) ++i;
    if (i == n) return keys[0].key >= 0 && keys[n - 1].key < cells;  // nothing to move
    std::memset(start, 0, (static_cast<size_t>(cells) + 1) * sizeof(uint32_t));
    for (i = 0; i < n; ++i) {
        const uint32_t k = static_cast<uint32_t>(keys[i].key);
        if (k >= static_cast<uint32_t>(cells)) return false;  // negative keys wrap past cells too
        ++start[k + 1];
    }
    for (int32_t k = 0; k < cells; ++k) start[k + 1] += start[k];
    for (i = 0; i < n; ++i) scratch[start[keys[i].key]++] = keys[i];
    std::memcpy(keys, scratch, static_cast<size_t>(n) * sizeof(SortKey));
    return true;
}

void radix_sort_keys(SortKey* keys, SortKey* scratch, int32_t n) {
    // Least significant digit first, 11 + 11 + 10 bits of the key with its sign bit flipped
    // (so unsigned order is signed order). Each pass is a stable counting sort, so the whole is
    // stable; a pass whose digit is the same for every entry is skipped.
    if (n < 2) return;
    constexpr int digit_bits[3] = {11, 11, 10};
    constexpr int digit_shift[3] = {0, 11, 22};
    uint32_t histogram[3][2048] = {};
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t u = static_cast<uint32_t>(keys[i].key) ^ 0x80000000u;
        for (int d = 0; d < 3; ++d) {
            ++histogram[d][(u >> digit_shift[d]) & ((1u << digit_bits[d]) - 1)];
        }
    }
    SortKey* from = keys;
    SortKey* to = scratch;
    for (int d = 0; d < 3; ++d) {
        const uint32_t mask = (1u << digit_bits[d]) - 1;
        const uint32_t first = static_cast<uint32_t>(keys[0].key) ^ 0x80000000u;
        const uint32_t first_digit = (first >> digit_shift[d]) & mask;
        if (histogram[d][first_digit] == static_cast<uint32_t>(n)) continue;  // all alike
        uint32_t offset = 0;
        for (uint32_t v = 0; v <= mask; ++v) {
            const uint32_t c = histogram[d][v];
            histogram[d][v] = offset;
            offset += c;
        }
        for (int32_t i = 0; i < n; ++i) {
            const uint32_t u = static_cast<uint32_t>(from[i].key) ^ 0x80000000u;
            to[histogram[d][(u >> digit_shift[d]) & mask]++] = from[i];
        }
        std::swap(from, to);
    }
    if (from != keys) std::memcpy(keys, from, static_cast<size_t>(n) * sizeof(SortKey));
}

void compute_cell_keys() {
    const KeyMaker key_of;
    const Vec2* position = sim.position;
    SortKey* keys = sim.sort_keys;
    for (int32_t i = 0; i < sim.count; ++i) keys[i] = SortKey{key_of(position[i]), i};
}

void sort_cell_keys() {
    const int32_t n = sim.count;
    if (n < 2) return;
    // A flowing fluid moves a few hundred particles across cell borders every step, each past
    // a row of others, so an insertion sort would shift O(n * sqrt(n)) entries. The counting
    // sort costs two passes over the keys and one over the cells whatever moved, and is
    // stable, so within a cell the particles keep their order. Keys outside the grid (a
    // particle that escaped) go to the radix sort, which orders any int32 key the same way.
    if (!counting_sort_keys(sim.sort_keys, sim.sort_keys_scratch, n, sim.cell_start,
                            sim.cell_count)) {
        radix_sort_keys(sim.sort_keys, sim.sort_keys_scratch, n);
    }
}

namespace {

// Gathers elements first .. n-1 of `data` into the new order and copies them back.
template <typename T>
void permute_tail(T* data, T* scratch, const SortKey* keys, int32_t first, int32_t n) {
    for (int32_t i = first; i < n; ++i) scratch[i] = data[keys[i].index];
    std::memcpy(data + first, scratch + first, static_cast<size_t>(n - first) * sizeof(T));
}

}  // namespace

void reorder_particles() {
    const int32_t n = sim.count;
    const SortKey* keys = sim.sort_keys;
    Vec2* position = sim.position;
    Vec2* gathered = sim.position_scratch;
    int32_t first_moved = n;
    for (int32_t i = 0; i < n; ++i) {
        gathered[i] = position[keys[i].index];
        if (keys[i].index != i && first_moved == n) first_moved = i;
    }
    if (first_moved == n) return;
    // Everything before the first moved entry is already in place.
    std::memcpy(position + first_moved, gathered + first_moved,
                static_cast<size_t>(n - first_moved) * sizeof(Vec2));
    permute_tail(sim.velocity, sim.velocity_scratch, keys, first_moved, n);
    permute_tail(sim.velocity_eval, sim.velocity_eval_scratch, keys, first_moved, n);
    if (sim.point_colors != 0) permute_tail(sim.color, sim.color_scratch, keys, first_moved, n);
}

void fill_cell_grid() {
    const KeyMaker key_of;
    const int32_t cells = sim.cell_count;
    uint16_t* fill = sim.grid.cell_fill;
    uint16_t* buckets = sim.grid.buckets;
    std::memset(fill, 0, static_cast<size_t>(cells > 0 ? cells : 0) * sizeof(uint16_t));
    const int32_t n = sim.count;
    if (n <= 0) return;
    std::memset(sim.neighbours.neighbour_count, 0, static_cast<size_t>(n) * sizeof(uint16_t));
    const Vec2* position = sim.position;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t key = key_of(position[i]);
        if (key < 0 || key >= cells) continue;  // outside the grid: in no cell this step
        const uint16_t used = fill[key];
        if (used >= cell_capacity) continue;  // full cell: the highest indices are dropped
        buckets[static_cast<size_t>(key) * cell_capacity + used] = static_cast<uint16_t>(i);
        fill[key] = static_cast<uint16_t>(used + 1);
    }
}
