#pragma once
#include <cstdint>

#include "sph/sim_state.h"

// Cell key of a position: trunc(y / h) * cells_per_row + trunc(x / h), with `inv_h` the float
// reciprocal of h. Positions whose key cannot be formed exactly (NaN, infinite or far outside
// the grid) get a key outside 0 .. cell_count - 1, so they sort to one end and land in no cell.
int32_t cell_key(Vec2 position, float inv_h, int32_t cells_per_row);

// Stable sorts, ascending by key. A stable sort by key has exactly one result, so both give the
// order of the plain insertion sort (equal keys never pass each other) in linear time, also on
// the first step after random seeding, where insertion would go quadratic. The radix sort
// (`scratch` of n entries) takes any key.
void radix_sort_keys(SortKey* keys, SortKey* scratch, int32_t n);
// Stable counting sort over the cell keys 0 .. cells - 1, with `start` of cells + 1 counters
// and `scratch` of n entries. Returns false, with the keys unchanged, when a key lies outside
// that range; keys already in order are left as they are.
bool counting_sort_keys(SortKey* keys, SortKey* scratch, int32_t n, uint32_t* start, int32_t cells);
