#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "base/random.h"
#include "body_test_support.h"

namespace {

using BodyGeneration = BodyTest;

constexpr double two_pi = 6.283185307179586;

// The nine draws of one attempt, in the order the generator must take them.
struct AttemptDraws {
    int start_angle, vertex_count, width, height, center_x, center_y, angle, mass, inertia;
};

AttemptDraws draws_after_seed(uint32_t seed) {
    rng_seed(seed);
    AttemptDraws d{};
    d.start_angle = rng_draw();
    d.vertex_count = rng_draw();
    d.width = rng_draw();
    d.height = rng_draw();
    d.center_x = rng_draw();
    d.center_y = rng_draw();
    d.angle = rng_draw();
    d.mass = rng_draw();
    d.inertia = rng_draw();
    return d;
}

double between(double lo, double hi, int draw) {
    return lo + (hi - lo) * draw / 32768.0;
}

// Cross product of consecutive edges; negative everywhere for a convex outline run clockwise.
bool clockwise_convex(const Vec2* v, int n) {
    for (int k = 0; k < n; ++k) {
        const Vec2 a = v[k];
        const Vec2 b = v[(k + 1) % n];
        const Vec2 c = v[(k + 2) % n];
        const double cross = static_cast<double>(b.x - a.x) * (c.y - b.y) -
                             static_cast<double>(b.y - a.y) * (c.x - b.x);
        if (!(cross < 0.0)) return false;
    }
    return true;
}

} // namespace

TEST_F(BodyGeneration, FirstBodyFollowsItsDrawsInOrder) {
    // The first body is always accepted, so one attempt takes exactly nine draws. Its corners
    // are recomputed here in double precision from those draws: an ellipse-inscribed polygon,
    // offset by the centroid of the fan triangles weighted by the areas of the triangles
    // (world centre, a, b), rotated and moved to the centre.
    sim.geom_count = 1;
    for (uint32_t seed : {7u, 1234u, 99991u, 4000000000u}) {
        SCOPED_TRACE(seed);
        const AttemptDraws d = draws_after_seed(seed);
        const uint32_t state_after_one_attempt = rng_state();
        allocate_bodies(1);
        rng_seed(seed);
        generate_bodies();
        EXPECT_EQ(rng_state(), state_after_one_attempt);
        ASSERT_EQ(sim.geom_count, 1);
        const RigidBody& b = sim.bodies[0];

        const int kinds = sim.geom_vertex_count_max - sim.geom_vertex_count_min + 1;
        const int n = sim.geom_vertex_count_min + (d.vertex_count * kinds) / 32768;
        ASSERT_EQ(b.vertex_count, n);
        const double h = sim.smooth_radius;
        const double hw = between(sim.geom_w_min, sim.geom_w_max, d.width) * h * 0.5;
        const double hh = between(sim.geom_h_min, sim.geom_h_max, d.height) * h * 0.5;
        const double cx = d.center_x * (sim.field_size - 2 * hw) / 32768.0 + hw;
        const double cy = d.center_y * (sim.field_size - 2 * hh) / 32768.0 + hh;
        EXPECT_NEAR(b.center.x, cx, 1e-7);
        EXPECT_NEAR(b.center.y, cy, 1e-7);
        EXPECT_NEAR(b.angle, d.angle * two_pi / 32768.0, 1e-6);

        std::vector<double> px(n + 1), py(n + 1);
        for (int j = 0; j <= n; ++j) {
            const double theta = d.start_angle * two_pi / 32768.0 + (j % n) * two_pi / n;
            px[j] = hw * std::sin(theta);
            py[j] = hh * std::cos(theta);
        }
        double sum = 0, sum_x = 0, sum_y = 0;
        for (int m = 0; m < n; ++m) {
            const double area =
                std::fabs((px[m] - cx) * (py[m + 1] - cy) - (py[m] - cy) * (px[m + 1] - cx)) / 2;
            sum += area;
            sum_x += area * (px[m] + px[m + 1]) / 3;
            sum_y += area * (py[m] + py[m + 1]) / 3;
        }
        const double ox = sum_x / sum, oy = sum_y / sum;
        // Heron's formula in single precision on these long thin triangles is good to a few
        // 1e-6 in the corners; the offset must stand well clear of that for a wrong sign or
        // weight to show.
        EXPECT_GT(std::hypot(ox, oy), 5e-4);
        const double ca = std::cos(b.angle), sa = std::sin(b.angle);
        for (int j = 0; j <= n; ++j) {
            const double lx = px[j] + ox, ly = py[j] + oy;
            EXPECT_NEAR(b.local_vertices[j].x, lx, 1e-5) << "corner " << j;
            EXPECT_NEAR(b.local_vertices[j].y, ly, 1e-5) << "corner " << j;
            EXPECT_NEAR(b.world_vertices[j].x, lx * ca - ly * sa + cx, 1e-5) << "corner " << j;
            EXPECT_NEAR(b.world_vertices[j].y, lx * sa + ly * ca + cy, 1e-5) << "corner " << j;
        }
        EXPECT_NEAR(b.body_mass / (between(sim.geom_mass_min, sim.geom_mass_max, d.mass) / sum),
                    1.0, 1e-3);
        EXPECT_SAME_FLOAT(b.inertia, (sim.geom_m_inert_max - sim.geom_m_inert_min) *
                                             static_cast<float>(d.inertia) / 32768.0f +
                                         sim.geom_m_inert_min);
        // Untouched by generation: the record was zero-filled.
        EXPECT_EQ(b.linear_velocity.x, 0.0f);
        EXPECT_EQ(b.angular_velocity, 0.0f);
    }
}

TEST_F(BodyGeneration, EveryBodyIsAClosedClockwiseConvexOutlineInItsOwnBox) {
    int seen_counts[33] = {};
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        SCOPED_TRACE(seed);
        allocate_bodies(6);
        rng_seed(seed * 2654435761u);
        generate_bodies();
        ASSERT_EQ(sim.geom_count, 6);
        for (int i = 0; i < 6; ++i) {
            const RigidBody& b = sim.bodies[i];
            const int n = b.vertex_count;
            ASSERT_GE(n, 4);
            ASSERT_LE(n, 10);
            ++seen_counts[n];
            EXPECT_TRUE(clockwise_convex(b.local_vertices, n));
            EXPECT_TRUE(clockwise_convex(b.world_vertices, n));
            EXPECT_EQ(b.local_vertices[n].x, b.local_vertices[0].x);
            EXPECT_EQ(b.local_vertices[n].y, b.local_vertices[0].y);
            EXPECT_EQ(b.world_vertices[n].x, b.world_vertices[0].x);
            EXPECT_EQ(b.world_vertices[n].y, b.world_vertices[0].y);
            float lo_x = b.center.x, hi_x = b.center.x, lo_y = b.center.y, hi_y = b.center.y;
            for (int j = 0; j < n; ++j) {
                lo_x = std::fmin(lo_x, b.world_vertices[j].x);
                hi_x = std::fmax(hi_x, b.world_vertices[j].x);
                lo_y = std::fmin(lo_y, b.world_vertices[j].y);
                hi_y = std::fmax(hi_y, b.world_vertices[j].y);
            }
            EXPECT_EQ(b.min_x, lo_x);
            EXPECT_EQ(b.max_x, hi_x);
            EXPECT_EQ(b.min_y, lo_y);
            EXPECT_EQ(b.max_y, hi_y);
            EXPECT_GT(b.body_mass, 0.0f);
            EXPECT_TRUE(std::isfinite(b.body_mass));
            // Accepted bodies never share a point of their boxes with an earlier one.
            for (int k = 0; k < i; ++k) {
                const RigidBody& e = sim.bodies[k];
                EXPECT_TRUE(b.max_x < e.min_x || e.max_x < b.min_x || b.max_y < e.min_y ||
                            e.max_y < b.min_y)
                    << "bodies " << k << " and " << i;
            }
        }
    }
    for (int n = 4; n <= 10; ++n)
        EXPECT_GT(seen_counts[n], 0) << n << " corners never drawn";
}

TEST_F(BodyGeneration, EqualCountBoundsGiveThatCount) {
    for (int n : {3, 7, 32}) {
        SCOPED_TRACE(n);
        sim.geom_vertex_count_min = n;
        sim.geom_vertex_count_max = n;
        allocate_bodies(4);
        rng_seed(42);
        generate_bodies();
        ASSERT_EQ(sim.geom_count, 4);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(sim.bodies[i].vertex_count, n);
            EXPECT_TRUE(clockwise_convex(sim.bodies[i].world_vertices, n));
        }
    }
}

TEST_F(BodyGeneration, NoBodiesDrawNothing) {
    allocate_bodies(0);
    rng_seed(5);
    testing::internal::CaptureStdout();
    generate_bodies();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(rng_state(), 5u);
    EXPECT_EQ(sim.geom_count, 0);
}

TEST_F(BodyGeneration, BoxesOverlapWhenTheyShareAnyPoint) {
    struct Case {
        float b_min_x, b_max_x, b_min_y, b_max_y;
        bool overlap;
        const char* what;
    };
    // Box A is [0, 1] x [0, 1].
    const Case cases[] = {
        {1.0f, 2.0f, 0.0f, 1.0f, true, "touching on the right edge"},
        {-1.0f, 0.0f, 0.5f, 2.0f, true, "touching on the left edge"},
        {1.0f, 2.0f, 1.0f, 2.0f, true, "touching at one corner"},
        {0.2f, 0.8f, 0.2f, 0.8f, true, "inside"},
        {-1.0f, 2.0f, -1.0f, 2.0f, true, "around"},
        {0.5f, 1.5f, -0.5f, 0.5f, true, "across a corner"},
        {1.001f, 2.0f, 0.0f, 1.0f, false, "right of it"},
        {-2.0f, -0.001f, 0.0f, 1.0f, false, "left of it"},
        {0.2f, 0.8f, 1.5f, 2.0f, false, "above, overlapping on x"},
        {1.5f, 2.0f, 0.2f, 0.8f, false, "beside, overlapping on y"},
    };
    RigidBody a{};
    a.min_x = 0.0f;
    a.max_x = 1.0f;
    a.min_y = 0.0f;
    a.max_y = 1.0f;
    for (const Case& c : cases) {
        RigidBody b{};
        b.min_x = c.b_min_x;
        b.max_x = c.b_max_x;
        b.min_y = c.b_min_y;
        b.max_y = c.b_max_y;
        EXPECT_EQ(bodies_overlap(a, b), c.overlap) << c.what;
        EXPECT_EQ(bodies_overlap(b, a), c.overlap) << c.what << ", boxes swapped";
    }
}

TEST_F(BodyGeneration, BodyFartherFromTheOriginIsLighter) {
    // A larger field leaves every draw and the polygon alike but moves the centre away from
    // the origin; the fan weights then grow, and the same mass draw is divided by more.
    sim.geom_count = 1;
    const AttemptDraws d = draws_after_seed(77);
    ASSERT_GT(d.center_x + d.center_y, 8000) << "pick a seed that places the body off the corner";
    RigidBody near_body{}, far_body{};
    for (float field : {0.8f, 3.0f}) {
        sim.field_size = field;
        allocate_bodies(1);
        rng_seed(77);
        generate_bodies();
        (field < 1.0f ? near_body : far_body) = sim.bodies[0];
    }
    ASSERT_EQ(near_body.vertex_count, far_body.vertex_count);
    EXPECT_GT(far_body.center.x, near_body.center.x);
    EXPECT_GT(far_body.center.y, near_body.center.y);
    EXPECT_EQ(near_body.inertia, far_body.inertia);
    EXPECT_LT(far_body.body_mass, near_body.body_mass * 0.5f);
}

TEST_F(BodyGeneration, UnfinishedGenerationKeepsTheFinishedBodies) {
    struct Case {
        const char* what;
        float smooth_radius, size_min, size_max;
        int count_min, count_max, wanted, made;
        const char* line;
    };
    const Case cases[] = {
        // 32 corners on an ellipse 0.005 across: each fan triangle is below the threshold.
        {"too small", 0.001f, 5.0f, 5.0f, 32, 32, 3, 0,
         "Made 0 of 3 bodies: body 1 is too small to find its centre (a triangle of its outline "
         "is degenerate)\n"},
        {"two corners", 0.01f, 5.0f, 10.0f, 2, 2, 2, 0,
         "Made 0 of 2 bodies: body 1 has 2 corners, at least 3 are needed\n"},
        // Each body spans most of the box, so the second can never be placed.
        {"too big to fit", 0.01f, 60.0f, 70.0f, 4, 10, 3, 1,
         "Made 1 of 3 bodies: no free place found for body 2 after 10000 attempts\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim.smooth_radius = c.smooth_radius;
        sim.geom_w_min = sim.geom_h_min = c.size_min;
        sim.geom_w_max = sim.geom_h_max = c.size_max;
        sim.geom_vertex_count_min = c.count_min;
        sim.geom_vertex_count_max = c.count_max;
        allocate_bodies(c.wanted);
        rng_seed(3);
        testing::internal::CaptureStdout();
        generate_bodies();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.line);
        EXPECT_EQ(sim.geom_count, c.made);
        for (int i = 0; i < c.made; ++i) {
            EXPECT_GT(sim.bodies[i].body_mass, 0.0f);
            EXPECT_GT(sim.bodies[i].inertia, 0.0f);
        }
        // The unfinished record is left as allocated: nothing of a half-made body remains.
        EXPECT_EQ(sim.bodies[c.made].vertex_count, 0);
        EXPECT_EQ(sim.bodies[c.made].body_mass, 0.0f);
    }
}

TEST_F(BodyGeneration, VertexCountBeyondCapacityIsCut) {
    // Refused by the settings check; still, a record never takes more than its arrays hold.
    sim.geom_vertex_count_min = 40;
    sim.geom_vertex_count_max = 100;
    allocate_bodies(2);
    rng_seed(11);
    generate_bodies();
    ASSERT_EQ(sim.geom_count, 2);
    for (int i = 0; i < 2; ++i) {
        const RigidBody& b = sim.bodies[i];
        EXPECT_EQ(b.vertex_count, body_vertex_capacity);
        EXPECT_EQ(b.world_vertices[32].x, b.world_vertices[0].x);
        EXPECT_TRUE(clockwise_convex(b.world_vertices, 32));
    }
}

TEST_F(BodyGeneration, ThinFanTriangleWeighsNothingInsteadOfPoisoning) {
    // With this seed and 10,000 particles seeded first, one fan triangle of the default bodies
    // is so thin that Heron's product rounds below zero; its square root would be NaN and the
    // body's mass with it.
    rng_seed(1279);
    for (int i = 0; i < 20000; ++i)
        rng_draw();
    generate_bodies();
    ASSERT_EQ(sim.geom_count, 2);
    for (int i = 0; i < 2; ++i) {
        const RigidBody& b = sim.bodies[i];
        EXPECT_TRUE(std::isfinite(b.body_mass)) << "body " << i;
        EXPECT_GT(b.body_mass, 0.0f) << "body " << i;
        for (int j = 0; j <= b.vertex_count; ++j) {
            EXPECT_TRUE(std::isfinite(b.world_vertices[j].x) &&
                        std::isfinite(b.world_vertices[j].y))
                << "body " << i << " corner " << j;
        }
    }
}
