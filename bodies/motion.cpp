#include <cmath>

#include "bodies/bodies.h"
#include "bodies/world_vertices.h"
#include "sph/sim_state.h"

namespace {

// Wall penalty at one corner: the penetration vector is the push, taken with 5 geom_stiff along
// the arm and 10 geom_stiff for the turn. r_dot_p and r_cross_p are r.p and r x p.
void wall_response(RigidBody& body, Vec2 r, float r_len, float r_dot_p, float r_cross_p) {
    const float t = (r_dot_p * (5.0f * sim.geom_stiff)) / (r_len * body.body_mass);
    body.linear_accel.x += t * r.x;
    body.linear_accel.y += t * r.y;
    body.angular_accel += (r_cross_p / body.inertia) * (10.0f * sim.geom_stiff);
}

void push_from_walls(RigidBody& body) {
    const float lo = sim.smooth_radius;
    const float hi = sim.field_size;
    if (!(lo > body.min_x || body.max_x > hi || lo > body.min_y || body.max_y > hi)) return;
    const int n = stored_vertex_count(body);
    for (int k = 0; k < n; ++k) {
        const Vec2 w = body.world_vertices[k];
        const Vec2 r{w.x - body.center.x, w.y - body.center.y};
        const float r_len = std::sqrt(r.x * r.x + r.y * r.y);
        if (r_len == 0.0f) continue; // a corner at the centre has no arm
        // Penetration is positive beyond the lower walls and negative beyond the upper ones,
        // so the push always points back into the box.
        if (lo > w.x) {
            const float pen = lo - w.x;
            wall_response(body, r, r_len, r.x * pen, -r.y * pen);
        } else if (w.x > hi) {
            const float pen = hi - w.x;
            wall_response(body, r, r_len, r.x * pen, -r.y * pen);
        }
        if (lo > w.y) {
            const float pen = lo - w.y;
            wall_response(body, r, r_len, r.y * pen, r.x * pen);
        } else if (w.y > hi) {
            const float pen = hi - w.y;
            wall_response(body, r, r_len, r.y * pen, r.x * pen);
        }
    }
}

// Penalty contacts are stiff springs integrated explicitly: a particle deep inside a light
// body, or a corner deep in a wall, can ask for a change of velocity that carries the body many
// smoothing radii in one step, after which it is deeper still. Capping the contact acceleration
// at the value that moves a body from rest by 0.05 h in one step keeps the pushes as written
// while they are gentle and stops the run-away. Gravity is not part of it.
void limit_contact_accel(RigidBody& body, float limit) {
    const float ax = body.linear_accel.x;
    const float ay = body.linear_accel.y;
    const float m = std::sqrt(ax * ax + ay * ay);
    if (m > limit) {
        const float f = limit / m;
        body.linear_accel.x *= f;
        body.linear_accel.y *= f;
    }
}

// Semi-implicit step with velocity damping: the new velocity moves the body.
void advance(RigidBody& body) {
    const float dt = sim.timestep;
    body.linear_velocity.x = (body.linear_accel.x * dt + body.linear_velocity.x) * sim.damp;
    body.center.x = dt * body.linear_velocity.x + body.center.x;
    body.linear_velocity.y =
        ((body.linear_accel.y + sim.current_gravity) * dt + body.linear_velocity.y) * sim.damp;
    body.center.y = dt * body.linear_velocity.y + body.center.y;
    body.angular_velocity = (body.angular_accel * dt + body.angular_velocity) * sim.damp;
    body.angle = dt * body.angular_velocity + body.angle;
}

} // namespace

void step_bodies() {
    const float limit = 0.05f * sim.smooth_radius / (sim.timestep * sim.timestep);
    for (int i = 0; i < sim.geom_count; ++i) {
        RigidBody& body = sim.bodies[i];
        if (!body_has_mass(body)) continue;
        push_from_walls(body);
        limit_contact_accel(body, limit);
        advance(body);
        update_world_vertices(body);
    }
}

bool bodies_finite() {
    for (int32_t k = 0; k < sim.geom_count; ++k) {
        const RigidBody& b = sim.bodies[k];
        if (!(stored_finite(b.center.x) && stored_finite(b.center.y) && stored_finite(b.angle) &&
              stored_finite(b.linear_velocity.x) && stored_finite(b.linear_velocity.y) &&
              stored_finite(b.angular_velocity)))
            return false;
    }
    return true;
}
