#pragma once
// The fluid steps, in the order one physics step runs them. Each works on `sim` in place.

void compute_cell_keys();
void sort_cell_keys();
void reorder_particles();
void fill_cell_grid();
void find_neighbours();
void compute_density_pressure();
void compute_pair_forces();
void integrate();
// Stirring after the integration: sign +1 pulls particles within mouse_radius * h of (mx, my)
// towards it, -1 pushes them away.
void apply_mouse_force(float mx, float my, float sign);
