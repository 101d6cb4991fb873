// The water's neighbour lists: every particle within h of p but p itself, on p's own list.
//
// Solver 0 stores each pair once and adds to both of its particles, which makes every sum
// depend on the order of the walk: threads must then keep to the single-threaded order, row
// behind row (sph/row_pipeline.h), and wait for each other many times a pass. The water walks
// its lists four times a sub-step, so each particle here gathers from a list of its own
// instead: a particle's sums are its own business, any split of the particles over threads
// gives the same bits, and each pair's terms, computed on both lists from the same squared
// distance, are equal and opposite to the last bit, so the pair terms still keep momentum.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "base/float_path.h"
#include "base/workers.h"
#include "sph/sim_state.h"
#include "sph/water.h"

#if TARNWELL_SSE2_PATH
#include <emmintrin.h>
#endif

namespace {

// The nine cells around a particle's own, gathered once per cell: the row below, the own row
// and the row above, each from left to right, so a list names its particles in cell order.
// Three slots of NaN behind the last let the scan read four at a time.
constexpr int stencil_capacity = 9 * cell_capacity + 3;

struct Stencil {
    alignas(16) float x[stencil_capacity];
    alignas(16) float y[stencil_capacity];
    alignas(16) uint32_t index[stencil_capacity];
    int total;
};

#if TARNWELL_SSE2_PATH
// The particle whose list a scan finds, in every lane: where it is, h^2 and its index.
struct Probe {
    __m128 x;
    __m128 y;
    __m128 h2;
    __m128i self;
};
inline Probe probe(float px, float py, float h2, uint32_t self) {
    return Probe{_mm_set1_ps(px), _mm_set1_ps(py), _mm_set1_ps(h2),
                 _mm_set1_epi32(static_cast<int>(self))};
}

// All bits set in the lanes of the four candidates at (xs, ys) closer to the probe than h, by
// dy*dy + dx*dx as the portable scans compute it.
inline __m128 closer(const float* xs, const float* ys, const Probe& p) {
    const __m128 dx = _mm_sub_ps(p.x, _mm_loadu_ps(xs));
    const __m128 dy = _mm_sub_ps(p.y, _mm_loadu_ps(ys));
    const __m128 d2 = _mm_add_ps(_mm_mul_ps(dy, dy), _mm_mul_ps(dx, dx));
    return _mm_cmplt_ps(d2, p.h2);
}

// Writes four candidates at out[count] on and returns the count moved on past those whose bit is
// set in `hits`: every candidate is written and the count moves on only at a hit, so there is no
// branch on data.
inline int keep_hits(uint16_t* out, int count, int hits, uint32_t a, uint32_t b, uint32_t c,
                     uint32_t d) {
    out[count] = static_cast<uint16_t>(a);
    count += hits & 1;
    out[count] = static_cast<uint16_t>(b);
    count += (hits >> 1) & 1;
    out[count] = static_cast<uint16_t>(c);
    count += (hits >> 2) & 1;
    out[count] = static_cast<uint16_t>(d);
    return count + ((hits >> 3) & 1);
}
#endif

// Appends every candidate closer than h to (px, py) but the particle `self` to `out` (room for
// total + 3) and returns how many. Only a strict comparison of dy*dy + dx*dx, computed alike on
// both paths, decides, so both give the same lists. The particle is left out by its index:
// writing NaN over its own slot instead came out of emscripten's vector code as NaN in every
// lane.
int scan(const Stencil& st, float px, float py, float h2, uint32_t self, uint16_t* out) {
    int count = 0;
#if TARNWELL_SSE2_PATH
    const Probe pr = probe(px, py, h2, self);
    for (int j = 0; j < st.total; j += 4) {
        const __m128 itself = _mm_castsi128_ps(_mm_cmpeq_epi32(
            _mm_load_si128(reinterpret_cast<const __m128i*>(st.index + j)), pr.self));
        const int hits = _mm_movemask_ps(_mm_andnot_ps(itself, closer(st.x + j, st.y + j, pr)));
        count = keep_hits(out, count, hits, st.index[j], st.index[j + 1], st.index[j + 2],
                          st.index[j + 3]);
    }
#else
    for (int j = 0; j < st.total; ++j) {
        const float dx = px - st.x[j];
        const float dy = py - st.y[j];
        const float d2 = dy * dy + dx * dx;
        out[count] = static_cast<uint16_t>(st.index[j]);
        count += d2 < h2 && st.index[j] != self ? 1 : 0;
    }
#endif
    return count;
}

// A row of the stencil when every particle lies in a bucket in cell order: the particles of the
// row's cells are then the indices begin .. end-1, whose coordinates the scan reads where they
// are instead of gathering them first (which took a third of the search).
struct Run {
    uint32_t begin;
    uint32_t end;
};

// As scan, over the runs in turn, with the coordinates in xs and ys (room for four past the
// last particle); writes up to three entries past each run's candidates.
int scan_runs(const float* xs, const float* ys, const Run* runs, int run_count, float px, float py,
              float h2, uint32_t self, uint16_t* out) {
    int count = 0;
#if TARNWELL_SSE2_PATH
    const Probe pr = probe(px, py, h2, self);
    const __m128i lane = _mm_set_epi32(3, 2, 1, 0);
    for (int r = 0; r < run_count; ++r) {
        const __m128i vend = _mm_set1_epi32(static_cast<int>(runs[r].end));
        for (uint32_t j = runs[r].begin; j < runs[r].end; j += 4) {
            const __m128i index = _mm_add_epi32(_mm_set1_epi32(static_cast<int>(j)), lane);
            // Within the run and not the particle itself.
            const __m128 other = _mm_castsi128_ps(
                _mm_andnot_si128(_mm_cmpeq_epi32(index, pr.self), _mm_cmplt_epi32(index, vend)));
            const int hits = _mm_movemask_ps(_mm_and_ps(other, closer(xs + j, ys + j, pr)));
            count = keep_hits(out, count, hits, j, j + 1, j + 2, j + 3);
        }
    }
    // What was written past a run's end need not name a particle, and the density pass reads a
    // list's spare room as particle indices (dropping their terms): the three entries after the
    // last hit name the particle itself. They lie within what the scan may write anyway (the
    // particle is one of the candidates, so the hits are fewer than them).
    out[count] = out[count + 1] = out[count + 2] = static_cast<uint16_t>(self);
#else
    for (int r = 0; r < run_count; ++r) {
        for (uint32_t j = runs[r].begin; j < runs[r].end; ++j) {
            const float dx = px - xs[j];
            const float dy = py - ys[j];
            const float d2 = dy * dy + dx * dx;
            out[count] = static_cast<uint16_t>(j);
            count += d2 < h2 && j != self ? 1 : 0;
        }
    }
#endif
    return count;
}

// Keeps particle p's list of found_count candidates, which the scan wrote at `cursor` already
// (`direct`) or into `found`, and returns where the next list starts.
uint32_t keep_list(uint32_t p, int found_count, uint32_t cursor, const uint16_t* found,
                   bool direct) {
    const int kept = found_count < water_neighbour_slots ? found_count : water_neighbour_slots;
    if (!direct)
        std::memcpy(water.near + cursor, found, sizeof(uint16_t) * static_cast<size_t>(kept));
    water.near_first[p] = cursor;
    water.near_count[p] = static_cast<uint8_t>(kept);
    // Each list takes room for a multiple of four entries, so that the density pass can read
    // and write four at a time without touching the next list.
    return cursor + static_cast<uint32_t>((kept + 3) & ~3);
}

// The lists of the particles of cell `own`, from runs (every particle in a bucket, in cell
// order); returns the next list's start.
uint32_t search_runs(int32_t own, uint32_t cursor, uint32_t limit, uint16_t* found) {
    const float h = sim.smooth_radius;
    const float h2 = h * h;
    const int32_t per_row = sim.cells_per_row;
    const uint16_t* fill = sim.grid.cell_fill;
    const uint16_t* buckets = sim.grid.buckets;
    const int32_t cx = own % per_row;
    const int32_t cy = own / per_row;
    const int32_t x0 = cx > 0 ? cx - 1 : 0;
    const int32_t x1 = cx + 1 < per_row ? cx + 1 : per_row - 1;
    Run runs[3];
    int run_count = 0;
    uint32_t total = 0;
    for (int32_t y = cy - 1; y <= cy + 1; ++y) {
        if (y < 0 || y >= per_row) continue;
        Run run{0, 0};
        for (int32_t key = y * per_row + x0; key <= y * per_row + x1; ++key) {
            if (fill[key] == 0) continue;
            if (run.end == run.begin)
                run.begin = run.end = buckets[static_cast<size_t>(key) * cell_capacity];
            run.end += fill[key];
        }
        if (run.end == run.begin) continue;
        runs[run_count++] = run;
        total += run.end - run.begin;
    }
    const uint16_t* own_slots = buckets + static_cast<size_t>(own) * cell_capacity;
    for (int s = 0; s < fill[own]; ++s) {
        const uint32_t p = own_slots[s];
        uint16_t* out = water.near + cursor;
        const bool direct = cursor + total + 3u * static_cast<uint32_t>(run_count) <= limit;
        const int found_count =
            scan_runs(water.search_x, water.search_y, runs, run_count, water.search_x[p],
                      water.search_y[p], h2, p, direct ? out : found);
        cursor = keep_list(p, found_count, cursor, found, direct);
    }
    return cursor;
}

// Lists of the particles in cells c0 .. c1-1, packed from entry `cursor` on, before `limit`.
void search_cells(int32_t c0, int32_t c1, uint32_t cursor, uint32_t limit) {
    const float h = sim.smooth_radius;
    const float h2 = h * h;
    const int32_t per_row = sim.cells_per_row;
    const Vec2* position = sim.position;
    const uint16_t* fill = sim.grid.cell_fill;
    const uint16_t* buckets = sim.grid.buckets;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Stencil st;
    // The scan over runs writes up to three entries past each of three runs.
    alignas(16) uint16_t found[stencil_capacity + 6];
    const bool in_place = sim.grid.holds_all_in_order;
    for (int32_t own = c0; own < c1; ++own) {
        const int own_fill = fill[own];
        if (own_fill == 0) continue;
        if (in_place) {
            cursor = search_runs(own, cursor, limit, found);
            continue;
        }
        const int32_t cx = own % per_row;
        const int32_t cy = own / per_row;
        st.total = 0;
        int own_start = 0;
        for (int32_t y = cy - 1; y <= cy + 1; ++y) {
            if (y < 0 || y >= per_row) continue;
            for (int32_t x = cx - 1; x <= cx + 1; ++x) {
                if (x < 0 || x >= per_row) continue;
                const int32_t key = y * per_row + x;
                if (key == own) own_start = st.total;
                const uint16_t* slots = buckets + static_cast<size_t>(key) * cell_capacity;
                for (int s = 0; s < fill[key]; ++s) {
                    const uint16_t q = slots[s];
                    st.x[st.total] = position[q].x;
                    st.y[st.total] = position[q].y;
                    st.index[st.total] = q;
                    ++st.total;
                }
            }
        }
        for (int j = st.total; j < st.total + 3; ++j) {
            st.x[j] = nan;
            st.y[j] = nan;
            st.index[j] = 0;
        }
        for (int k = own_start; k < own_start + own_fill; ++k) {
            const uint32_t p = st.index[k];
            // The scan writes every candidate it passes, so it goes straight into the lists
            // where the lane's block has room for all of them, and through `found` otherwise.
            uint16_t* out = water.near + cursor;
            const bool direct = cursor + static_cast<uint32_t>(st.total) + 3u <= limit;
            const int found_count = scan(st, st.x[k], st.y[k], h2, p, direct ? out : found);
            cursor = keep_list(p, found_count, cursor, found, direct);
        }
    }
}

} // namespace

// Over the grid's lanes (cells of about even particle counts, more lanes than threads, which
// take each other's left-over lanes once their own are done). A particle in no bucket keeps the
// empty list its caller gave it. With several lanes the particles are in cell order (fill_cell_grid
// falls back to one lane otherwise), so a lane's cells hold no more particles than its range, and
// its lists, at most water_neighbour_slots each, end before the next lane's begin.
void find_water_neighbours() {
    const CellGrid& grid = sim.grid;
    if (grid.holds_all_in_order) {
        const Vec2* position = sim.position;
        run_ranges(sim.count, [&](int32_t begin, int32_t end) ONE_BODY_LAMBDA {
            for (int32_t i = begin; i < end; ++i) {
                water.search_x[i] = position[i].x;
                water.search_y[i] = position[i].y;
            }
        });
    }
    run_lanes(grid.lanes, [&](int lane) ONE_BODY_LAMBDA {
        search_cells(grid.lane_cell[lane], grid.lane_cell[lane + 1],
                     static_cast<uint32_t>(grid.lane_particle[lane]) * water_neighbour_slots,
                     static_cast<uint32_t>(grid.lane_particle[lane + 1]) * water_neighbour_slots);
    });
}
