#pragma once
#include <atomic>
#include <cstdint>

#include "base/types.h"
#include "base/workers.h"
#include "bodies/rigid_body.h"
#include "config/settings_table.h"

constexpr int cell_capacity = 128;        // particles a grid cell holds; more are dropped
constexpr int neighbour_capacity = 384;   // pairs one particle's list holds; more are dropped
constexpr int max_particle_count = 65536; // indices in the grid and the lists are 16-bit
static_assert(max_particle_count == setting_limit::count_hi, "the count setting's limit");
// 1024^2 cells * cell_capacity slots * 2 bytes = 256 MiB of buckets; also keeps every cell key
// and the cell count far inside int32.
constexpr int max_cells_per_row = 1024;

struct SortKey {
    int32_t key;   // cell key cy * cells_per_row + cx
    int32_t index; // particle index when the key was computed
};

// Progress of one grid row through a pipelined pass over the rows (see sph/row_pipeline.h):
// the pass number in the high half, in the low half the column from which on every cell of
// the row is done. One cache line each, so rows worked on by different threads do not share.
struct alignas(64) RowProgress {
    std::atomic<uint64_t> value;
};

// Uniform grid of square cells of side smooth_radius. Bucket k is the run of cell_fill[k]
// ascending particle indices starting at k * cell_capacity.
//
// fill_cell_grid also writes how the search may split the work, read by find_neighbours
// (lanes) and by the density and pair-force steps (rows_pipelined): lane t owns the cells from
// lane_cell[t] and the particles from lane_particle[t] up to the next lane's.
struct CellGrid {
    uint16_t* buckets;   // cell_count * cell_capacity
    uint16_t* cell_fill; // cell_count
    int32_t lanes;       // 1: one pass over every cell, in key order
    int32_t lane_cell[max_threads + 1];
    int32_t lane_particle[max_threads + 1];
    // The particles were in cell order and the last column of cells is empty, so every pair
    // joins cells that touch in the plane and rows may be worked on at the same time.
    bool rows_pipelined;
    // The particles were in cell order and every one of them is in a bucket, so the particles
    // of a block of cells, taken row by row, come in ascending index (read by the body contacts).
    bool holds_all_in_order;
    RowProgress* row_progress; // cells_per_row, used by the pipelined passes only
};

struct NeighbourEntry {
    uint16_t index; // see the layout rule of NeighbourList
    float dist_sq;  // squared distance of the pair
};

// Each pair closer than smooth_radius is stored once, on the list of the particle found first.
// The lists are packed one after another in particle order (the search visits particles in
// ascending index), so list p is entries[first_entry[p] .. first_entry[p] + neighbour_count[p]).
// With several lanes, each lane packs its lists from first_particle * neighbour_capacity on,
// where first_particle is the lane's first (CellGrid), so the lists are the same at every
// thread count; only where they lie in the block differs. Capacity per list is still
// neighbour_capacity; the block is sized for count lists that full, but only the used prefix
// of each lane's part is ever touched, which keeps the walk through it sequential.
//
// Layout rule: a non-empty list p starts with p itself at distance 0 (its own slot is the first
// candidate of its scan), and every later entry names another particle, one found after p in
// cell order. find_neighbours writes it (and checks it in debug builds); the density and force
// steps skip entry 0 and keep p's sums in registers while walking the list, which is right only
// because no later entry names p. A particle in no cell (outside the grid, or dropped from a
// full one) or with a position that is not finite has an empty list.
//
// Writers and readers: fill_cell_grid clears neighbour_count, find_neighbours writes all three
// arrays, compute_density_pressure and compute_pair_forces read them.
struct NeighbourList {
    NeighbourEntry* entries;   // count * neighbour_capacity
    uint16_t* neighbour_count; // count
    uint32_t* first_entry;     // count; valid where neighbour_count is non-zero
};

// The whole fluid simulation, one process-wide instance.
//
// Per-particle arrays (N = count), who writes and who reads them in one step:
//   position, velocity, velocity_eval, color: permuted into cell order by reorder_particles;
//     integrate writes position/velocity/velocity_eval, apply_mouse_force adds to the two
//     velocities; find_neighbours, contacts, drawing and the surface read position; the pair
//     forces read velocity_eval; colour: seeded by sim_init, exchanged by compute_pair_forces
//     (mode 1), rewritten by compute_density_pressure (mode 2), read by draw_particles.
//   force: acceleration (length/time^2). Cleared and filled by compute_pair_forces, added to by
//     apply_fluid_body_contact, consumed by integrate. Not permuted.
//   density_pressure: written by compute_density_pressure (x = 1/density, y = pressure already
//     scaled by pressure_coef), read by compute_pair_forces. Not permuted.
//   sort_keys: written by compute_cell_keys, sorted by sort_cell_keys, read by reorder_particles.
//   *_scratch: gather buffers of reorder_particles (sort_keys_scratch: of sort_cell_keys) only.
struct SimState {
    // Settings: a copy of each the simulation keeps from [phys] (config/settings_table.h), in
    // the list's order. h = smooth_radius is the kernel support, the grid cell side and the lower
    // wall; field_size the upper walls; mouse_radius is in multiples of h. count is the length
    // of every per-particle array; geom_count the bodies actually generated (it may end below
    // the setting). The keys in play change mouse_radius and mouse_force. (Fields of their own
    // rather than a PhysConfig member: moving them changes how the x87 build keeps values in
    // registers, and so its results.)
#define TARNWELL_SIM_FIELD(type, key, ...) type key;
    TARNWELL_SIM_SETTINGS(TARNWELL_SIM_FIELD)
#undef TARNWELL_SIM_FIELD
    int32_t point_colors;  // [graph]
    float point_diffusion; // [graph]; 0 unless colours are on

    // Gravity along y: current_gravity is what acts; the middle button zeroes it while held
    // and on release flips toggled_gravity and copies it back.
    float current_gravity;
    float toggled_gravity;

    // Copied from derive_sim_values by sim_init.
    int32_t cells_per_row;
    int32_t cell_count;
    float poly6_coef;
    float pressure_coef;
    float viscosity_coef;

    Vec2* position;
    Vec2* velocity;
    Vec2* velocity_eval; // mean of the velocities before and after the last step
    Vec2* force;
    Vec2* density_pressure; // x: 1/density (raw kernel sum while summing), y: pressure
    Color3* color;          // only when point_colors is non-zero
    SortKey* sort_keys;
    SortKey* sort_keys_scratch; // gather buffer of the counting and radix sorts
    uint32_t* cell_start;       // cell_count + 1: counting-sort offsets of sort_cell_keys
    Vec2* position_scratch;
    Vec2* velocity_scratch;
    Vec2* velocity_eval_scratch;
    Color3* color_scratch;

    CellGrid grid;
    NeighbourList neighbours;
    RigidBody* bodies; // geom_count records

    // Set once a position or velocity of a particle (integrate) or of a body (physics_step,
    // after step_bodies) is stored as infinity or NaN; cleared only by sim_init. The callers
    // stop stepping when it is set. Kept last: moving the fields above changes how the x87
    // build keeps values in registers, and so its results.
    bool blown_up;
};

extern SimState sim;

struct PhysConfig;

// What follows from the [phys] settings alone. Initialisation, the validation of the settings
// and the tests all take these from derive_sim_values, so they agree to the bit. Everything is
// 0 unless h is positive and finite.
struct SimDerived {
    // Square cells of side h covering 0 .. (2h + field_size) on both axes, so the box
    // [h, field_size] has at least one spare cell beyond each wall.
    float cells_per_row_exact; // (2h + field_size) / h before truncation
    int32_t cells_per_row;     // 0 when the quotient is not in 1 .. max_cells_per_row
    int32_t cell_count;
    float poly6_coef;     // mass * 315 / (64 pi h^9)
    float pressure_coef;  // stiff * mass * 45 / (2 pi h^6)
    float viscosity_coef; // viscosity * mass * 45 / (pi h^6)
};
SimDerived derive_sim_values(const PhysConfig& phys);

// Whether sim_init_seeded can build a simulation from `phys`, memory aside: the particle count
// fits the 16-bit indices, the body count is not negative, h is positive, the walls are finite
// and the grid fits.
bool sim_settings_buildable(const PhysConfig& phys);

struct SceneDescription;
// Builds the simulation: copies the settings, allocates every array, starts the worker threads
// (phys.threads), seeds the particles from `seed` and generates the bodies; then, with a
// `scene_description`, builds `scene` (sph/scene_state.h) from it: its lattice blocks replace
// the random block (phys.count must be their site count, scene_lattice_sites), its bodies follow
// the random ones, and its obstacles, moving wall, emitters and drains are set up. Returns false
// (nothing left allocated) when memory runs out.
bool sim_init_seeded(int32_t point_colors, const PhysConfig& phys, float point_diffusion,
                     uint32_t seed, const SceneDescription* scene_description = nullptr);
// The same, seeded from the calendar time in whole seconds.
bool sim_init(int32_t point_colors, const PhysConfig& phys, float point_diffusion);
// Switches the particle colours of the running simulation (0 white, 1 gradient, 2 density
// ramp) without touching the fluid. The colour arrays are allocated the first time colours are
// needed; false, and nothing changed, when that fails.
bool sim_set_colours(int32_t point_colors, float point_diffusion);
void sim_free();
