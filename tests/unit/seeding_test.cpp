#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <ctime>
#include <vector>

#include "sim_test_util.h"
#include "base/random.h"

namespace {

constexpr uint32_t lcg_mul = 214013u;
constexpr uint32_t lcg_add = 2531011u;

uint32_t draw_of(uint32_t state) { return (state >> 16) & 0x7fffu; }

// A seed whose first two draws are d1 and d2: walk the 2^17 states whose draw is d1 and step
// each once; the seed is the state before, found with the multiplier's inverse modulo 2^32.
bool seed_for_draws(uint32_t d1, uint32_t d2, uint32_t* seed) {
    uint32_t inverse = lcg_mul;
    for (int i = 0; i < 5; ++i) inverse *= 2u - lcg_mul * inverse;  // Newton, 5 bits -> 160
    for (uint32_t hi = 0; hi < 2; ++hi) {
        for (uint32_t low = 0; low < 65536; ++low) {
            const uint32_t first = (hi << 31) | (d1 << 16) | low;
            if (draw_of(first * lcg_mul + lcg_add) == d2) {
                *seed = (first - lcg_add) * inverse;
                return true;
            }
        }
    }
    return false;
}

using SeedingTest = SimTest;

TEST_F(SeedingTest, DefaultsDeriveGridAndKernelCoefficients) {
    const PhysConfig phys = default_phys();
    ASSERT_TRUE(sim_init_seeded(1, phys, 0.002f, 7u));
    // (0.01 * 2 + 0.8) / 0.01 is exactly 82 in single precision.
    EXPECT_EQ(sim.cells_per_row, 82);
    EXPECT_EQ(sim.cell_count, 82 * 82);
    EXPECT_EQ(sim.current_gravity, -9.8f);
    EXPECT_EQ(sim.toggled_gravity, -9.8f);
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

TEST_F(SeedingTest, PositionsAndColoursFollowTheGenerator) {
    PhysConfig phys = default_phys();
    phys.count = 2000;
    const uint32_t seed = 12345u;
    ASSERT_TRUE(sim_init_seeded(1, phys, 0.002f, seed));

    const float h = phys.smooth_radius;
    const float width = 0.9090909f * phys.field_size;
    const float height = 0.6666667f * phys.field_size;
    uint64_t state = seed;  // independent 64-bit recurrence, reduced modulo 2^32
    auto next_draw = [&state]() {
        state = (state * lcg_mul + lcg_add) % 4294967296ull;
        return static_cast<float>((state >> 16) & 0x7fff);
    };
    for (int32_t i = 0; i < phys.count; ++i) {
        const float r1 = next_draw();
        const float r2 = next_draw();
        const float x = h + r1 * (width - h) / 32768.0f;
        const float y = h + r2 * (height - h) / 32768.0f;
        EXPECT_SAME_FLOAT(sim.position[i].x, x) << "particle " << i;
        EXPECT_SAME_FLOAT(sim.position[i].y, y) << "particle " << i;
        const Color3 c = sim.color[i];
        EXPECT_SAME_FLOAT(c.b, (y - h) / height) << "particle " << i;
        EXPECT_SAME_FLOAT(c.r, 1.0f - c.b) << "particle " << i;
        EXPECT_SAME_FLOAT(c.g, (x - h) / width) << "particle " << i;
        if (HasFailure()) break;
    }
}

TEST_F(SeedingTest, BlockBoundsAndCornerColours) {
    // The extreme draws: 0 puts a particle exactly on the lower walls, 32767 stops one step
    // short of the block's far edges.
    const float h = 0.01f;
    const float x_end = 0.9090909f * 0.8f;
    const float y_end = 0.6666667f * 0.8f;
    const struct {
        uint32_t d1, d2;
    } corners[] = {{0, 0}, {32767, 32767}, {0, 32767}, {32767, 0}};
    for (const auto& corner : corners) {
        uint32_t seed = 0;
        ASSERT_TRUE(seed_for_draws(corner.d1, corner.d2, &seed));
        PhysConfig phys = default_phys();
        phys.count = 1;
        ASSERT_TRUE(sim_init_seeded(1, phys, 0.0f, seed));
        const Vec2 p = sim.position[0];
        const Color3 c = sim.color[0];
        SCOPED_TRACE(testing::Message() << "draws " << corner.d1 << ", " << corner.d2);
        if (corner.d1 == 0) {
            EXPECT_EQ(p.x, h);
            EXPECT_EQ(c.g, 0.0f);
        } else {
            EXPECT_LT(p.x, x_end);
            EXPECT_GT(p.x, x_end - 0.0001f);
            EXPECT_GT(c.g, 0.98f);
        }
        if (corner.d2 == 0) {
            EXPECT_EQ(p.y, h);
            EXPECT_EQ(c.r, 1.0f);
            EXPECT_EQ(c.b, 0.0f);
        } else {
            EXPECT_LT(p.y, y_end);
            EXPECT_GT(p.y, y_end - 0.0001f);
            EXPECT_GT(c.b, 0.98f);
        }
    }

    // A full default block stays inside those bounds and reaches near all four edges.
    ASSERT_TRUE(sim_init_seeded(0, default_phys(), 0.0f, 99u));
    float lo_x = 1.0f, hi_x = 0.0f, lo_y = 1.0f, hi_y = 0.0f;
    for (int32_t i = 0; i < sim.count; ++i) {
        lo_x = std::fmin(lo_x, sim.position[i].x);
        hi_x = std::fmax(hi_x, sim.position[i].x);
        lo_y = std::fmin(lo_y, sim.position[i].y);
        hi_y = std::fmax(hi_y, sim.position[i].y);
    }
    EXPECT_GE(lo_x, h);
    EXPECT_GE(lo_y, h);
    EXPECT_LT(hi_x, x_end);
    EXPECT_LT(hi_y, y_end);
    EXPECT_LT(lo_x, h + 0.001f);
    EXPECT_LT(lo_y, h + 0.001f);
    EXPECT_GT(hi_x, x_end - 0.001f);
    EXPECT_GT(hi_y, y_end - 0.001f);
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
    const struct {
        const char* what;
        int32_t count;
        float smooth_radius;
        float field_size;
        int32_t geom_count;
        bool accepted;
    } cases[] = {
        {"defaults", 10000, 0.01f, 0.8f, 0, true},
        {"no particles", 0, 0.01f, 0.8f, 0, true},
        {"largest 16-bit index", 65536, 0.01f, 0.8f, 0, true},
        {"too many for 16-bit indices", 65537, 0.01f, 0.8f, 0, false},
        {"negative count", -1, 0.01f, 0.8f, 0, false},
        {"zero radius", 100, 0.0f, 0.8f, 0, false},
        {"negative radius", 100, -0.01f, 0.8f, 0, false},
        {"NaN radius", 100, nan, 0.8f, 0, false},
        {"infinite field", 100, 0.01f, INFINITY, 0, false},
        {"field far below zero", 100, 0.01f, -5.0f, 0, false},
        {"more cells per row than the grid takes", 100, 1e-6f, 0.8f, 0, false},
        {"negative body count", 100, 0.01f, 0.8f, -2, false},
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
            for (int32_t k = 0; k < sim.cell_count; ++k) in_cells += sim.grid.cell_fill[k];
            EXPECT_EQ(in_cells, sim.count) << c.what;
            for (int32_t p = 0; p < sim.count; ++p) {
                const NeighbourEntry* list = sim.neighbours.entries + sim.neighbours.first_entry[p];
                for (int e = 0; e < sim.neighbours.neighbour_count[p]; ++e)
                    ASSERT_LT(list[e].index, sim.count) << c.what << ", particle " << p;
            }
        }
    }
}

}  // namespace
