#include <gtest/gtest.h>

#include <cmath>

#include "base/random.h"
#include "body_test_support.h"

namespace {

using BodyMotion = BodyTest;

// The world corners must be the body-space corners turned by the angle (whatever its size) and
// moved to the centre, closed by a copy of the first, inside a box that was rebuilt from them.
void expect_corners_follow(const RigidBody& b, double tolerance) {
    const double c = std::cos(static_cast<double>(b.angle));
    const double s = std::sin(static_cast<double>(b.angle));
    const int n = b.vertex_count;
    float lo_x = b.center.x, hi_x = b.center.x, lo_y = b.center.y, hi_y = b.center.y;
    for (int j = 0; j <= n; ++j) {
        const Vec2 l = b.local_vertices[j];
        const Vec2 w = b.world_vertices[j];
        EXPECT_NEAR(w.x, l.x * c - l.y * s + b.center.x, tolerance) << "corner " << j;
        EXPECT_NEAR(w.y, l.x * s + l.y * c + b.center.y, tolerance) << "corner " << j;
        lo_x = std::fmin(lo_x, w.x);
        hi_x = std::fmax(hi_x, w.x);
        lo_y = std::fmin(lo_y, w.y);
        hi_y = std::fmax(hi_y, w.y);
    }
    EXPECT_EQ(b.world_vertices[n].x, b.world_vertices[0].x);
    EXPECT_EQ(b.world_vertices[n].y, b.world_vertices[0].y);
    EXPECT_EQ(b.min_x, lo_x);
    EXPECT_EQ(b.max_x, hi_x);
    EXPECT_EQ(b.min_y, lo_y);
    EXPECT_EQ(b.max_y, hi_y);
}

} // namespace

TEST_F(BodyMotion, WallsActOnlyWhenTheBoxCrossesThem) {
    // Walls at 0.125 and 0.875, exact in binary, so the box can touch them exactly.
    sim.smooth_radius = 0.125f;
    sim.field_size = 0.875f;
    sim.current_gravity = 0.0f;
    sim.damp = 1.0f;
    allocate_bodies(1);

    // The box touches the left wall. A corner planted beyond the wall is never looked at,
    // because the box says the body is inside.
    sim.bodies[0] = box_body(Vec2{0.25f, 0.5f}, 0.125f, 0.125f);
    ASSERT_EQ(sim.bodies[0].min_x, 0.125f);
    sim.bodies[0].world_vertices[1] = Vec2{0.0f, 0.0f};
    step_bodies();
    EXPECT_EQ(sim.bodies[0].linear_velocity.x, 0.0f);
    EXPECT_EQ(sim.bodies[0].linear_velocity.y, 0.0f);
    EXPECT_EQ(sim.bodies[0].angular_velocity, 0.0f);

    // The same body a little over the line: its left corners are pushed right, symmetrically.
    sim.bodies[0] = box_body(Vec2{0.2499f, 0.5f}, 0.125f, 0.125f);
    step_bodies();
    EXPECT_GT(sim.bodies[0].linear_accel.x, 0.0f);
    EXPECT_NEAR(sim.bodies[0].linear_accel.y, 0.0f, 1e-3);
    EXPECT_NEAR(sim.bodies[0].angular_accel, 0.0f, 1e-3);
}

TEST_F(BodyMotion, CornerBeyondABoxCornerIsPushedOnBothAxes) {
    // A triangle with one corner at (-a, -a) from its centre, the others well inside; that
    // corner sits e beyond both walls of a box corner. Each axis pushes with arm term
    // t r = (pen r_axis 5k / (|r| m)) r, so with |r| = a sqrt 2 each component of the
    // acceleration is 2 * 5 k e a / (sqrt 2 m); the two torques cancel.
    const float a = 0.05f, e = 1e-4f;
    const double expected = 2.0 * 5.0 * sim.geom_stiff * 1e-4 * 0.05 / std::sqrt(2.0);
    struct Case {
        float sign; // -1: the lower left box corner, +1: the upper right one
        const char* what;
    };
    for (const Case& c : {Case{-1.0f, "lower left"}, Case{1.0f, "upper right"}}) {
        allocate_bodies(1);
        RigidBody b{};
        b.vertex_count = 3;
        b.body_mass = 1.0f;
        b.inertia = 1.0f;
        b.local_vertices[0] = Vec2{c.sign * a, c.sign * a};
        b.local_vertices[1] = Vec2{-c.sign * 0.2f * a, -c.sign * a};
        b.local_vertices[2] = Vec2{-c.sign * a, -c.sign * 0.2f * a};
        b.local_vertices[3] = b.local_vertices[0];
        const float wall = c.sign < 0 ? sim.smooth_radius : sim.field_size;
        b.center = Vec2{wall - c.sign * (a - e), wall - c.sign * (a - e)};
        update_world_vertices(b);
        sim.bodies[0] = b;
        step_bodies();
        const RigidBody& s = sim.bodies[0];
        EXPECT_NEAR(s.linear_accel.x, -c.sign * expected, expected * 0.01) << c.what;
        EXPECT_NEAR(s.linear_accel.y, -c.sign * expected, expected * 0.01) << c.what;
        EXPECT_NEAR(s.angular_accel, 0.0f, expected * 1e-3) << c.what;
    }
}

TEST_F(BodyMotion, FreeBodyFallsWithGravityAndKeepsItsSpin) {
    sim.damp = 1.0f;
    const float dt = sim.timestep;
    for (float g : {sim.gravity, 0.0f}) {
        SCOPED_TRACE(g);
        sim.current_gravity = g;
        allocate_bodies(1);
        sim.bodies[0] = box_body(Vec2{0.4f, 0.6f}, 0.03f, 0.02f, 0.3f, 1e-3f, 10.0f);
        sim.bodies[0].linear_velocity = Vec2{0.25f, 0.5f};
        sim.bodies[0].angular_velocity = 3.0f;
        const int steps = 100;
        for (int i = 0; i < steps; ++i) {
            sim.bodies[0].linear_accel = Vec2{0.0f, 0.0f};
            sim.bodies[0].angular_accel = 0.0f;
            step_bodies();
        }
        const RigidBody& b = sim.bodies[0];
        // v_n = v0 + n g dt; the centre moves by dt times each new velocity.
        const double n = steps;
        EXPECT_EQ(b.linear_velocity.x, 0.25f);
        EXPECT_NEAR(b.linear_velocity.y, 0.5 + n * g * dt, 1e-5);
        EXPECT_NEAR(b.center.x, 0.4 + n * dt * 0.25, 1e-5);
        EXPECT_NEAR(b.center.y, 0.6 + n * dt * 0.5 + g * dt * dt * n * (n + 1) / 2, 1e-5);
        EXPECT_EQ(b.angular_velocity, 3.0f);
        EXPECT_NEAR(b.angle, 0.3 + n * dt * 3.0, 1e-5);
        expect_corners_follow(b, 1e-6);
    }
}

TEST_F(BodyMotion, AngleGrowsWithoutWrapWhileCornersStayRight) {
    sim.damp = 1.0f;
    sim.current_gravity = 0.0f;
    allocate_bodies(1);
    rng_seed(2024);
    generate_bodies();
    ASSERT_EQ(sim.geom_count, 1);
    sim.bodies[0].angular_velocity = 2000.0f; // 3 rad a step with the default timestep
    const float start = sim.bodies[0].angle;
    for (int i = 1; i <= 200; ++i) {
        sim.bodies[0].linear_accel = Vec2{0.0f, 0.0f};
        sim.bodies[0].angular_accel = 0.0f;
        step_bodies();
        if (i % 40 == 0) {
            SCOPED_TRACE(i);
            expect_corners_follow(sim.bodies[0], 1e-6);
        }
    }
    EXPECT_NEAR(sim.bodies[0].angle, start + 200 * sim.timestep * 2000.0f, 0.01f);
}

TEST_F(BodyMotion, ContactAccelerationIsCappedAtTheLimitOnly) {
    // 0.05 h / dt^2: the acceleration that moves a body from rest by 0.05 h in one step.
    const double limit = 0.05 * sim.smooth_radius / (double(sim.timestep) * sim.timestep);
    struct Case {
        Vec2 accel;
        bool capped;
    };
    const float just_below = static_cast<float>(limit * 0.999);
    const float just_above = static_cast<float>(limit * 1.001);
    const Case cases[] = {
        {{100.0f, -50.0f}, false}, {{0.0f, -just_below}, false}, {{3e4f, -4e4f}, true},
        {{-1e9f, 0.0f}, true},     {{0.0f, just_above}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.accel.x << ", " << c.accel.y);
        allocate_bodies(1);
        sim.bodies[0] = box_body(Vec2{0.4f, 0.4f}, 0.03f, 0.03f, 0.0f, 1.0f, 1.0f);
        sim.bodies[0].linear_accel = c.accel;
        sim.bodies[0].angular_accel = 1e6f; // the turn is not limited
        step_bodies();
        const RigidBody& b = sim.bodies[0];
        EXPECT_EQ(b.angular_accel, 1e6f);
        if (!c.capped) {
            EXPECT_EQ(b.linear_accel.x, c.accel.x);
            EXPECT_EQ(b.linear_accel.y, c.accel.y);
        } else {
            EXPECT_NEAR(std::hypot(b.linear_accel.x, b.linear_accel.y), limit, limit * 1e-5);
            // Same direction: the cross product with the original vanishes, the dot is positive.
            const double cross = static_cast<double>(b.linear_accel.x) * c.accel.y -
                                 static_cast<double>(b.linear_accel.y) * c.accel.x;
            EXPECT_NEAR(cross, 0.0, std::hypot(c.accel.x, c.accel.y) * limit * 1e-6);
            EXPECT_GT(b.linear_accel.x * c.accel.x + b.linear_accel.y * c.accel.y, 0.0f);
        }
        // Gravity comes on top of the capped contact acceleration.
        EXPECT_FLOAT_EQ(b.linear_velocity.y,
                        (b.linear_accel.y + sim.current_gravity) * sim.timestep * sim.damp);
    }
}

TEST_F(BodyMotion, BodiesDroppedIntoAStillBedStayInTheBox) {
    // Default bodies half sunk in a bed of particles that do not move. A particle 0.01 deep in
    // a default body asks for an acceleration of the order geom_stiff 0.01 |r| / body_mass,
    // millions: one explicit step would throw the body far out of the box. The cap keeps the
    // bodies floating on the bed.
    std::vector<Vec2> bed;
    for (float y = 0.0125f; y < 0.4f; y += 0.005f) {
        for (float x = 0.0125f; x < sim.field_size; x += 0.005f)
            bed.push_back(Vec2{x, y});
    }
    set_particles(bed);
    allocate_bodies(4);
    rng_seed(99);
    generate_bodies();
    ASSERT_EQ(sim.geom_count, 4);
    for (int i = 0; i < 4; ++i) {
        RigidBody& b = sim.bodies[i];
        b.center = Vec2{0.1f + 0.2f * static_cast<float>(i), 0.4f};
        update_world_vertices(b);
    }
    const double limit = 0.05 * sim.smooth_radius / (double(sim.timestep) * sim.timestep);
    double largest_raw = 0.0;
    for (int step = 0; step < 3000; ++step) {
        apply_fluid_body_contact();
        apply_body_body_contact();
        for (int i = 0; i < 4; ++i) {
            largest_raw = std::fmax(largest_raw, std::hypot(sim.bodies[i].linear_accel.x,
                                                            sim.bodies[i].linear_accel.y));
        }
        step_bodies();
    }
    EXPECT_GT(largest_raw, 100.0 * limit) << "the bed should ask for run-away accelerations";
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const RigidBody& b = sim.bodies[i];
        EXPECT_TRUE(std::isfinite(b.center.x) && std::isfinite(b.center.y) &&
                    std::isfinite(b.angle));
        EXPECT_GT(b.center.y, 0.3f);
        EXPECT_LT(b.center.y, 0.55f);
        EXPECT_GT(b.center.x, 0.0f);
        EXPECT_LT(b.center.x, sim.field_size);
        EXPECT_LT(std::hypot(b.linear_velocity.x, b.linear_velocity.y), 1.0);
        expect_corners_follow(b, 1e-6);
    }
}
