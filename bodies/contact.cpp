#include <algorithm>
#include <cmath>
#include <cstdint>

#include "bodies/bodies.h"
#include "bodies/grid_walk.h"
#include "bodies/world_vertices.h"
#include "sph/sim_state.h"

namespace {

// Particle mass at which a particle inside a body feels exactly geom_stiff times the push; a
// heavier particle is pushed proportionally less.
constexpr float reference_mass = 0.0002f;
constexpr float degenerate_limit = 1e-6f; // compared in double, as the float constant
// The probe from a point runs along an edge's outward normal for this many edge lengths.
constexpr float probe_edges = 5.0f;

Vec2 negated(Vec2 v) {
    return Vec2{-v.x, -v.y};
}

} // namespace

bool body_point_push(int body_index, Vec2 point, Vec2* push_out) {
    return polygon_point_push(sim.bodies[body_index], point, push_out);
}

bool polygon_point_push(const RigidBody& body, Vec2 point, Vec2* push_out) {
    const int n = stored_vertex_count(body);
    const Vec2* w = body.world_vertices;
    if (n <= 0) {
        *push_out = Vec2{0.0f, 0.0f};
        return true;
    }

    // Inside a convex outline the point lies on the same side of every edge as of the closing
    // edge; a zero cross product (on an edge or its line) does not decide against it.
    const Vec2 last = w[n - 1];
    const float ref =
        (w[0].x - last.x) * (point.y - last.y) - (w[0].y - last.y) * (point.x - last.x);
    for (int k = 0; k + 1 < n; ++k) {
        const float side =
            (w[k + 1].x - w[k].x) * (point.y - w[k].y) - (w[k + 1].y - w[k].y) * (point.x - w[k].x);
        if (side * ref < 0.0f) return false;
    }

    // Shortest way out: for each edge, the probe P -> Q along its outward normal (-dy, dx)
    // crosses the edge's line at fraction s of the probe and fraction t of the edge. The foot
    // must lie on both. Ties keep the lower edge.
    float best = -1.0f;
    Vec2 push{0.0f, 0.0f};
    for (int k = 0; k < n; ++k) {
        const float dx = w[k + 1].x - w[k].x;
        const float dy = w[k + 1].y - w[k].y;
        const Vec2 q{point.x - probe_edges * dy, point.y + probe_edges * dx};
        const float den = (point.x - q.x) * dy - (point.y - q.y) * dx;
        if (std::fabs(static_cast<double>(den)) < static_cast<double>(degenerate_limit)) continue;
        const float inv_den = 1.0f / den;
        const float s = ((point.x - w[k].x) * dy - (point.y - w[k].y) * dx) * inv_den;
        if (!(s >= 0.0f && s <= 1.0f)) continue;
        const float t =
            ((point.y - w[k].y) * (point.x - q.x) - (point.y - q.y) * (point.x - w[k].x)) * inv_den;
        if (!(t >= 0.0f && t <= 1.0f)) continue;
        const Vec2 v{(q.x - point.x) * s, (q.y - point.y) * s};
        const float d_sq = v.x * v.x + v.y * v.y;
        if (best < 0.0f || best > d_sq) {
            best = d_sq;
            push = v;
        }
    }
    *push_out = push;
    return true;
}

void contact_response(RigidBody& body, Vec2 point, Vec2 push, float stiffness) {
    const Vec2 r{point.x - body.center.x, point.y - body.center.y};
    const float r_len = std::sqrt(r.x * r.x + r.y * r.y);
    // A push at the centre has neither arm nor direction to act along.
    if (r_len == 0.0f || !body_has_mass(body)) return;
    // Only the part of the push along the arm moves the centre; it is scaled by the arm itself,
    // not its unit vector. The torque r x p turns the body counter-clockwise when positive.
    const float t = ((r.y * push.y + r.x * push.x) * stiffness) / (r_len * body.body_mass);
    body.linear_accel.x += t * r.x;
    body.linear_accel.y += t * r.y;
    body.angular_accel -= ((r.y * push.x - r.x * push.y) / body.inertia) * stiffness;
}

namespace {

// Each push moves the particle and, in reaction, the body.
void apply_push(int32_t i, int j, Vec2 p, float particle_factor) {
    RigidBody& body = sim.bodies[j];
    if (!(body.min_x <= p.x && p.x <= body.max_x && body.min_y <= p.y && p.y <= body.max_y)) {
        return;
    }
    if (!body_has_mass(body)) return;
    Vec2 push;
    if (!body_point_push(j, p, &push)) return;
    sim.force[i].x += push.x * particle_factor;
    sim.force[i].y += push.y * particle_factor;
    contact_response(body, p, negated(push), sim.geom_stiff);
}

} // namespace

// Each particle takes the bodies' pushes in body order and each body its particles' reactions in
// particle order, one addition at a time, so the sums do not depend on which of the two loops
// is outside. A body reaches only the particles in its box, and with every particle in a bucket
// and the buckets in particle order, those are in the cells under the box, taken row by row:
// a few hundred particles per body instead of every particle against every body.
void apply_fluid_body_contact() {
    for (int j = 0; j < sim.geom_count; ++j) {
        sim.bodies[j].linear_accel = Vec2{0.0f, 0.0f};
        sim.bodies[j].angular_accel = 0.0f;
    }
    const float particle_factor = (sim.geom_stiff / sim.mass) * reference_mass;
    if (!grid_walkable()) {
        for (int32_t i = 0; i < sim.count; ++i) {
            for (int j = 0; j < sim.geom_count; ++j)
                apply_push(i, j, sim.position[i], particle_factor);
        }
        return;
    }
    for (int j = 0; j < sim.geom_count; ++j) {
        const RigidBody& body = sim.bodies[j];
        for_each_particle_near_box(body.min_x, body.max_x, body.min_y, body.max_y, [&](int32_t i) {
            apply_push(i, j, sim.position[i], particle_factor);
        });
    }
}

namespace {

// Every corner of `owner` that lies inside body `other_index` pushes `owner` out along p and the
// other body along -p, both at the corner and with stiffness k.
void push_corners_out(RigidBody& owner, int other_index, float k) {
    RigidBody& other = sim.bodies[other_index];
    const int n = stored_vertex_count(owner);
    for (int q = 0; q < n; ++q) {
        const Vec2 v = owner.world_vertices[q];
        Vec2 push;
        if (body_point_push(other_index, v, &push)) {
            contact_response(owner, v, push, k);
            contact_response(other, v, negated(push), k);
        }
    }
}

} // namespace

void apply_body_body_contact() {
    const float k = 10.0f * sim.geom_stiff;
    for (int i = 0; i + 1 < sim.geom_count; ++i) {
        RigidBody& bi = sim.bodies[i];
        if (!body_has_mass(bi)) continue;
        for (int j = i + 1; j < sim.geom_count; ++j) {
            RigidBody& bj = sim.bodies[j];
            if (!body_has_mass(bj) || !bodies_overlap(bi, bj)) continue;
            // Corners of j inside i first, then corners of i inside j.
            push_corners_out(bj, i, k);
            push_corners_out(bi, j, k);
        }
    }
}
