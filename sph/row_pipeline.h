#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "base/assert.h"
#include "base/workers.h"
#include "sph/sim_state.h"

// The density sums, the pair forces and the colour exchange walk the neighbour lists from the
// last particle down, and each pair adds to both of its particles: the value a particle ends
// with depends on the order of those additions, so the walk cannot simply be cut into ranges.
//
// With the particles in cell order, the lists of cell (r, x) (row r, column x) reach the
// cells (r, x), (r, x+1) and (r+1, x-1 .. x+1), and descending particle index is: rows from
// the top, cells from right to left, slots from last to first. The particles of row r+1 are
// touched by the lists of rows r+1 and r only, and the lists of row r+1 that touch the cells
// (r+1, x-1 .. x+1) are those of its cells from x-2 rightwards. So rows can run at the same
// time, each on its own thread and a little behind the row above: cell (r, x) may start once
// row r+1 has finished every cell from column x-2 on. Every particle then receives its
// additions in exactly the order of the single-threaded walk.

// Lanes the pipelined walk may use now: 1 unless the grid allows it (CellGrid::rows_pipelined)
// and there are threads to share it.
inline int pipeline_lanes() {
    if (!sim.grid.rows_pipelined) return 1;
    const int lanes = lanes_for(sim.count);
    return lanes < sim.cells_per_row ? lanes : sim.cells_per_row;
}

// Cells a row lets the row above run ahead when it has caught up with it.
constexpr int32_t pipeline_slack = 8;

// A number no earlier pipelined pass of this process used (never 0).
uint32_t next_pipeline_pass();

// Calls visit(begin, end) for the particles begin .. end-1 of every occupied cell (a cell's
// particles are consecutive, in cell order), which the visitor walks from end-1 down; rows are
// spread over `lanes` threads as above (lanes <= worker_threads()). Particles in no bucket are
// not visited: they have no list and stand in none.
template <typename Visit> void visit_rows_pipelined(int lanes, const Visit& visit) {
    // A lane waits for the lane of the row above, so every lane needs a thread of its own: with
    // fewer threads the lanes run one after another and the first one waits for ever.
    TARNWELL_ASSERT(lanes <= worker_threads(), "more pipeline lanes than threads");
    const int32_t per_row = sim.cells_per_row;
    const uint16_t* fill = sim.grid.cell_fill;
    const uint16_t* buckets = sim.grid.buckets;
    RowProgress* progress = sim.grid.row_progress;
    const uint64_t pass = static_cast<uint64_t>(next_pipeline_pass()) << 32;
    run_lanes(lanes, [&](int lane) {
        for (int32_t row = per_row - 1 - lane; row >= 0; row -= lanes) {
            const bool top = row + 1 == per_row;
            const RowProgress& above = progress[top ? row : row + 1];
            RowProgress& mine = progress[row];
            int32_t above_done_from = top ? 0 : per_row; // last value seen, cached
            const size_t row_key = static_cast<size_t>(row) * static_cast<size_t>(per_row);
            for (int32_t col = per_row - 1; col >= 0; --col) {
                const int used = fill[row_key + col];
                if (used == 0) continue;
                const int32_t need = col >= 2 ? col - 2 : 0;
                if (above_done_from > need) {
                    // Caught up: let the row above get a few cells ahead before going on, so
                    // the two threads do not trade the progress line back and forth every cell.
                    const int32_t ahead = need > pipeline_slack ? need - pipeline_slack : 0;
                    int rounds = 0;
                    for (;;) {
                        const uint64_t v = above.value.load(std::memory_order_acquire);
                        if ((v & 0xffffffff00000000ull) == pass) {
                            above_done_from = static_cast<int32_t>(static_cast<uint32_t>(v));
                        }
                        if (above_done_from <= ahead) break;
                        pause_waiting(&rounds);
                    }
                }
                const int32_t first = buckets[(row_key + col) * cell_capacity];
                visit(first, first + used);
                mine.value.store(pass | static_cast<uint32_t>(col), std::memory_order_release);
            }
            mine.value.store(pass, std::memory_order_release); // done from column 0 on
        }
    });
}
