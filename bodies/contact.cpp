#include <cmath>

#include "bodies/bodies.h"
#include "bodies/world_vertices.h"
#include "sph/sim_state.h"
#include "sph/workers.h"

namespace {

// Particle mass at which a particle inside a body feels exactly geom_stiff times the push; a
// heavier particle is pushed proportionally less.
constexpr float reference_mass = 0.0002f;
constexpr float degenerate_limit = 1e-6f;  // compared in double, as the float constant
// The probe from a point runs along an edge's outward normal for this many edge lengths.
constexpr float probe_edges = 5.0f;

Vec2 negated(Vec2 v) { return Vec2{-v.x, -v.y}; }

}  // namespace

// Never inlined: the push then always reaches its users as a stored float, also where floats
// are kept wider in registers (x87), so a push added at once and one the lanes set aside and
// add later are the same value.
__attribute__((noinline)) bool body_point_push(int body_index, Vec2 point, Vec2* push_out) {
    const RigidBody& body = sim.bodies[body_index];
    const int n = stored_vertex_count(body);
    const Vec2* w = body.world_vertices;
    if (n <= 0) {
        *push_out = Vec2{0.0f, 0.0f};
        return true;
    }

    // Inside a convex outline the point lies on the same side of every edge as of the closing
    // edge; a zero cross product (on an edge or its line) does not decide against it.
    const Vec2 last = w[n - 1];
    const float ref = (w[0].x - last.x) * (point.y - last.y) - (w[0].y - last.y) * (point.x - last.x);
    for (int k = 0; k + 1 < n; ++k) {
        const float side = (w[k + 1].x - w[k].x) * (point.y - w[k].y) -
                           (w[k + 1].y - w[k].y) * (point.x - w[k].x);
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

// Whether the push of body j reaches particle i, and which: the box test, then the outline.
bool particle_push(int j, Vec2 p, Vec2* push) {
    const RigidBody& body = sim.bodies[j];
    if (!(body.min_x <= p.x && p.x <= body.max_x && body.min_y <= p.y && p.y <= body.max_y)) {
        return false;
    }
    return body_has_mass(body) && body_point_push(j, p, push);
}

// Each push moves the particle and, in reaction, the body; a body's accelerations are sums
// over its particles in index order, rounded one addition at a time.
void apply_push(int32_t i, int j, Vec2 push, float particle_factor) {
    sim.force[i].x += push.x * particle_factor;
    sim.force[i].y += push.y * particle_factor;
    contact_response(sim.bodies[j], sim.position[i], negated(push), sim.geom_stiff);
}

void apply_pushes_in_order(float particle_factor) {
    for (int32_t i = 0; i < sim.count; ++i) {
        const Vec2 p = sim.position[i];
        for (int j = 0; j < sim.geom_count; ++j) {
            Vec2 push;
            if (particle_push(j, p, &push)) apply_push(i, j, push, particle_factor);
        }
    }
}

// Finding the pushes (a box test of every particle against every body, and the outline test
// for those inside a box) is most of the work and reads nothing a push changes, so lanes find
// them in parallel and only the additions run in order. Each lane lays its pushes at its own
// particles' places in sort_keys_scratch (particle and body) and position_scratch (the push),
// free between the sorting and the next step's; a lane with more pushes than particles (bodies
// piled on one another) leaves the whole to the plain loop.
bool apply_pushes_found_in_lanes(float particle_factor) {
    const int32_t n = sim.count;
    const int lanes = lanes_for(n);
    if (lanes < 2 || sim.sort_keys_scratch == nullptr || sim.position_scratch == nullptr) return false;
    SortKey* who = sim.sort_keys_scratch;
    Vec2* pushes = sim.position_scratch;
    int32_t found[max_threads];
    run_lanes(lanes, [&](int lane) {
        const IndexRange r = lane_range(lane, lanes, n);
        int32_t at = r.begin;
        for (int32_t i = r.begin; i < r.end; ++i) {
            const Vec2 p = sim.position[i];
            for (int j = 0; j < sim.geom_count; ++j) {
                Vec2 push;
                if (!particle_push(j, p, &push)) continue;
                if (at == r.end) {
                    found[lane] = -1;
                    return;
                }
                who[at] = SortKey{j, i};
                pushes[at] = push;
                ++at;
            }
        }
        found[lane] = at - r.begin;
    });
    for (int lane = 0; lane < lanes; ++lane) {
        if (found[lane] < 0) return false;
    }
    for (int lane = 0; lane < lanes; ++lane) {
        const int32_t first = lane_range(lane, lanes, n).begin;
        for (int32_t k = first; k < first + found[lane]; ++k) {
            apply_push(who[k].index, who[k].key, pushes[k], particle_factor);
        }
    }
    return true;
}

}  // namespace

void apply_fluid_body_contact() {
    for (int j = 0; j < sim.geom_count; ++j) {
        sim.bodies[j].linear_accel = Vec2{0.0f, 0.0f};
        sim.bodies[j].angular_accel = 0.0f;
    }
    const float particle_factor = (sim.geom_stiff / sim.mass) * reference_mass;
    if (!apply_pushes_found_in_lanes(particle_factor)) apply_pushes_in_order(particle_factor);
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

}  // namespace

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
