#include <gtest/gtest.h>

#include "sim_test_util.h"
#include "sph/sim_state.h"
#include "sph/steps.h"
#include "sph_fixture.h"

namespace {

float self_sum(float h) {
    const float h2 = h * h;
    return (h2 * h2) * h2;
}

} // namespace

TEST(Density, IsolatedParticleHasOnlyItsOwnTermAndPullsInwards) {
    // Three particles far apart; the middle one is in no bucket at all (count 0) and must come
    // out the same as the others, which list only themselves.
    for (int32_t mode : {0, 1, 2}) {
        HandState state(3, mode);
        sim.position[0] = Vec2{0.1f, 0.1f};
        sim.position[1] = Vec2{0.3f, 0.3f};
        sim.position[2] = Vec2{0.5f, 0.5f};
        HandState::find_pairs_brute_force();
        sim.neighbours.neighbour_count[1] = 0;
        const Color3 seeded{0.25f, 0.5f, 0.75f};
        if (sim.color != nullptr) {
            for (int i = 0; i < 3; ++i) {
                sim.color[i] = seeded;
            }
        }
        sim.density_pressure[1] = Vec2{123.0f, 456.0f}; // stale values from a previous step

        compute_density_pressure();

        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << " particle " << i);
            // Only the particle's own kernel term: poly6_coef h^6 (its value is checked with the
            // other kernel coefficients in SeedingTest).
            const float own = sim.poly6_coef * self_sum(sim.smooth_radius);
            EXPECT_SAME_FLOAT(sim.density_pressure[i].x, 1.0f / own);
            EXPECT_LT(sim.density_pressure[i].y, 0.0f) << "below rest density: negative pressure";
            EXPECT_FLOAT_EQ(sim.density_pressure[i].y,
                            (own - sim.rest_density) * sim.pressure_coef);
            if (mode == 2) {
                EXPECT_FLOAT_EQ(sim.color[i].r, 1.0f / 6.0f);
                EXPECT_FLOAT_EQ(sim.color[i].g, 1.0f / 6.0f);
                EXPECT_FLOAT_EQ(sim.color[i].b, 5.0f / 6.0f);
            } else if (mode == 1) {
                EXPECT_EQ(sim.color[i].r, seeded.r) << "colours belong to the diffusion here";
                EXPECT_EQ(sim.color[i].g, seeded.g);
                EXPECT_EQ(sim.color[i].b, seeded.b);
            }
        }
    }
}

TEST(Density, PairTermsReachBothParticles) {
    // Particles 0 and 1 coincide (each gains a full h^6 from the other); particle 2 sits just
    // inside h of them (those pairs add almost nothing); particle 3 sits 0.5 h below the first
    // two and more than h from particle 2. Every pair is on one list, yet both of its particles
    // must see it.
    const float h = 0.01f;
    HandState state(4, 0, h);
    sim.position[0] = Vec2{0.2f, 0.2f};
    sim.position[1] = Vec2{0.2f, 0.2f};
    sim.position[2] = Vec2{0.2f + 0.99999f * h, 0.2f};
    sim.position[3] = Vec2{0.2f, 0.2f - 0.5f * h};
    HandState::find_pairs_brute_force();
    ASSERT_EQ(sim.neighbours.neighbour_count[0], 4); // itself, 1, 2, 3
    ASSERT_EQ(sim.neighbours.neighbour_count[3], 1);

    compute_density_pressure();

    const float h6 = self_sum(h);
    const float near_term = 0.75f * 0.75f * 0.75f * h6; // (h^2 - h^2/4)^3
    const float sums[4] = {1.0f / (sim.poly6_coef * sim.density_pressure[0].x),
                           1.0f / (sim.poly6_coef * sim.density_pressure[1].x),
                           1.0f / (sim.poly6_coef * sim.density_pressure[2].x),
                           1.0f / (sim.poly6_coef * sim.density_pressure[3].x)};
    const float tiny = 1e-12f * h6; // (h^2 - (0.99999 h)^2)^3 is about 8e-15 h^6
    EXPECT_NEAR(sums[0] / h6, 2.0f + 0.75f * 0.75f * 0.75f, 1e-4f);
    EXPECT_NEAR(sums[1] / h6, 2.0f + 0.75f * 0.75f * 0.75f, 1e-4f);
    EXPECT_NEAR(sums[2], h6, 1e-4f * h6 + tiny);
    EXPECT_GT(sums[2], h6 * 0.9999f);
    EXPECT_NEAR(sums[3], h6 + 2.0f * near_term, 1e-4f * h6);
    // Both components follow from the same density.
    for (int i = 0; i < 4; ++i) {
        const float rho = 1.0f / sim.density_pressure[i].x;
        EXPECT_NEAR(sim.density_pressure[i].y, (rho - sim.rest_density) * sim.pressure_coef,
                    1e-5f * std::abs(rho * sim.pressure_coef));
    }
    EXPECT_GT(sim.density_pressure[0].y, sim.density_pressure[2].y) << "denser means higher P";
}

TEST(Density, ColourRampOverKernelSum) {
    // With h = 2^-7 every sum of k coincident particles is exactly k h^6, so t = k / 6 exactly.
    struct Case {
        int cluster;
        Color3 expected;
    };
    const Case cases[] = {
        {1, {1.0f / 6, 1.0f / 6, 5.0f / 6}},
        {3, {0.5f, 0.5f, 0.5f}},
        {6, {1.0f, 1.0f, 0.0f}},  // t = 1 still on the first leg
        {9, {1.0f, 0.75f, 0.0f}}, // t = 1.5
        {12, {1.0f, 0.5f, 0.0f}}, // t = 2
        {18, {1.0f, 0.0f, 0.0f}}, // t = 3, the end of the ramp
        {30, {1.0f, 0.0f, 0.0f}}, // t = 5: clamped, green does not go negative
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.cluster << " coincident particles");
        HandState state(c.cluster, 2, 1.0f / 128.0f);
        for (int i = 0; i < c.cluster; ++i) {
            sim.position[i] = Vec2{0.25f, 0.25f};
        }
        HandState::find_pairs_brute_force();
        compute_density_pressure();
        for (int i = 0; i < c.cluster; ++i) {
            EXPECT_FLOAT_EQ(sim.color[i].r, c.expected.r);
            EXPECT_FLOAT_EQ(sim.color[i].g, c.expected.g);
            EXPECT_FLOAT_EQ(sim.color[i].b, c.expected.b);
            EXPECT_GE(sim.color[i].g, 0.0f);
        }
    }
}
