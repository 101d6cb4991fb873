#pragma once
// Shared set-up for tests that drive the process-wide simulation directly.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <vector>

#include "base/float_path.h"
#include "config/config.h"
#include "sph/sim_state.h"
#include "sph/steps.h"

// The [phys] defaults, without bodies.
inline PhysConfig default_phys() {
    PhysConfig p = default_phys_config();
    p.geom_count = 0;
    return p;
}

// Releases the simulation after every test, whatever the test left behind.
class SimTest : public ::testing::Test {
  protected:
    void TearDown() override { sim_free(); }

    // Initialises with one particle per given position (seeded ones overwritten).
    static void init_at(const std::vector<Vec2>& positions, PhysConfig phys = default_phys(),
                        int32_t point_colors = 0) {
        phys.count = static_cast<int32_t>(positions.size());
        ASSERT_TRUE(sim_init_seeded(point_colors, phys, 0.0f, 1u));
        for (size_t i = 0; i < positions.size(); ++i)
            sim.position[i] = positions[i];
    }

    // Sort, grid and neighbour search, in the physics step's order.
    static void sort_and_search() {
        compute_cell_keys();
        sort_cell_keys();
        reorder_particles();
        fill_cell_grid();
        find_neighbours();
    }
};

// Exact wherever floats round at every operation (SSE2, ARM64). The x87 build keeps some
// intermediates wider than a float, so a difference such as 1 - b can round differently there;
// allow for that in absolute terms.
#if TARNWELL_EXACT_FLOAT
#define EXPECT_SAME_FLOAT(a, b) EXPECT_EQ(a, b)
#else
#define EXPECT_SAME_FLOAT(a, b) EXPECT_NEAR(a, b, 1e-6 * std::fabs(b) + 1e-7)
#endif
