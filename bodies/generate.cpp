#include <cmath>
#include <cstdint>
#include <cstdio>

#include "base/random.h"
#include "bodies/bodies.h"
#include "bodies/world_vertices.h"
#include "sph/sim_state.h"

namespace {

constexpr float draw_scale = 1.0f / 32768.0f;   // 2^-15: a draw never reaches the upper bound
constexpr float angle_per_draw = 0.0001917476f; // nearest float to 2 pi / 32768
constexpr float full_turn = 6.2831855f;
constexpr float degenerate_limit = 1e-6f; // compared in double, as the float constant
// Rejected placements tolerated per body before generation gives up on the rest.
constexpr int max_placement_attempts = 10000;

// lo + draw * (hi - lo) / 32768, in this order in single precision.
float draw_between(float lo, float hi) {
    const float r = static_cast<float>(rng_draw());
    return (hi - lo) * r * draw_scale + lo;
}

float draw_angle() {
    return static_cast<float>(rng_draw()) * angle_per_draw;
}

// Every count from min to max inclusive is equally likely. The float quotient is range-checked
// before the conversion so that absurd settings cannot make it undefined; the result is kept
// within the record's capacity.
int draw_vertex_count(int32_t count_min, int32_t count_max) {
    const float r = static_cast<float>(rng_draw());
    const float span = static_cast<float>(count_max) - static_cast<float>(count_min) + 1.0f;
    const float q = r * span * draw_scale;
    int64_t offset = 0;
    if (q >= -2147483648.0f && q < 2147483648.0f) {
        offset = static_cast<int64_t>(q);
    }
    int64_t n = static_cast<int64_t>(count_min) + offset;
    if (n > body_vertex_capacity) n = body_vertex_capacity;
    if (n < 0) n = 0;
    return static_cast<int>(n);
}

float length(float x, float y) {
    return std::sqrt(x * x + y * y);
}

// Outcome of one attempt at shaping a body.
enum class Shape { made, too_few_corners, degenerate };

// Steps 1 to 12 of one attempt: draws everything, builds the outline, its weighted centre, mass,
// inertia, world corners and box. Fails only for a fan triangle too thin to have a centroid.
Shape shape_body(RigidBody& body) {
    const float start_angle = draw_angle();
    const int n = draw_vertex_count(sim.geom_vertex_count_min, sim.geom_vertex_count_max);
    body.vertex_count = n;
    // Fewer than three corners enclose nothing: one corner gives a zero triangle, two lie on a
    // line through the origin. Such a body would have no weight to divide by.
    if (n < 3) return Shape::too_few_corners;

    // Unit outline, corner angle rising with x = sin, y = cos: clockwise in the y-up frame.
    body.local_vertices[n] = Vec2{static_cast<float>(std::sin(static_cast<double>(start_angle))),
                                  static_cast<float>(std::cos(static_cast<double>(start_angle)))};
    float theta = start_angle;
    const float step = full_turn / static_cast<float>(n);
    for (int j = 0; j < n; ++j) {
        const double t = static_cast<double>(theta);
        body.local_vertices[j] =
            Vec2{static_cast<float>(std::sin(t)), static_cast<float>(std::cos(t))};
        theta = step + theta;
    }

    const float hw = draw_between(sim.geom_w_min, sim.geom_w_max) * sim.smooth_radius * 0.5f;
    const float hh = draw_between(sim.geom_h_min, sim.geom_h_max) * sim.smooth_radius * 0.5f;
    scale_points(n + 1, body.local_vertices, hw, hh);

    // The unrotated ellipse fits inside [0, field_size] on both axes.
    const float rx = static_cast<float>(rng_draw());
    body.center.x = rx * (sim.field_size - hw - hw) * draw_scale + hw;
    const float ry = static_cast<float>(rng_draw());
    body.center.y = ry * (sim.field_size - hh - hh) * draw_scale + hh;
    body.angle = draw_angle();

    // Fan of triangles (origin, a, b). Each centroid is found as the crossing of the medians
    // a -> b/2 and b -> a/2 (parameters s, t, both 2/3 for a proper triangle). The weight is
    // Heron's area of the triangle (center, a, b), mixing the world centre with body-space
    // corners, so it grows with the distance from the world origin.
    float sum_a = 0.0f;
    float sum_ax = 0.0f;
    float sum_ay = 0.0f;
    for (int m = 0; m < n; ++m) {
        const Vec2 a = body.local_vertices[m];
        const Vec2 b = body.local_vertices[m + 1];
        const float d = (a.y / 2 - b.y) * (a.x - b.x / 2) - (a.y - b.y / 2) * (a.x / 2 - b.x);
        if (!(std::fabs(static_cast<double>(d)) >= static_cast<double>(degenerate_limit))) {
            return Shape::degenerate;
        }
        const float inv_d = 1.0f / d;
        const float s = ((a.y / 2 - b.y) * (a.x - b.x) - (a.y - b.y) * (a.x / 2 - b.x)) * inv_d;
        const float t = ((a.y - b.y) * (a.x - b.x / 2) - (a.y - b.y / 2) * (a.x - b.x)) * inv_d;
        if (!(s >= 0.0f && s <= 1.0f && t >= 0.0f && t <= 1.0f)) return Shape::degenerate;
        const float gx = a.x + s * (b.x / 2 - a.x);
        const float gy = a.y + s * (b.y / 2 - a.y);

        const float la = length(a.x - body.center.x, a.y - body.center.y);
        const float lb = length(b.x - body.center.x, b.y - body.center.y);
        const float lab = length(b.x - a.x, b.y - a.y);
        const float p = (la + lb + lab) * 0.5f;
        // For a thin triangle the rounded product can dip just below zero: its area is zero.
        const float product = p * (p - la) * (p - lb) * (p - lab);
        const float area = product > 0.0f ? std::sqrt(product) : 0.0f;
        sum_a += area;
        sum_ax += area * gx;
        sum_ay += area * gy;
    }
    if (!(sum_a > 0.0f) || !std::isfinite(sum_a)) return Shape::degenerate;

    const float inv = 1.0f / sum_a;
    translate_points(n + 1, body.local_vertices, sum_ax * inv, sum_ay * inv);
    body.body_mass = draw_between(sim.geom_mass_min, sim.geom_mass_max) * inv;
    body.inertia = draw_between(sim.geom_m_inert_min, sim.geom_m_inert_max);
    update_world_vertices(body);
    return Shape::made;
}

bool overlaps_earlier(int k) {
    for (int i = 0; i < k; ++i) {
        if (bodies_overlap(sim.bodies[k], sim.bodies[i])) return true;
    }
    return false;
}

} // namespace

void scale_points(int count, Vec2* points, float sx, float sy) {
    for (int i = 0; i < count; ++i) {
        points[i].x *= sx;
        points[i].y *= sy;
    }
}

void translate_points(int count, Vec2* points, float dx, float dy) {
    for (int i = 0; i < count; ++i) {
        points[i].x += dx;
        points[i].y += dy;
    }
}

bool bodies_overlap(const RigidBody& a, const RigidBody& b) {
    const bool on_x =
        (b.min_x <= a.max_x && b.max_x >= a.max_x) || (b.max_x >= a.min_x && b.max_x <= a.max_x);
    const bool on_y =
        (b.min_y <= a.max_y && b.max_y >= a.max_y) || (b.max_y >= a.min_y && b.max_y <= a.max_y);
    return on_x && on_y;
}

void generate_bodies() {
    const int wanted = sim.geom_count;
    for (int k = 0; k < wanted; ++k) {
        RigidBody& body = sim.bodies[k];
        bool placed = false;
        for (int attempt = 0; attempt < max_placement_attempts && !placed; ++attempt) {
            const Shape shape = shape_body(body);
            if (shape == Shape::too_few_corners) {
                std::printf("Made %d of %d bodies: body %d has %d corners, at least 3 are needed\n",
                            k, wanted, k + 1, body.vertex_count);
            } else if (shape == Shape::degenerate) {
                std::printf("Made %d of %d bodies: body %d is too small to find its centre "
                            "(a triangle of its outline is degenerate)\n",
                            k, wanted, k + 1);
            }
            if (shape != Shape::made) {
                std::fflush(stdout);
                body = RigidBody{};
                sim.geom_count = k;
                return;
            }
            placed = !overlaps_earlier(k);
        }
        if (!placed) {
            body = RigidBody{};
            sim.geom_count = k;
            std::printf("Made %d of %d bodies: no free place found for body %d after %d attempts\n",
                        k, wanted, k + 1, max_placement_attempts);
            std::fflush(stdout);
            return;
        }
    }
}
