#pragma once
// What a scene adds to the simulation while it runs: fixed obstacles, a moving wall, emitters
// and drains, and the simulated time. One process-wide instance, `scene`, built by
// sim_init_seeded beside `sim` (a record of its own: fields added to SimState would change how
// the x87 build keeps the simulation's values in registers). Without a scene every part is
// empty and the steps below do nothing, so the fluid runs exactly as it does without them.
#include <cstdint>

#include "bodies/rigid_body.h"
#include "config/scene.h"

// Obstacles a scene file and the drawing tool may hold together.
constexpr int obstacle_capacity = 512;
// Bodies that may be dropped into a running scene beyond those it starts with.
constexpr int dropped_body_room = 16;

// A particle in a drain is moved to the emitter's mouth, at most rate * timestep per step
// (`budget` keeps the fraction), one slot across the mouth after the other.
struct Emitter {
    Vec2 mouth;     // box units
    Vec2 direction; // unit vector
    float speed;    // box units per second
    float rate;     // particles per second
    int32_t slots;  // sites across the mouth, one lattice spacing apart
    int32_t next_slot;
    float budget; // particles owed, below one row's worth
};

struct Drain {
    float min_x;
    float max_x;
    float min_y;
    float max_y;
};

// Writers and readers: sim_init_seeded writes everything; apply_scene_forces reads the piston
// and the obstacles and writes `piston.wall`; recycle_drained writes the emitters' budgets and
// `recycled`; advance_scene_time writes `time` and `step`; the drawing tool (app/) adds and
// removes obstacles between steps; drawing and dumps read.
struct SceneState {
    char name[scene_name_size];
    char about[scene_about_size];
    double time;   // simulated seconds since the start
    int64_t step;  // steps since the start
    float spacing; // lattice spacing in box units (0 without a scene description)
    bool lattice;  // the particles were seeded on the lattice blocks, not at random

    // Moving wall: wall = rest + side * amplitude * (1 - cos(2 pi time / period)) / 2.
    int32_t piston_side; // 0 none, -1 left, +1 right
    float piston_rest;   // x of the wall it replaces
    float piston_amplitude;
    float piston_period;
    float piston_wall; // where it stands in this step

    int32_t emitter_count;
    Emitter emitters[scene_max_emitters];
    int32_t drain_count;
    Drain drains[scene_max_drains];
    int64_t recycled; // particles moved from a drain to an emitter since the start

    RigidBody* obstacles; // obstacle_capacity records; body_mass 0 marks them fixed
    int32_t obstacle_count;
    int32_t body_capacity; // records allocated for sim.bodies
};

extern SceneState scene;

// Step stages (sph/physics_step.cpp runs them): obstacles and the moving wall push particles
// (adding to force, before integrate); bodies meet obstacles and the moving wall (in the body
// stage, before step_bodies); particles in drains reappear at emitters (after integrate); the
// clock and the moving wall advance (last).
void apply_scene_forces();
void apply_body_obstacle_contact();
void recycle_drained();
void advance_scene_time();

// Used by sim_init_seeded and sim_free: the obstacle records (kept across starts) and an empty
// scene; the particles of the lattice blocks with their colours (sim.count must be the site
// count); the scene's bodies after the random ones (sim.bodies holds scene.body_capacity
// records), obstacles, moving wall, emitters and drains.
bool scene_allocate();
void scene_release();
void scene_seed_lattice(const SceneDescription& description);
// The colours of lattice particles by where they are now (sim_set_colours too).
void colour_across_box();
void scene_build(const SceneDescription& description);

// Whether the scene adds anything to a step (obstacles, a piston, emitters).
bool scene_active();

// The lattice sites of the scene's fluid blocks in box units, in order; `out` may be null to
// count them. Returns the number of sites (the particle count the scene asks for), or -1 when
// there are more than `limit`.
int64_t scene_lattice_sites(const SceneDescription& description, float smooth_radius,
                            float field_size, Vec2* out, int64_t limit);

// Tools between steps (the window's mouse): a thin obstacle from a to b (box units), false when
// there is no room left; removal of every obstacle within `radius` of a point (returns how many);
// a body dropped at a point (false when there is no room); the body under a point (-1 none),
// and moving a body's centre to a point at rest.
bool add_stroke_obstacle(Vec2 a, Vec2 b, float thickness);
int erase_obstacles_near(Vec2 point, float radius);
bool drop_body_at(Vec2 point);
int body_at(Vec2 point);
void move_body_to(int body, Vec2 point);
