#include "bodies/scene_bodies.h"

#include <cmath>

#include "bodies/bodies.h"
#include "bodies/world_vertices.h"
#include "sph/scene_state.h"
#include "sph/sim_state.h"

namespace {

// The particle mass at which the contacts' pushes are written (bodies/contact.cpp).
constexpr float reference_mass = 0.0002f;
constexpr double degrees = 3.14159265358979323846 / 180.0;

// Polar second moment of area about the origin of a polygon, any turn (the shoelace
// decomposition into triangles with the origin): J = 1/12 sum cross_k (x_k^2 + x_k x_k+1 +
// x_k+1^2 + y_k^2 + y_k y_k+1 + y_k+1^2), with cross_k = x_k y_k+1 - x_k+1 y_k.
float polar_moment(const Vec2* v, int n) {
    double sum = 0.0;
    for (int k = 0; k < n; ++k) {
        const Vec2 a = v[k];
        const Vec2 b = v[(k + 1) % n];
        const double cross = double{a.x} * b.y - double{b.x} * a.y;
        sum += cross * (double{a.x} * a.x + double{a.x} * b.x + double{b.x} * b.x +
                        double{a.y} * a.y + double{a.y} * b.y + double{b.y} * b.y);
    }
    return static_cast<float>(std::fabs(sum / 12.0));
}

// Corners turned clockwise (y up), which the contacts rely on: the left-hand normal of each
// edge points out. Closes the outline with a copy of the first corner.
void set_outline(RigidBody* body, const Vec2* corners, int n) {
    const bool clockwise = outline_area(corners, n) < 0.0f;
    for (int k = 0; k < n; ++k)
        body->local_vertices[k] = corners[clockwise ? k : n - 1 - k];
    body->local_vertices[n] = body->local_vertices[0];
    body->vertex_count = n;
}

} // namespace

Vec2 scene_point(const SceneFrame& frame, float fx, float fy) {
    return Vec2{frame.h + fx * frame.width, frame.h + fy * frame.width};
}

float outline_area(const Vec2* v, int n) {
    double twice = 0.0;
    for (int k = 0; k < n; ++k) {
        const Vec2 a = v[k];
        const Vec2 b = v[(k + 1) % n];
        twice += double{a.x} * b.y - double{b.x} * a.y;
    }
    return static_cast<float>(twice * 0.5);
}

bool make_scene_body(const SceneBody& shape, const SceneFrame& frame, RigidBody* out) {
    const float hw = shape.width * frame.width * 0.5f;
    const float hh = shape.height * frame.width * 0.5f;
    Vec2 corners[body_vertex_capacity];
    int n = 0;
    if (shape.corners == 0) {
        corners[n++] = Vec2{-hw, hh};
        corners[n++] = Vec2{hw, hh};
        corners[n++] = Vec2{hw, -hh};
        corners[n++] = Vec2{-hw, -hh};
    } else {
        if (shape.corners < 3 || shape.corners > body_vertex_capacity) return false;
        // Like the random bodies: the first corner at the top, then clockwise.
        for (int k = 0; k < shape.corners; ++k) {
            const double t = 2.0 * 3.14159265358979323846 * k / shape.corners;
            corners[n++] =
                Vec2{static_cast<float>(std::sin(t)) * hw, static_cast<float>(std::cos(t)) * hh};
        }
    }
    const float area = std::fabs(outline_area(corners, n));
    if (!(area > 0.0f) || !(frame.spacing > 0.0f)) return false;
    float mean_arm = 0.0f;
    for (int k = 0; k < n; ++k)
        mean_arm += std::sqrt(corners[k].x * corners[k].x + corners[k].y * corners[k].y);
    mean_arm /= static_cast<float>(n);

    RigidBody body{};
    set_outline(&body, corners, n);
    body.center = scene_point(frame, shape.x, shape.y);
    body.angle = static_cast<float>(shape.angle * degrees);
    const float per_area =
        shape.density * (frame.particle_mass / reference_mass) / (frame.spacing * frame.spacing);
    body.body_mass = per_area * area * mean_arm;
    body.inertia = per_area * polar_moment(corners, n);
    if (!(body.body_mass > 0.0f && body.inertia > 0.0f && std::isfinite(body.body_mass) &&
          std::isfinite(body.inertia))) {
        return false;
    }
    update_world_vertices(body);
    *out = body;
    return true;
}

bool make_obstacle(const Vec2* corners, int count, RigidBody* out) {
    if (count < 3 || count > body_vertex_capacity) return false;
    if (!(std::fabs(outline_area(corners, count)) > 0.0f)) return false;
    // The centre of the corners: inside a convex outline, and where its box starts.
    Vec2 c{0.0f, 0.0f};
    for (int k = 0; k < count; ++k) {
        c.x += corners[k].x;
        c.y += corners[k].y;
    }
    c.x /= static_cast<float>(count);
    c.y /= static_cast<float>(count);
    Vec2 local[body_vertex_capacity];
    for (int k = 0; k < count; ++k)
        local[k] = Vec2{corners[k].x - c.x, corners[k].y - c.y};
    RigidBody obstacle{};
    set_outline(&obstacle, local, count);
    obstacle.center = c;
    update_world_vertices(obstacle);
    *out = obstacle;
    return true;
}

namespace {

Vec2 negated(Vec2 v) {
    return Vec2{-v.x, -v.y};
}

// The corners of `body` inside the obstacle push the body out; the obstacle's corners inside
// the body push it away as well: the corner contact of two bodies with one side fixed.
void touch_obstacle(RigidBody& body, const RigidBody& obstacle, float k) {
    const int n = stored_vertex_count(body);
    for (int q = 0; q < n; ++q) {
        const Vec2 v = body.world_vertices[q];
        Vec2 push;
        if (polygon_point_push(obstacle, v, &push)) contact_response(body, v, push, k);
    }
    const int m = stored_vertex_count(obstacle);
    for (int q = 0; q < m; ++q) {
        const Vec2 v = obstacle.world_vertices[q];
        Vec2 push;
        if (polygon_point_push(body, v, &push)) contact_response(body, v, negated(push), k);
    }
}

// Corners beyond the moving wall are pushed back by their depth, like the fixed walls do.
void touch_piston(RigidBody& body, float k) {
    const float wall = scene.piston_wall;
    const bool left = scene.piston_side < 0;
    if (left ? !(body.min_x < wall) : !(body.max_x > wall)) return;
    const int n = stored_vertex_count(body);
    for (int q = 0; q < n; ++q) {
        const Vec2 v = body.world_vertices[q];
        if (left ? v.x < wall : v.x > wall) contact_response(body, v, Vec2{wall - v.x, 0.0f}, k);
    }
}

} // namespace

void apply_body_obstacle_contact() {
    if (scene.obstacle_count == 0 && scene.piston_side == 0) return;
    const float k = 10.0f * sim.geom_stiff;
    for (int j = 0; j < sim.geom_count; ++j) {
        RigidBody& body = sim.bodies[j];
        if (!body_has_mass(body)) continue;
        for (int o = 0; o < scene.obstacle_count; ++o) {
            if (bodies_overlap(body, scene.obstacles[o]))
                touch_obstacle(body, scene.obstacles[o], k);
        }
        if (scene.piston_side != 0) touch_piston(body, 5.0f * sim.geom_stiff);
    }
}
