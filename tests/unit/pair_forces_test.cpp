#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "sim_test_util.h"
#include "sph/sim_state.h"
#include "sph/steps.h"
#include "sph_fixture.h"

TEST(PairForces, ConserveMomentumAndColourOnARandomCloud) {
    // 600 particles in a 0.1 square with h = 0.01: about 10 neighbours each, some pairs very close.
    // Equal masses, so momentum conservation means the accelerations sum to zero; only rounding
    // is left, which is small against the sum of their magnitudes.
    HandState state(600, 1);
    sim.point_diffusion = 0.2f; // a strong exchange, to make any leak in the colour sums show
    std::mt19937 rng(7);
    HandState::scatter(rng, 0.1f, 0.2f, 0.5f);
    HandState::find_pairs_brute_force();
    double colour_before[3] = {0, 0, 0};
    for (int i = 0; i < sim.count; ++i) {
        colour_before[0] += sim.color[i].r;
        colour_before[1] += sim.color[i].g;
        colour_before[2] += sim.color[i].b;
    }
    double spread_before = 0;
    for (int i = 0; i < sim.count; ++i) {
        spread_before += std::abs(sim.color[i].r - colour_before[0] / sim.count);
    }
    for (int i = 0; i < sim.count; ++i) {
        sim.force[i] = Vec2{1.0f, -1.0f}; // stale accelerations must be cleared first
    }

    compute_density_pressure();
    compute_pair_forces();

    double sum_x = 0, sum_y = 0, abs_sum = 0;
    int moved = 0;
    double colour_after[3] = {0, 0, 0};
    for (int i = 0; i < sim.count; ++i) {
        ASSERT_TRUE(std::isfinite(sim.force[i].x) && std::isfinite(sim.force[i].y)) << i;
        sum_x += sim.force[i].x;
        sum_y += sim.force[i].y;
        abs_sum += std::abs(sim.force[i].x) + std::abs(sim.force[i].y);
        moved += sim.force[i].x != 0.0f ? 1 : 0;
        colour_after[0] += sim.color[i].r;
        colour_after[1] += sim.color[i].g;
        colour_after[2] += sim.color[i].b;
    }
    EXPECT_GT(moved, sim.count / 2) << "the cloud is dense enough for most particles to interact";
    EXPECT_GT(abs_sum, 0.0);
    EXPECT_LT(std::abs(sum_x), 1e-5 * abs_sum);
    EXPECT_LT(std::abs(sum_y), 1e-5 * abs_sum);
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(colour_after[c], colour_before[c], 1e-4) << "channel " << c;
    }
    // The exchange really happened: the spread of a channel around its mean shrank.
    double spread_after = 0;
    for (int i = 0; i < sim.count; ++i) {
        spread_after += std::abs(sim.color[i].r - colour_before[0] / sim.count);
    }
    EXPECT_LT(spread_after, spread_before * 0.99);
}

TEST(PairForces, ColourExchangeFollowsDistance) {
    // With h = 0.01 and point_diffusion 0.002, a pair 0.005 apart moves 0.1 % of each channel's
    // difference; equal channels stay; a pair just inside h exchanges almost nothing.
    struct Case {
        float distance;
        float fraction;
    };
    for (const Case& c : {Case{0.005f, 0.001f}, Case{0.0f, 0.002f}, Case{0.0099999f, 0.0f}}) {
        SCOPED_TRACE(testing::Message() << "distance " << c.distance);
        HandState state(2, 1, 0.01f);
        sim.point_diffusion = 0.002f;
        sim.position[0] = Vec2{0.3f, 0.3f};
        sim.position[1] = Vec2{0.3f + c.distance, 0.3f};
        sim.color[0] = Color3{1.0f, 0.0f, 0.5f};
        sim.color[1] = Color3{0.0f, 1.0f, 0.5f};
        HandState::find_pairs_brute_force();
        ASSERT_EQ(sim.neighbours.neighbour_count[0], 2);
        compute_density_pressure();
        compute_pair_forces();
        EXPECT_NEAR(sim.color[0].r, 1.0f - c.fraction, 2e-6f);
        EXPECT_NEAR(sim.color[1].r, c.fraction, 2e-6f);
        EXPECT_NEAR(sim.color[0].g, c.fraction, 2e-6f);
        EXPECT_NEAR(sim.color[1].g, 1.0f - c.fraction, 2e-6f);
        EXPECT_EQ(sim.color[0].b, 0.5f);
        EXPECT_EQ(sim.color[1].b, 0.5f);
    }
    // Without diffusion (modes 0 and 2) the colours are left alone.
    HandState state(2, 2);
    sim.position[0] = Vec2{0.3f, 0.3f};
    sim.position[1] = Vec2{0.305f, 0.3f};
    sim.color[0] = Color3{1.0f, 0.0f, 0.5f};
    sim.color[1] = Color3{0.0f, 1.0f, 0.5f};
    HandState::find_pairs_brute_force();
    sim.density_pressure[0] = Vec2{1.0f / 600.0f, 0.0f};
    sim.density_pressure[1] = Vec2{1.0f / 600.0f, 0.0f};
    compute_pair_forces();
    EXPECT_EQ(sim.color[0].r, 1.0f);
    EXPECT_EQ(sim.color[1].g, 1.0f);
}

TEST(PairForces, PressureAndViscosityDirections) {
    // Pair forces alone, with densities and pressures set by hand: particle 0 at the origin of
    // the pair, particle 1 at +x, 0.5 h away.
    struct Case {
        const char* what;
        float pressure;    // both particles
        float velocity_x1; // particle 0 is at rest
        float sign_x0;     // expected sign of particle 0's x acceleration, 0 for exactly none
    };
    const Case cases[] = {
        {"at rest density, same velocity", 0.0f, 0.0f, 0.0f},
        {"above rest density pushes apart", 50.0f, 0.0f, -1.0f},
        {"below rest density pulls together", -50.0f, 0.0f, 1.0f},
        {"viscosity drags towards the faster neighbour", 0.0f, 1.0f, 1.0f},
        {"viscosity drags the other way too", 0.0f, -1.0f, -1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HandState state(2, 0);
        const float h = sim.smooth_radius;
        sim.position[0] = Vec2{0.4f, 0.4f};
        sim.position[1] = Vec2{0.4f + 0.5f * h, 0.4f};
        sim.velocity_eval[1] = Vec2{c.velocity_x1, 0.0f};
        HandState::find_pairs_brute_force();
        sim.density_pressure[0] = Vec2{1.0f / 600.0f, c.pressure};
        sim.density_pressure[1] = Vec2{1.0f / 600.0f, c.pressure};
        compute_pair_forces();
        const float fx = sim.force[0].x;
        if (c.sign_x0 == 0.0f) {
            EXPECT_EQ(fx, 0.0f);
        } else {
            EXPECT_GT(fx * c.sign_x0, 0.0f);
        }
        EXPECT_EQ(sim.force[1].x, -fx);
        EXPECT_EQ(sim.force[0].y, 0.0f);
        EXPECT_EQ(sim.force[1].y, -0.0f);
    }

    // Magnitude of the written-out pressure term, (P_i + P_j) (h - r)^2 (x_i - x_j) / (r rho_i
    // rho_j), for unequal pressures and densities.
    HandState state(2, 0);
    const float h = sim.smooth_radius;
    sim.position[0] = Vec2{0.4f, 0.4f};
    sim.position[1] = Vec2{0.4f, 0.4f + 0.3f * h};
    HandState::find_pairs_brute_force();
    sim.density_pressure[0] = Vec2{1.0f / 700.0f, 30.0f};
    sim.density_pressure[1] = Vec2{1.0f / 650.0f, 10.0f};
    compute_pair_forces();
    const double r = sim.position[1].y - sim.position[0].y;
    const double expected = 40.0 * (h - r) * (h - r) * (-r) / (r * 700.0 * 650.0);
    EXPECT_NEAR(sim.force[0].y, expected, 1e-5 * std::abs(expected));
    EXPECT_NEAR(sim.force[1].y, -expected, 1e-5 * std::abs(expected));
}

TEST(PairForces, CoincidentParticlesFeelOnlyViscosity) {
    // Two particles at the same spot have no direction for the pressure term: what remains is
    // viscosity_coef (h - 0) (e_j - e_i) / (rho_i rho_j), finite and equal and opposite.
    HandState state(3, 0);
    sim.position[0] = Vec2{0.5f, 0.5f};
    sim.position[1] = Vec2{0.5f, 0.5f};
    sim.position[2] = Vec2{0.9f, 0.9f}; // a bystander, untouched
    sim.velocity_eval[0] = Vec2{0.2f, -0.1f};
    sim.velocity_eval[1] = Vec2{-0.2f, 0.3f};
    HandState::find_pairs_brute_force();
    ASSERT_EQ(sim.neighbours.neighbour_count[0], 2);
    compute_density_pressure();
    ASSERT_GT(std::abs(sim.density_pressure[0].y), 0.0f) << "a real pressure is being ignored";
    compute_pair_forces();

    const float h = sim.smooth_radius;
    const float w = (sim.density_pressure[1].x * sim.density_pressure[0].x) * h;
    EXPECT_SAME_FLOAT(sim.force[0].x, ((-0.2f - 0.2f) * sim.viscosity_coef) * w);
    EXPECT_SAME_FLOAT(sim.force[0].y, ((0.3f - -0.1f) * sim.viscosity_coef) * w);
    EXPECT_LT(sim.force[0].x, 0.0f);
    EXPECT_GT(sim.force[0].y, 0.0f);
    EXPECT_EQ(sim.force[1].x, -sim.force[0].x);
    EXPECT_EQ(sim.force[1].y, -sim.force[0].y);
    EXPECT_EQ(sim.force[2].x, 0.0f);
    EXPECT_EQ(sim.force[2].y, 0.0f);
}
