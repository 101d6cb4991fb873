#pragma once
// What a scene file describes: what is in the box at the start, besides the settings it sets.
// A scene file is a settings file (the same reader, the same [graph] and [phys] keys, which
// override the settings file's) with a [scene] section; config/scene_file.cpp reads it.
//
// Units of the [scene] keys: positions and sizes are fractions of the box from wall to wall
// (x: 0 at the left wall, 1 at the right wall; y: 0 at the floor, 1 at the ceiling), so a scene
// keeps its shape whatever field_size and smooth_radius are; speeds are box widths per second,
// angles degrees counter-clockwise, densities relative to the fluid's.
//
// Writers and readers: read_scene_text writes it; the start-up (app/startup.cpp) counts its
// lattice sites, sim_init_seeded seeds the particles, bodies, obstacles, piston, emitters and
// drains from it; nothing keeps it after the start.
#include <cstdint>
#include <string>

#include "base/types.h"

constexpr int scene_name_size = 64;
constexpr int scene_about_size = 160;
constexpr int scene_max_fluids = 16;
constexpr int scene_max_bodies = 32;
constexpr int scene_max_obstacles = 32;
constexpr int scene_max_corners = 32; // of a body or an obstacle
constexpr int scene_max_emitters = 4;
constexpr int scene_max_drains = 4;

// A block of fluid on a square lattice of side `spacing` * smooth_radius, the first site half a
// spacing in from the block's lower left corner. A site already in an earlier block, in an
// obstacle or in a body of the scene is left out.
struct SceneFluid {
    bool disc; // false: the rectangle x0..x1, y0..y1; true: the disc at (x0, y0) of radius r
    float x0;
    float y0;
    float x1;
    float y1;
    float r;
};

// A body of the scene: a rectangle (corners 0) or a regular polygon of `corners` corners
// inscribed in the ellipse of the given width and height, like the random bodies.
struct SceneBody {
    int32_t corners; // 0: rectangle; 3 .. scene_max_corners: regular polygon
    float x;         // centre
    float y;
    float width;
    float height;
    float angle;   // degrees, counter-clockwise
    float density; // relative to the fluid: below 1 floats, above 1 sinks
};

// A fixed convex polygon, corners in the file's order (either turn).
struct SceneObstacle {
    int32_t corner_count; // 3 .. scene_max_corners
    Vec2 corners[scene_max_corners];
};

// The left (side -1) or right (+1) wall moves into the box and back:
// offset = amplitude * (1 - cos(2 pi t / period)) / 2.
struct ScenePiston {
    int32_t side; // 0: no piston
    float amplitude;
    float period; // seconds
};

// Particles that reach a drain reappear at an emitter: at most `rate` a second, moving at
// `speed` in direction `angle`, spread over `width` across the jet.
struct SceneEmitter {
    float x;
    float y;
    float angle; // degrees, 0 to the right, 90 up
    float speed; // box widths per second
    float rate;  // particles per second
    float width; // fraction of the box across the jet; 0: one particle wide
};

struct SceneDrain {
    float x0;
    float y0;
    float x1;
    float y1;
};

struct SceneDescription {
    char name[scene_name_size];   // the file's name without folder and ".ini", or "box"
    char about[scene_about_size]; // one line for --scene help and the overlay
    float spacing;                // lattice spacing in multiples of smooth_radius
    int32_t fluid_count;          // 0: the seed's random block of `count` particles
    SceneFluid fluids[scene_max_fluids];
    int32_t body_count; // besides the geom_count random ones
    SceneBody bodies[scene_max_bodies];
    int32_t obstacle_count;
    SceneObstacle obstacles[scene_max_obstacles];
    ScenePiston piston;
    int32_t emitter_count;
    SceneEmitter emitters[scene_max_emitters];
    int32_t drain_count;
    SceneDrain drains[scene_max_drains];
};

// The default scene: today's random block and random bodies, nothing else.
SceneDescription default_scene();
