#pragma once
#include <cstdint>

#include "base/types.h"
#include "config/settings_table.h"

constexpr int body_vertex_capacity = 32;
static_assert(body_vertex_capacity == setting_limit::geom_vertex_count_min_hi,
              "the corner settings' limit");

// One floating convex polygon. Corners run clockwise (y up), so the left-hand normal (-dy, dx)
// of every edge points out of the polygon; entry vertex_count of both vertex arrays repeats
// entry 0 so that edge k always runs from entry k to entry k + 1.
//
// Writers and readers: generate_bodies writes everything once; apply_fluid_body_contact clears
// and adds to the accumulators, apply_body_body_contact and the wall pass of step_bodies add to
// them, step_bodies consumes them and rewrites center, angle, velocities, world_vertices and
// the box; draw_bodies reads world_vertices.
struct RigidBody {
    Vec2 center; // world position of the body origin: centre of rotation
    float angle; // radians, never wrapped
    int32_t vertex_count;
    float body_mass; // divisor of the linear contact response
    float inertia;   // divisor of the angular contact response
    Vec2 local_vertices[body_vertex_capacity + 1];
    Vec2 world_vertices[body_vertex_capacity + 1];
    float min_x; // box of center and every world vertex
    float max_x;
    float min_y;
    float max_y;
    Vec2 linear_velocity;
    float angular_velocity;
    Vec2 linear_accel;   // gathered during the current step
    float angular_accel; // gathered during the current step, counter-clockwise positive
};
