#pragma once
// Visiting the particles that may lie in an axis-aligned box through the cell grid, in ascending
// particle order: with every particle in a bucket and the buckets in particle order, those are
// the particles of the cells under the box, taken row by row. Used by the contacts of bodies and
// of obstacles with the fluid.
#include <algorithm>
#include <cstdint>

#include "sph/sim_state.h"

// Column or row of the cell holding coordinate v, as the grid forms it (truncation of v / h),
// cut to the grid; v is not NaN.
inline int32_t cell_line(float v, float inv_h, int32_t per_row) {
    const float line = v * inv_h;
    if (!(line > 0.0f)) return 0;
    if (!(line < static_cast<float>(per_row))) return per_row - 1;
    return static_cast<int32_t>(line);
}

// Whether the grid can be walked: the particles are in cell order and each is in a bucket.
inline bool grid_walkable() {
    return sim.grid.holds_all_in_order && sim.cells_per_row > 0;
}

// Calls visit(i) for every particle in the cells under the box, one cell more on each side in
// case the box's sides round to a cell other than a particle's at the same place. A box with a
// NaN side or its sides crossed holds no point and visits nothing. Needs grid_walkable().
template <typename Visit>
void for_each_particle_near_box(float min_x, float max_x, float min_y, float max_y, Visit visit) {
    if (!(min_x <= max_x && min_y <= max_y)) return;
    const CellGrid& grid = sim.grid;
    const int32_t per_row = sim.cells_per_row;
    const float inv_h = 1.0f / sim.smooth_radius;
    const int32_t x0 = std::max(cell_line(min_x, inv_h, per_row) - 1, 0);
    const int32_t x1 = std::min(cell_line(max_x, inv_h, per_row) + 1, per_row - 1);
    const int32_t y0 = std::max(cell_line(min_y, inv_h, per_row) - 1, 0);
    const int32_t y1 = std::min(cell_line(max_y, inv_h, per_row) + 1, per_row - 1);
    for (int32_t row = y0; row <= y1; ++row) {
        for (int64_t cell = int64_t{row} * per_row + x0; cell <= int64_t{row} * per_row + x1;
             ++cell) {
            const uint16_t* bucket = grid.buckets + cell * cell_capacity;
            for (int s = 0; s < grid.cell_fill[cell]; ++s)
                visit(static_cast<int32_t>(bucket[s]));
        }
    }
}
