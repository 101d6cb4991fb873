// Placeholder until density, forces, integration and stirring land; delete with that change.
#include "sph/steps.h"
void compute_density_pressure() {}
void compute_pair_forces() {}
void integrate() {}
void apply_mouse_force(float, float, float) {}
