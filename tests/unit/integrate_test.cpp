#include <gtest/gtest.h>

#include <cmath>

#include "sim_test_util.h"
#include "sph/sim_state.h"
#include "sph/steps.h"
#include "sph_fixture.h"

TEST(Integrate, FreeFallAndMidStepVelocity) {
    // damp 1, no walls in reach, no pair force: one step of pure gravity is exactly vy' = dt g
    // and y += dt (dt g); velocity_eval is the mean of old and new velocity. Particle 1 already
    // moves; particle 2 floats with gravity switched off.
    HandState state(3, 0);
    sim.damp = 1.0f;
    sim.ext_stiff = 0.0f;
    sim.position[0] = Vec2{0.4f, 0.5f};
    sim.position[1] = Vec2{0.4f, 0.5f};
    sim.velocity[1] = Vec2{0.3f, -0.2f};
    sim.position[2] = Vec2{0.4f, 0.5f};
    sim.velocity_eval[0] = Vec2{9.0f, 9.0f}; // the previous step's value must not leak
    const float dt = sim.timestep;
    const float g = sim.current_gravity;

    integrate();
    EXPECT_EQ(sim.velocity[0].x, 0.0f);
    EXPECT_SAME_FLOAT(sim.velocity[0].y, dt * g);
    EXPECT_EQ(sim.position[0].x, 0.4f);
    EXPECT_SAME_FLOAT(sim.position[0].y, 0.5f + dt * (dt * g));
    EXPECT_NEAR(sim.position[0].y - 0.5f, dt * dt * g, 1e-7f);
    EXPECT_EQ(sim.velocity_eval[0].x, 0.0f);
    EXPECT_SAME_FLOAT(sim.velocity_eval[0].y, 0.5f * (dt * g));

    EXPECT_EQ(sim.velocity[1].x, 0.3f);
    EXPECT_FLOAT_EQ(sim.velocity_eval[1].y, -0.2f + 0.5f * dt * g);
    EXPECT_FLOAT_EQ(sim.position[1].x, 0.4f + dt * 0.3f);

    // Damping scales the whole new velocity.
    HandState damped(1, 0);
    sim.position[0] = Vec2{0.4f, 0.5f};
    sim.velocity[0] = Vec2{1.0f, 0.0f};
    sim.current_gravity = 0.0f; // middle button held
    integrate();
    EXPECT_FLOAT_EQ(sim.velocity[0].x, sim.damp);
    EXPECT_EQ(sim.velocity[0].y, 0.0f);
    EXPECT_FLOAT_EQ(sim.velocity_eval[0].x, (1.0f + sim.damp) / 2.0f);
    EXPECT_EQ(sim.position[0].y, 0.5f) << "without gravity a particle at rest stays at rest";
}

TEST(Integrate, WallsPushBackFromBothSides) {
    // Walls are springs on the penetration depth, strict: at the wall itself nothing acts.
    // damp 1, no gravity, at rest, so the new velocity is exactly dt times the wall term.
    struct Case {
        Vec2 at;
        float depth_x; // expected (wall - x), 0 when no wall acts
        float depth_y;
    };
    const PhysConfig phys = default_phys_config();
    const float h = phys.smooth_radius;
    const float top = phys.field_size;
    // Positions as the particle stores them: rounded to float before the wall subtracts them
    // (the x87 unit would otherwise carry the sums below at a wider precision).
    const auto stored = [](float value) {
        volatile float kept = value;
        return static_cast<float>(kept);
    };
    const float right = stored(top + 0.003f);
    const float above = stored(top + 0.004f);
    const float corner = stored(top + 0.001f);
    const float band = stored(h / 4);
    const Case cases[] = {
        {{h / 2, 0.4f}, h - h / 2, 0.0f},         // inside the left band
        {{h, 0.4f}, 0.0f, 0.0f},                  // exactly on the left wall
        {{0.4f, h}, 0.0f, 0.0f},                  // exactly on the floor
        {{0.4f, -0.02f}, 0.0f, h - -0.02f},       // below the floor, beyond the grid
        {{right, 0.4f}, top - right, 0.0f},       // right wall
        {{0.4f, above}, 0.0f, top - above},       // ceiling
        {{top, top}, 0.0f, 0.0f},                 // the upper corner itself
        {{band, corner}, h - band, top - corner}, // a corner band
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "at (" << c.at.x << ", " << c.at.y << ")");
        HandState state(1, 0);
        sim.damp = 1.0f;
        sim.current_gravity = -0.0f;
        sim.position[0] = c.at;
        // Negative zeros everywhere: a wall that acts with zero depth would still turn the
        // resulting -0 velocity into +0, so the sign shows whether the test is strict.
        sim.velocity[0] = Vec2{-0.0f, -0.0f};
        sim.force[0] = Vec2{-0.0f, -0.0f};
        integrate();
        const float dt = sim.timestep;
        EXPECT_SAME_FLOAT(sim.velocity[0].x, dt * (c.depth_x * sim.ext_stiff));
        EXPECT_SAME_FLOAT(sim.velocity[0].y, dt * (c.depth_y * sim.ext_stiff));
        EXPECT_EQ(std::signbit(sim.velocity[0].x), !(c.depth_x > 0.0f));
        EXPECT_EQ(std::signbit(sim.velocity[0].y), !(c.depth_y > 0.0f));
        if (c.depth_x != 0.0f) {
            // Pointing back into the box.
            EXPECT_GT(sim.velocity[0].x * (0.4f - c.at.x), 0.0f);
        }
    }
}

TEST(Stirring, PullsAndPushesWithinTheRadius) {
    // Defaults: R = 0.13. Each row places one particle at (mx + ox, my + oy) with the pointer at
    // (0.4, 0.4); the expected velocity change is mouse_force (R - d) / 100 along the line to the
    // pointer, times the sign.
    const float mx = 0.4f;
    const float my = 0.4f;
    HandState state(7, 0);
    const float radius = sim.smooth_radius * sim.mouse_radius;
    const Vec2 offsets[7] = {
        {0.05f, 0.0f},   // inside, on the x axis
        {0.0f, -0.1f},   // inside, below
        {0.03f, 0.04f},  // d = 0.05, diagonal
        {0.0f, 0.0f},    // exactly at the pointer: no direction, skipped
        {0.0f, 0.131f},  // just outside R
        {0.0f, 0.2f},    // far away
        {-0.001f, 0.0f}, // right next to the pointer: about mouse_force R / 100
    };
    for (float sign : {1.0f, -1.0f}) {
        SCOPED_TRACE(testing::Message() << "sign " << sign);
        for (int i = 0; i < 7; ++i) {
            sim.position[i] = Vec2{mx + offsets[i].x, my + offsets[i].y};
            sim.velocity[i] = Vec2{0.0f, 0.0f};
            sim.velocity_eval[i] = Vec2{0.25f, -0.5f};
        }
        apply_mouse_force(mx, my, sign);
        for (int i = 0; i < 7; ++i) {
            SCOPED_TRACE(testing::Message() << "particle " << i);
            const Vec2 dv = sim.velocity[i];
            const double dx = mx - sim.position[i].x;
            const double dy = my - sim.position[i].y;
            const double d = std::sqrt(dx * dx + dy * dy);
            if (d == 0.0 || d >= radius) {
                EXPECT_EQ(dv.x, 0.0f);
                EXPECT_EQ(dv.y, 0.0f);
            } else {
                const double magnitude = std::sqrt(double(dv.x) * dv.x + double(dv.y) * dv.y);
                EXPECT_NEAR(magnitude, sim.mouse_force * (radius - d) / 100.0, 1e-5);
                // Along the line to the pointer: towards it for +1, away for -1.
                EXPECT_NEAR((dv.x * dx + dv.y * dy) / (magnitude * d), sign, 1e-5);
            }
            // The mid-step velocity gets the same change.
            EXPECT_SAME_FLOAT(sim.velocity_eval[i].x, 0.25f + dv.x);
            EXPECT_SAME_FLOAT(sim.velocity_eval[i].y, -0.5f + dv.y);
        }
        EXPECT_NEAR(sim.velocity[6].x, sign * sim.mouse_force * (radius - 0.001f) / 100.0f, 1e-5f);
    }

    // Both buttons at one spot: pull and push cancel.
    for (int i = 0; i < 7; ++i) {
        sim.velocity[i] = Vec2{0.0f, 0.0f};
    }
    apply_mouse_force(mx, my, 1.0f);
    EXPECT_NE(sim.velocity[0].x, 0.0f);
    apply_mouse_force(mx, my, -1.0f);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(sim.velocity[i].x, 0.0f);
        EXPECT_EQ(sim.velocity[i].y, 0.0f);
    }
}

TEST(Stirring, RadiusIsStrict) {
    // At exactly R the change would be (R - d) = 0 anyway, so the only trace the boundary can
    // leave is the sign of a zero velocity: a particle at R is not visited, so -0 stays -0.
    // (R = h * mouse_radius = 0.25 * 8 = 2, and sqrt(R^2) = R exactly.)
    HandState state(2, 0, 0.25f);
    sim.mouse_radius = 8.0f;
    sim.position[0] = Vec2{-1.0f, 1.0f};
    sim.position[1] = Vec2{1.0f, 2.9999998f};
    for (int i = 0; i < 2; ++i) {
        sim.velocity[i] = Vec2{-0.0f, -0.0f};
        sim.velocity_eval[i] = Vec2{-0.0f, -0.0f};
    }
    apply_mouse_force(1.0f, 1.0f, 1.0f);
    EXPECT_TRUE(std::signbit(sim.velocity[0].x) && std::signbit(sim.velocity[0].y));
    EXPECT_TRUE(std::signbit(sim.velocity_eval[0].x) && std::signbit(sim.velocity_eval[0].y));
    EXPECT_LT(sim.velocity[1].y, 0.0f) << "just inside R is pulled";
}
