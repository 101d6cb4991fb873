#pragma once

// Wall time of each stage of the last physics step, in milliseconds.
struct StepProfile {
    double sort_grid;   // compute_cell_keys .. fill_cell_grid
    double neighbours;  // find_neighbours
    double density;     // compute_density_pressure
    double forces;      // compute_pair_forces
    double bodies;      // the three body steps (0 without bodies)
    double integrate;   // integrate
    double total;
};

// One physics step in the frame driver's order: sort and grid, neighbours, density, forces,
// bodies when there are any, integration. Stirring is separate (apply_mouse_force).
void physics_step(StepProfile* profile);
