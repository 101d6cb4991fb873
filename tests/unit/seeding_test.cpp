#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <utility>
#include <vector>

#include "base/random.h"
#include "sim_test_util.h"

namespace {

// The block's far edges as documented: 0.9090909 of the box's width (about 1/1.1) and
// 0.6666667 of its height; it starts at the walls at h.
float block_width(const PhysConfig& p) {
    return 0.9090909f * p.field_size;
}
float block_height(const PhysConfig& p) {
    return 0.6666667f * p.field_size;
}

// A seed whose draw number `which` (0 or 1) is `value`, found by trying seeds in turn.
uint32_t seed_with_draw(int which, int32_t value) {
    for (uint32_t seed = 0; seed < (1u << 24); ++seed) {
        rng_seed(seed);
        int32_t d = rng_draw();
        if (which == 1) d = rng_draw();
        if (d == value) return seed;
    }
    ADD_FAILURE() << "no seed gives draw " << value << " at place " << which;
    return 0;
}

using SeedingTest = SimTest;

TEST_F(SeedingTest, DefaultsDeriveGridAndKernelCoefficients) {
    const PhysConfig phys = default_phys();
    ASSERT_TRUE(sim_init_seeded(1, phys, 0.002f, 7u));
    // (0.01 * 2 + 0.8) / 0.01 is exactly 82 in single precision.
    EXPECT_EQ(sim.cells_per_row, 82);
    EXPECT_EQ(sim.cell_count, 82 * 82);
    EXPECT_EQ(sim.current_gravity, phys.gravity);
    EXPECT_EQ(sim.toggled_gravity, phys.gravity);
    EXPECT_EQ(sim.point_diffusion, 0.002f);

    // The SPH normalisations, computed here in double from the same float inputs.
    const double pi = 3.14159265358979323846;
    const double h = phys.smooth_radius;
    const double m = phys.mass;
    const struct {
        const char* name;
        float got;
        double want;
    } coefficients[] = {
        {"poly6_coef", sim.poly6_coef, m * 315.0 / (64.0 * pi * std::pow(h, 9))},
        {"pressure_coef", sim.pressure_coef,
         double(phys.stiff) * m * 45.0 / (2.0 * pi * std::pow(h, 6))},
        {"viscosity_coef", sim.viscosity_coef,
         double(phys.viscosity) * m * 45.0 / (pi * std::pow(h, 6))},
    };
    for (const auto& c : coefficients) {
        EXPECT_NEAR(c.got / c.want, 1.0, 2e-6) << c.name << " = " << c.got;
    }
    // An isolated particle's density is poly6_coef * h^6, about 313.34 with the defaults.
    EXPECT_NEAR(sim.poly6_coef * std::pow(h, 6), 313.34, 0.01);

    for (int32_t i = 0; i < sim.count; ++i) {
        ASSERT_EQ(sim.velocity[i].x, 0.0f);
        ASSERT_EQ(sim.velocity_eval[i].y, 0.0f);
        ASSERT_EQ(sim.force[i].x, 0.0f);
        ASSERT_EQ(sim.density_pressure[i].x, 0.0f);
    }
}

TEST_F(SeedingTest, BlockFilledEvenlyWithAGradientAndOneSeedOneBlock) {
    // The most particles a grid index takes: enough for rare coincidences to show up.
    PhysConfig phys = default_phys();
    phys.count = 65536;
    const uint32_t seed = 12345u;
    ASSERT_TRUE(sim_init_seeded(1, phys, 0.002f, seed));
    const int32_t n = sim.count;
    const float h = phys.smooth_radius;
    const float width = block_width(phys);
    const float height = block_height(phys);

    // Inside the block (and so inside the walls) and spread evenly over it: each of 8 x 8 equal
    // parts holds 1024 +- 32 particles by chance alone. How close the edges come is pinned below.
    std::vector<int32_t> parts(64);
    for (int32_t i = 0; i < n; ++i) {
        const Vec2 p = sim.position[i];
        ASSERT_TRUE(p.x >= h && p.x < width && p.y >= h && p.y < height)
            << "particle " << i << " at (" << p.x << ", " << p.y << ")";
        const int col = static_cast<int>(8.0f * (p.x - h) / (width - h));
        const int row = static_cast<int>(8.0f * (p.y - h) / (height - h));
        ++parts[static_cast<size_t>(row * 8 + col)];
    }
    for (int k = 0; k < 64; ++k) {
        EXPECT_GT(parts[k], 1024 - 200) << "part " << k;
        EXPECT_LT(parts[k], 1024 + 200) << "part " << k;
    }

    // Each axis has 32768 places, so of 65536 particles about two pairs share a spot by chance.
    std::vector<std::pair<float, float>> spots;
    for (int32_t i = 0; i < n; ++i)
        spots.emplace_back(sim.position[i].x, sim.position[i].y);
    std::sort(spots.begin(), spots.end());
    const auto unique_spots = std::unique(spots.begin(), spots.end()) - spots.begin();
    EXPECT_LE(n - unique_spots, 8) << "particles sharing a spot";

    // Colours: red falls as blue rises from the floor up, green grows to the right (the
    // corners are pinned below); each particle has the gradient of where it is, the one
    // switching to the gradient paints.
    const std::vector<Color3> seeded(sim.color, sim.color + n);
    ASSERT_TRUE(sim_set_colours(1, 0.002f));
    for (int32_t i = 0; i < n; ++i) {
        const Color3 c = seeded[static_cast<size_t>(i)];
        ASSERT_TRUE(c.g >= 0.0f && c.g < 1.0f && c.b >= 0.0f && c.b < 1.0f) << "particle " << i;
        ASSERT_NEAR(c.r + c.b, 1.0f, 1e-6f) << "particle " << i;
        EXPECT_SAME_FLOAT(c.r, sim.color[i].r) << "particle " << i;
        EXPECT_SAME_FLOAT(c.g, sim.color[i].g) << "particle " << i;
        EXPECT_SAME_FLOAT(c.b, sim.color[i].b) << "particle " << i;
        if (HasFailure()) break;
    }

    // One seed, one block; the next seed another.
    const std::vector<Vec2> first(sim.position, sim.position + n);
    ASSERT_TRUE(sim_init_seeded(1, phys, 0.002f, seed));
    EXPECT_EQ(std::memcmp(first.data(), sim.position, sizeof(Vec2) * first.size()), 0);
    EXPECT_EQ(std::memcmp(seeded.data(), sim.color, sizeof(Color3) * seeded.size()), 0);
    ASSERT_TRUE(sim_init_seeded(1, phys, 0.002f, seed + 1));
    EXPECT_NE(std::memcmp(first.data(), sim.position, sizeof(Vec2) * first.size()), 0);
}

TEST_F(SeedingTest, BlockBoundsAndCornerColours) {
    // The extreme draws: 0 puts a particle exactly on the lower walls with none of the colour
    // that grows along that axis; 32767 stops it just short of the block's far edge.
    PhysConfig phys = default_phys();
    phys.count = 1; // its x is the first draw, its y the second
    const float h = phys.smooth_radius;
    const float x_end = block_width(phys);
    const float y_end = block_height(phys);
    for (int axis : {0, 1}) {
        for (int32_t draw : {0, 32767}) {
            SCOPED_TRACE(testing::Message() << "axis " << axis << ", draw " << draw);
            ASSERT_TRUE(sim_init_seeded(1, phys, 0.0f, seed_with_draw(axis, draw)));
            const Vec2 p = sim.position[0];
            const Color3 c = sim.color[0];
            if (axis == 0 && draw == 0) {
                EXPECT_EQ(p.x, h);
                EXPECT_EQ(c.g, 0.0f);
            } else if (axis == 0) {
                EXPECT_LT(p.x, x_end);
                EXPECT_GT(p.x, x_end - 0.0001f);
                EXPECT_GT(c.g, 0.98f);
            } else if (draw == 0) {
                EXPECT_EQ(p.y, h);
                EXPECT_EQ(c.r, 1.0f);
                EXPECT_EQ(c.b, 0.0f);
            } else {
                EXPECT_LT(p.y, y_end);
                EXPECT_GT(p.y, y_end - 0.0001f);
                EXPECT_GT(c.b, 0.98f);
                EXPECT_LT(c.r, 0.02f);
            }
        }
    }
}

TEST_F(SeedingTest, ColourModesDecideColourArraysAndDiffusion) {
    PhysConfig phys = default_phys();
    phys.count = 100;
    ASSERT_TRUE(sim_init_seeded(0, phys, 0.002f, 5u));
    EXPECT_EQ(sim.color, nullptr);
    EXPECT_EQ(sim.color_scratch, nullptr);
    EXPECT_EQ(sim.point_diffusion, 0.0f) << "no colours, nothing to diffuse";
    const Vec2 first_without = sim.position[0];

    ASSERT_TRUE(sim_init_seeded(2, phys, 0.002f, 5u));
    EXPECT_NE(sim.color, nullptr);
    EXPECT_EQ(sim.point_diffusion, 0.002f) << "the start-up, not the state, mutes mode 2";
    EXPECT_EQ(sim.position[0].x, first_without.x) << "colours draw no random numbers";
    EXPECT_EQ(sim.position[0].y, first_without.y);
}

TEST_F(SeedingTest, SameSecondSameParticles) {
    PhysConfig phys = default_phys();
    phys.count = 500;
    // Retry if the calendar second turns over between the two readings.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::time_t before = std::time(nullptr);
        ASSERT_TRUE(sim_init(1, phys, 0.002f));
        const std::time_t after = std::time(nullptr);
        if (before != after) continue;
        std::vector<Vec2> from_clock(sim.position, sim.position + sim.count);
        ASSERT_TRUE(sim_init_seeded(1, phys, 0.002f, static_cast<uint32_t>(before)));
        EXPECT_EQ(std::memcmp(from_clock.data(), sim.position, sizeof(Vec2) * 500), 0);
        return;
    }
    FAIL() << "the clock kept changing second";
}

TEST_F(SeedingTest, RefusesSettingsNoGridCanHold) {
    const float nan = std::nanf("");
    const PhysConfig d = default_phys();
    const float h = d.smooth_radius;
    const float field = d.field_size;
    const struct {
        const char* what;
        int32_t count;
        float smooth_radius;
        float field_size;
        int32_t geom_count;
        bool accepted;
    } cases[] = {
        {"defaults", d.count, h, field, 0, true},
        {"no particles", 0, h, field, 0, true},
        {"largest 16-bit index", 65536, h, field, 0, true},
        {"too many for 16-bit indices", 65537, h, field, 0, false},
        {"negative count", -1, h, field, 0, false},
        {"zero radius", 100, 0.0f, field, 0, false},
        {"negative radius", 100, -h, field, 0, false},
        {"NaN radius", 100, nan, field, 0, false},
        {"infinite field", 100, h, INFINITY, 0, false},
        {"field far below zero", 100, h, -5.0f, 0, false},
        {"more cells per row than the grid takes", 100, 1e-6f, field, 0, false},
        {"negative body count", 100, h, field, -2, false},
    };
    for (const auto& c : cases) {
        PhysConfig phys = default_phys();
        phys.count = c.count;
        phys.smooth_radius = c.smooth_radius;
        phys.field_size = c.field_size;
        phys.geom_count = c.geom_count;
        EXPECT_EQ(sim_init_seeded(1, phys, 0.0f, 3u), c.accepted) << c.what;
        if (!c.accepted) {
            EXPECT_EQ(sim.count, 0) << c.what;
            EXPECT_EQ(sim.position, nullptr) << c.what;
            EXPECT_EQ(sim.cell_count, 0) << c.what;
        } else {
            // Whatever was accepted runs the grid steps: every seeded particle lands in a cell
            // (none is crowded out at these densities) and every list names real particles.
            sort_and_search();
            int64_t in_cells = 0;
            for (int32_t k = 0; k < sim.cell_count; ++k)
                in_cells += sim.grid.cell_fill[k];
            EXPECT_EQ(in_cells, sim.count) << c.what;
            for (int32_t p = 0; p < sim.count; ++p) {
                const NeighbourEntry* list = sim.neighbours.entries + sim.neighbours.first_entry[p];
                for (int e = 0; e < sim.neighbours.neighbour_count[p]; ++e)
                    ASSERT_LT(list[e].index, sim.count) << c.what << ", particle " << p;
            }
        }
    }
}

} // namespace
