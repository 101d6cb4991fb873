#pragma once
// Solver 1, water that keeps its volume: position-based fluids (Macklin and Mueller, "Position
// Based Fluids", ACM TOG 32(4), 2013) with a normalised two-dimensional cubic spline kernel and
// boundary particles sampled on walls, obstacles, the moving wall and the bodies (Akinci et al.,
// "Versatile rigid-fluid coupling for incompressible SPH", ACM TOG 31(4), 2012).
//
// Why this method: each step projects the particles onto the density constraint
// rho_i / rest_density = 1 with a few Jacobi iterations, which stays stable at the frame's time
// step where pressure solvers need many more smaller steps; the fluid then keeps its volume at a
// cost that still runs in real time at 10,000 particles. Only compressed particles push
// (the constraint is one-sided), so the free surface does not pull itself into clumps.
//
// One process-wide `water` beside `sim` (a record of its own, so solver 0's SimState and its
// bits stay as they are). With solver 0 it is empty and nothing here runs.
#include <cstdint>

#include "base/types.h"
#include "sph/physics_step.h"
#include "sph/sim_state.h"

// Iterations of the density constraint per sub-step: the water_iterations setting, 4 unless
// set, from water_fewest_iterations to water_most_iterations. Each one past 4 costs about 14 %
// of a step and takes the dam break's most compressed interior particle lower (3.1 % at 3 s
// with 4, 2.2 % with 5). Two at least: the last one is accelerated from the one before it.
constexpr int water_fewest_iterations = 2;
constexpr int water_most_iterations = 8;
static_assert(water_fewest_iterations == setting_limit::water_iterations_lo &&
                  water_most_iterations == setting_limit::water_iterations_hi,
              "the water_iterations setting's limits");
// Jacobi corrections overshoot where constraints share particles; each is taken at this
// fraction (1 overshoots until the fluid boils). 0.75 and 0.8 leave a pool at rest calmer and
// the dam break less compressed (its most compressed interior particle above 3 % in 7 and 0 of
// 55 looks from 2 to 6 s, against 18), but the splash then feeds on the overshoot: in the first
// second the dam break's energy rises to 137 and 161 % of its start, and 0.85 flies apart.
constexpr float water_relaxation = 0.7f;
// A Jacobi solver holds a column up only by compressing it: the deeper, the more, about in
// proportion to g dt^2 / (iterations * relaxation). Each sub-step therefore starts from this
// fraction of the pressure the one before found (spread over its iterations, and only where a
// particle is compressed, so that spray is never pushed apart), and finds the rest itself. At
// 0.5 the bottom of a pool 18 smoothing radii deep is 1.3 % over rest density instead of 4 %;
// from 0.6 on, a resting pool starts to shiver.
constexpr float water_warm_start = 0.5f;
// The last iteration of a sub-step is accelerated with Chebyshev's semi-iterative method (Wang,
// "A Chebyshev Semi-Iterative Approach for Accelerating Projective and Position-based Dynamics",
// ACM TOG 34(6), 2015), taken on the multipliers: in it, a compressed particle's multiplier is
// omega lambda + (omega - 1) times the one it used in the iteration before, with
// omega = 2 / (2 - r^2), the method's first weight (r the Jacobi iteration's assumed spectral
// radius). The projection, the first-order density and the bodies' push all take that
// multiplier, so the bodies feel the pressure that moves the fluid. In the dam break from 2 to
// 6 s the most compressed interior particle is more than 3 % above rest density in 18 of 55
// looks instead of 31 (the median of them 2.7 % instead of 3.2 %), and its energy in the first
// 1.5 s stays within 3 % of what it is without. Accelerating the last two iterations compressed
// it less still, but when its front struck the far wall its energy rose by 45 % and a fifth of
// its particles flew apart; r = 0.8 in the last one alone did much the same. r = 0.65 and 0.75
// came out as 0.7.
constexpr float water_spectral_radius = 0.7f;
constexpr float water_last_omega = 2.0f / (2.0f - water_spectral_radius * water_spectral_radius);
// How far a particle may move in a sub-step of the iterations: no correction moves it further
// than this many lattice spacings over a sub-step's iterations, nor faster than that in a
// step. Two spacings is one smoothing radius, so the neighbour lists, found after the sub-step's
// move by its velocity, still hold every particle the corrections can bring into reach.
constexpr float water_cfl = 2.0f;
// Sub-steps a step is cut into (at most water_max_substeps) so that its velocity carries the
// fastest particle at most this many lattice spacings in one. The lists are found after that
// move, so they hold its new neighbours however far it went; the bound keeps the move short
// enough for the projection to find and correct the particles it brings too close. The dam
// break's front came out the same at two spacings and at three, and its volume after 3 to 6 s
// as before within the spread of its flow; at three it takes a second sub-step in 7 of its
// first 2,000 steps instead of 250 (spray that splashes off the far wall).
constexpr float water_substep_cfl = 3.0f;
constexpr int water_max_substeps = 8;
// Boundary particles one fluid particle takes into account: a straight wall gives it 5 at most,
// a corner 9; the rest of a crowd where several boundaries meet is left out.
constexpr int water_boundary_slots = 16;
// Fluid particles one particle's list holds: at rest 12 lie within h (the lattice spacing is
// h / 2); a list fills up only where the fluid is squeezed to four times its rest density, and
// the pairs beyond it are left out.
constexpr int water_neighbour_slots = 48;
static_assert(water_neighbour_slots % 4 == 0, "a full list fills its room of four-entry blocks");

// A particle the boundary lends the fluid: where it is, the volume it stands for (Akinci:
// 1 / its kernel sum over its boundary neighbours) and whose it is (-1 fixed, else a body).
struct BoundaryParticle {
    Vec2 position;
    float volume; // in units of the fluid particle's volume scale, see WaterState
    int32_t body;
};

// A particle's own and fluid neighbours' part of its density ratio, sum of |grad_j C_i|^2 and
// grad_i C_i.
struct FluidSums {
    float ratio;
    float sq;
    Vec2 grad;
};

struct BodyPose {
    Vec2 center;
    float angle;
};

// A rigid move: rotated by the angle (cos, sin) about `from`, which goes to `to`.
struct BodyMove {
    Vec2 from;
    Vec2 to;
    float cos;
    float sin;
};

// The walls, the moving wall and the obstacles, as far as the boundary depends on them.
struct BoundarySource {
    int32_t piston_side;
    float piston_wall;
    int32_t obstacle_count;
    uint64_t obstacle_hash; // of every obstacle's outline
};

// Writers and readers: water_init writes the constants and sizes the arrays; water_step writes
// everything else each step. The per-particle arrays are indexed like sim's (not permuted: they
// are recomputed every iteration).
struct WaterState {
    bool on;
    float volume;   // V = 1 / (kernel sum of a particle at rest on the lattice), h-units
    float spacing;  // lattice spacing, box units
    float line_sum; // kernel sum of a particle in a straight line of particles one spacing apart
    float particle_mass; // rest_density * V
    float epsilon;       // relaxation of the constraint's denominator
    float viscosity;     // the water_viscosity setting
    int32_t iterations;  // the water_iterations setting
    int32_t substeps;    // of the last step

    // Each particle's fluid neighbours (sph/water_neighbours.cpp), found once a sub-step:
    // list i is near[near_first[i] ...], near_count[i] long, in cell order. The lists lie one
    // after another, each in room for the next multiple of four entries (the density pass
    // works on four at a time), each lane of the search packing its own from lane_particle *
    // water_neighbour_slots on, so that the passes walk one dense block. What a list's room
    // holds past its end is particle indices too, from the search or 0.
    uint16_t* near; // count * water_neighbour_slots
    // count + 4: the particles' coordinates, which the search reads four at a time (it writes
    // them first when every particle lies in a bucket in cell order, and only then reads them)
    float* search_x;
    float* search_y;
    uint8_t* near_count;
    uint32_t* near_first;
    float* ratio;      // count: rho_i / rest_density in the current iteration, all terms
    float* lambda;     // count: the constraint's multiplier
    float* compressed; // count: rho_i / rest_density - 1 (0 if below) at the sub-step's start
    float* compressed_before; // count: the same of the sub-step before, in the current order
    // count: the sum of lambda over the last sub-step's iterations, the pressure that held the
    // fluid up; the next sub-step starts from it. Moves with the particles when they are sorted.
    float* pressure;
    float* carried;    // count: the pressure of the sub-step before, in the current order
    float pressure_dt; // the sub-step it was found in, s (0: none yet)
    Vec2* delta;       // count: the viscosity's change of velocity
    // count: the last projection's move of each particle (the projection writes it, the
    // first-order iteration reads it)
    Vec2* moved;
    // count: the fluid's part of each particle's constraint sums (the fresh density pass writes
    // it, the first-order iteration moves its ratio on)
    FluidSums* fluid_sums;
    // V W and V grad_i W(x_i - x_j) of each pair on i's list (indexed like `near`, and as
    // long), and the gradient for each particle's boundary neighbours, written by the fresh
    // density pass, read by the projection and the first-order iteration (gradients) and the
    // viscosity (the last fresh pass's weights).
    float* pair_w;
    Vec2* pair_grad;
    Vec2* boundary_grad; // count * water_boundary_slots
    // Each particle's boundary neighbours (indices into `boundary`), found once a sub-step.
    int32_t* boundary_near;       // count * water_boundary_slots
    uint8_t* boundary_near_count; // count
    uint8_t* by_body;             // count: 1 where one of them is a body's

    // Boundary particles, rebuilt every step in cell order: cell k holds
    // boundary[boundary_start[k] .. boundary_start[k + 1]).
    BoundaryParticle* boundary;
    BoundaryParticle* boundary_scratch;
    uint32_t* boundary_start;    // cell_count + 1
    uint8_t* boundary_near_cell; // cell_count: 1 where a boundary particle is in this cell or one
                                 // beside it
    int32_t boundary_count;
    int32_t boundary_capacity;
    // What the boundary was last built from, and whether it can be kept: without bodies nothing
    // in it moves unless the moving wall does or obstacles are drawn or erased, and rebuilding
    // it (a pass over every cell of the grid, on one thread) then costs a few per cent of a step
    // for nothing. build_boundary writes both; water_init clears `boundary_kept`.
    bool boundary_kept;
    BoundarySource boundary_source;

    // Per body: mass and moment of inertia from its density (water_set_body); the force and
    // torque the fluid exerts on it in the current iteration (push_bodies writes them, the
    // bodies' move within the iteration reads and clears them); where it stood at the
    // sub-step's start (its velocity is how far it moved since); how the last iteration moved
    // it (read to move its boundary particles alike); whether a wall stopped it in the sub-step.
    float* body_mass;
    float* body_inertia;
    Vec2* body_force;
    float* body_torque;
    BodyPose* body_start;
    BodyMove* body_move;
    uint8_t* body_at_wall;
};

extern WaterState water;

// Sets up solver 1 for the simulation sim_init_seeded has just built (`spacing` in multiples of
// smooth_radius, the scene's or 0.5): false when memory runs out.
bool water_init(float spacing, float viscosity, int32_t iterations);
// The mass and moment of inertia of body `body` from its outline and its density relative to
// the fluid.
void water_set_body(int body, float density);
void water_free();

// One step of solver 1, timed into the same stages as solver 0's.
void water_step(StepProfile* profile);

// Writes every particle's list of fluid neighbours (near, near_count) from the cell grid, for
// particles in cell order; a particle in no bucket keeps near_count as it was (the caller
// clears it).
void find_water_neighbours();

// Particle i's density / rest_density in the last step, from the dump's 1/density (either
// solver: the particle model's density is its own kernel sum times poly6_coef).
inline float particle_compression(const SimState& state, int32_t i) {
    return 1.0f / (state.density_pressure[i].x * state.rest_density);
}

// How far the fluid is squeezed above its rest density: the mean over all particles of
// max(0, compression - 1), and the largest. Particles below rest density (at the free surface,
// which the one-sided constraint leaves alone) count as 0.
struct CompressionError {
    float mean;
    float largest;
};
CompressionError compression_error(const SimState& state);

// How far a particle's density ratio changes, to first order, when it moves by moved_i and each
// of the `count` particles on its list by moved[list[k]]: the sum of V grad_i W_ij . (dx_i - dx_j)
// over list_grad (V grad_i W of each pair).
float water_density_change(Vec2 moved_i, const Vec2* moved, const uint16_t* list,
                           const Vec2* list_grad, int count);

// The 2D cubic spline kernel with support radius h and its derivative dW/dr, for tests.
float water_kernel(float r, float h);
float water_kernel_slope(float r, float h);
