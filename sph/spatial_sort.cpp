#include "sph/spatial_sort.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/workers.h"
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

} // namespace

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
        const int64_t cells =
            (int64_t{1} << 30) / (static_cast<int64_t>(per_row > 0 ? per_row : 0) + 1);
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

// The key maker of the grid pass, whose reciprocal has been stored as a float: where floats
// are evaluated wider, the sorting pass may use a wider one, as the single-threaded program did.
KeyMaker stored_key_maker() {
    KeyMaker key_of;
    key_of.inv_h = as_stored(key_of.inv_h);
    return key_of;
}

} // namespace

bool counting_sort_keys(SortKey* keys, SortKey* scratch, int32_t n, uint32_t* start,
                        int32_t cells) {
    if (n < 2) return true;
    int32_t i = 1;
    while (i < n && keys[i - 1].key <= keys[i].key)
        ++i;
    if (i == n) return keys[0].key >= 0 && keys[n - 1].key < cells; // nothing to move
    std::memset(start, 0, (static_cast<size_t>(cells) + 1) * sizeof(uint32_t));
    for (i = 0; i < n; ++i) {
        const uint32_t k = static_cast<uint32_t>(keys[i].key);
        if (k >= static_cast<uint32_t>(cells)) return false; // negative keys wrap past cells too
        ++start[k + 1];
    }
    for (int32_t k = 0; k < cells; ++k)
        start[k + 1] += start[k];
    for (i = 0; i < n; ++i)
        scratch[start[keys[i].key]++] = keys[i];
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
        if (histogram[d][first_digit] == static_cast<uint32_t>(n)) continue; // all alike
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
    const Vec2* position = sim.position;
    SortKey* keys = sim.sort_keys;
    const int32_t n = sim.count;
    const int lanes = lanes_for(n);
    run_lanes(lanes, [&](int lane) {
        // Made in the lane, like in every other pass that forms keys: where floats are
        // evaluated wider (x87) the reciprocal then stays in a register as in those passes,
        // and every pass forms the same keys.
        const KeyMaker key_of;
        const IndexRange r = lane_range(lane, lanes, n);
        for (int32_t i = r.begin; i < r.end; ++i)
            keys[i] = SortKey{key_of(position[i]), i};
    });
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

template <typename T>
void gather(T* scratch, const T* data, const SortKey* keys, int32_t first, int32_t end) {
    for (int32_t i = first; i < end; ++i)
        scratch[i] = data[keys[i].index];
}

template <typename T> void copy_back(T* data, const T* scratch, int32_t first, int32_t end) {
    if (first < end) {
        std::memcpy(data + first, scratch + first, static_cast<size_t>(end - first) * sizeof(T));
    }
}

// Fills the buckets of cells c0 .. c1-1 from the particles begin .. end-1 and reports whether
// their keys, and the key of the particle before them, are in ascending order. A particle of
// the grid whose cell lies outside c0 .. c1-1 proves them out of order and is left out.
bool fill_particles(int32_t begin, int32_t end, int32_t c0, int32_t c1, int32_t* placed) {
    const KeyMaker key_of = stored_key_maker();
    uint16_t* fill = sim.grid.cell_fill;
    uint16_t* buckets = sim.grid.buckets;
    const Vec2* position = sim.position;
    bool in_order = true;
    int32_t in_buckets = 0;
    int32_t previous =
        begin > 0 ? key_of(position[begin - 1]) : std::numeric_limits<int32_t>::min();
    for (int32_t i = begin; i < end; ++i) {
        const int32_t key = key_of(position[i]);
        in_order = in_order && key >= previous;
        previous = key;
        if (key < 0 || key >= sim.cell_count) continue; // outside the grid: in no cell this step
        if (key < c0 || key >= c1) {
            in_order = false;
            continue;
        }
        const uint16_t used = fill[key];
        if (used >= cell_capacity) continue; // full cell: the highest indices are dropped
        buckets[static_cast<size_t>(key) * cell_capacity + used] = static_cast<uint16_t>(i);
        fill[key] = static_cast<uint16_t>(used + 1);
        ++in_buckets;
    }
    *placed = in_buckets;
    return in_order;
}

// Particle lanes for the grid: even parts moved on to where the key changes, so that all the
// particles of a cell fall into one lane; lane t owns the cells from the key of its first
// particle. Only meaningful when the particles are in cell order.
void split_at_cells(int lanes) {
    const KeyMaker key_of = stored_key_maker();
    CellGrid& grid = sim.grid;
    const int32_t n = sim.count;
    const int32_t cells = sim.cell_count;
    const Vec2* position = sim.position;
    grid.lane_particle[0] = 0;
    grid.lane_cell[0] = 0;
    for (int t = 1; t < lanes; ++t) {
        int32_t i = lane_range(t, lanes, n).begin;
        if (i < grid.lane_particle[t - 1]) i = grid.lane_particle[t - 1];
        while (i > 0 && i < n && key_of(position[i]) == key_of(position[i - 1]))
            ++i;
        grid.lane_particle[t] = i;
        const int32_t key = i < n ? key_of(position[i]) : cells;
        const int32_t cell = key < 0 ? 0 : (key > cells ? cells : key);
        grid.lane_cell[t] = cell > grid.lane_cell[t - 1] ? cell : grid.lane_cell[t - 1];
    }
    grid.lane_particle[lanes] = n;
    grid.lane_cell[lanes] = cells;
    grid.lanes = lanes;
}

// With the particles in cell order, pairs only join cells that touch in the plane unless a
// cell of the last column holds particles: there the linear keys reach across to the first
// column of the rows above (and the first column's upper-left key is the row's last cell).
bool rows_can_pipeline(bool in_order) {
    const int32_t per_row = sim.cells_per_row;
    const float h = sim.smooth_radius;
    // Without h^2 > 0 no particle meets even itself, and the rows would not know which
    // particles lie in no bucket.
    if (!in_order || per_row < 3 || !(h * h > 0.0f)) return false;
    for (int32_t row = 0; row < per_row; ++row) {
        if (sim.grid.cell_fill[static_cast<size_t>(row) * per_row + per_row - 1] != 0) return false;
    }
    return true;
}

// Lanes of the grid and of the neighbour search. The search costs more per particle where the
// fluid is denser: in a settled pool the lower half of the particles has about twice the
// neighbours of the upper half, so lanes of even particle counts do not carry even work. Cut
// finer than the threads, which take each other's left-over lanes once their own are done, and
// the work evens out.
int grid_lanes(int32_t n) {
    const int threads = worker_threads();
    if (threads == 1) return 1;
    constexpr int lanes_per_thread = 8;
    const int most = lanes_for(n) == 1 ? 1 : n / 256; // no lane shorter than lanes_for's
    const int64_t wanted = static_cast<int64_t>(threads) * lanes_per_thread;
    const int64_t lanes = wanted < most ? wanted : most;
    return static_cast<int>(lanes < max_threads ? lanes : max_threads);
}

} // namespace

void reorder_particles() {
    const int32_t n = sim.count;
    const SortKey* keys = sim.sort_keys;
    const bool colours = sim.point_colors != 0;
    const int lanes = lanes_for(n);
    // Everything is gathered before anything is written back, since a lane gathers from any
    // element. Within a lane, the elements before its first moved one are already in place.
    int32_t first_moved[max_threads];
    run_lanes(lanes, [&](int lane) {
        const IndexRange r = lane_range(lane, lanes, n);
        int32_t first = r.end;
        for (int32_t i = r.begin; i < r.end; ++i) {
            sim.position_scratch[i] = sim.position[keys[i].index];
            if (keys[i].index != i && first == r.end) first = i;
        }
        first_moved[lane] = first;
        gather(sim.velocity_scratch, sim.velocity, keys, first, r.end);
        gather(sim.velocity_eval_scratch, sim.velocity_eval, keys, first, r.end);
        if (colours) gather(sim.color_scratch, sim.color, keys, first, r.end);
    });
    run_lanes(lanes, [&](int lane) {
        const int32_t first = first_moved[lane];
        const int32_t end = lane_range(lane, lanes, n).end;
        copy_back(sim.position, sim.position_scratch, first, end);
        copy_back(sim.velocity, sim.velocity_scratch, first, end);
        copy_back(sim.velocity_eval, sim.velocity_eval_scratch, first, end);
        if (colours) copy_back(sim.color, sim.color_scratch, first, end);
    });
}

void fill_cell_grid() {
    const int32_t cells = sim.cell_count;
    const int32_t n = sim.count;
    CellGrid& grid = sim.grid;
    const int lanes = grid_lanes(n);
    bool in_order = false;
    int32_t placed = 0;
    if (lanes > 1) {
        // Each lane clears and fills the cells of its own particles, which is the sequential
        // result as long as the particles are in cell order; otherwise it is done again below.
        split_at_cells(lanes);
        bool lane_in_order[max_threads];
        int32_t lane_placed[max_threads];
        run_lanes(lanes, [&](int lane) {
            const int32_t c0 = grid.lane_cell[lane];
            const int32_t p0 = grid.lane_particle[lane];
            const int32_t p1 = grid.lane_particle[lane + 1];
            std::memset(grid.cell_fill + c0, 0,
                        static_cast<size_t>(grid.lane_cell[lane + 1] - c0) * sizeof(uint16_t));
            std::memset(sim.neighbours.neighbour_count + p0, 0,
                        static_cast<size_t>(p1 - p0) * sizeof(uint16_t));
            lane_in_order[lane] =
                fill_particles(p0, p1, c0, grid.lane_cell[lane + 1], &lane_placed[lane]);
        });
        in_order = true;
        placed = 0;
        for (int t = 0; t < lanes; ++t) {
            in_order = in_order && lane_in_order[t];
            placed += lane_placed[t];
        }
    }
    if (!in_order) {
        grid.lanes = 1;
        grid.lane_particle[0] = 0;
        grid.lane_particle[1] = n > 0 ? n : 0;
        grid.lane_cell[0] = 0;
        grid.lane_cell[1] = cells > 0 ? cells : 0;
        std::memset(grid.cell_fill, 0,
                    static_cast<size_t>(cells > 0 ? cells : 0) * sizeof(uint16_t));
        if (n > 0) {
            std::memset(sim.neighbours.neighbour_count, 0,
                        static_cast<size_t>(n) * sizeof(uint16_t));
        }
        in_order = fill_particles(0, n > 0 ? n : 0, 0, cells, &placed);
    }
    grid.rows_pipelined = rows_can_pipeline(in_order);
    grid.holds_all_in_order = in_order && placed == n;
}
