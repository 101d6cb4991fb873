// Placeholder until seeding, sort, grid and neighbour search land; delete with that change.
#include "sph/sim_state.h"
#include "sph/steps.h"
SimState sim;
bool sim_init_seeded(int32_t, const PhysConfig&, float, uint32_t) { return false; }
bool sim_init(int32_t, const PhysConfig&, float) { return false; }
void sim_free() {}
void compute_cell_keys() {}
void sort_cell_keys() {}
void reorder_particles() {}
void fill_cell_grid() {}
void find_neighbours() {}
