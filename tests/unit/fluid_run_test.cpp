// The whole fluid step, from seeding through sort, search, density, forces and integration,
// run for a while: the block collapses, splashes against the walls and is stirred.
#include <gtest/gtest.h>

#include <cmath>

#include "sim_test_util.h"
#include "sph/physics_step.h"

namespace {

struct ColourSums {
    double r = 0, g = 0, b = 0;
};

ColourSums colour_sums() {
    ColourSums s;
    for (int32_t i = 0; i < sim.count; ++i) {
        s.r += sim.color[i].r;
        s.g += sim.color[i].g;
        s.b += sim.color[i].b;
    }
    return s;
}

} // namespace

class FluidRun : public SimTest {};

TEST_F(FluidRun, StaysFiniteInTheBoxAndKeepsItsColour) {
    PhysConfig phys = default_phys();
    phys.count = 3000;
    ASSERT_TRUE(sim_init_seeded(1, phys, 0.002f, 77u));
    const ColourSums before = colour_sums();
    const float h = sim.smooth_radius;
    const float top = sim.field_size;
    // The walls are springs, so particles dip into them: about 0.7 h at the floor when the
    // seeded block first lands.
    const float slack = 1.5f * h;

    for (int step = 0; step < 600; ++step) {
        physics_step(nullptr);
        if (step >= 200 && step < 260) {
            apply_mouse_force(0.2f, 0.15f, 1.0f); // pull into a corner ...
        } else if (step >= 300 && step < 330) {
            apply_mouse_force(0.3f, 0.05f, -1.0f); // ... then blow a hole into the pool
        }
        for (int32_t i = 0; i < sim.count; ++i) {
            const Vec2 p = sim.position[i];
            const Vec2 v = sim.velocity[i];
            ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(v.x) &&
                        std::isfinite(v.y))
                << "step " << step << " particle " << i;
            ASSERT_TRUE(p.x > h - slack && p.x < top + slack && p.y > h - slack &&
                        p.y < top + slack)
                << "step " << step << " particle " << i << " at " << p.x << ", " << p.y;
        }
    }

    // Diffusion only moves colour between particles, and the sort only permutes them.
    const ColourSums after = colour_sums();
    EXPECT_NEAR(after.r, before.r, 1e-6 * sim.count);
    EXPECT_NEAR(after.g, before.g, 1e-6 * sim.count);
    EXPECT_NEAR(after.b, before.b, 1e-6 * sim.count);

    // The pool is a weakly compressible fluid under its own weight: its mean density lies above
    // the lone-particle value (313) and within a small factor of the rest density (about 900
    // here). A pressure of the wrong sign would clump it far denser; missing attraction would
    // leave it near 313.
    double density = 0;
    for (int32_t i = 0; i < sim.count; ++i) {
        density += 1.0 / sim.density_pressure[i].x;
    }
    density /= sim.count;
    EXPECT_GT(density, 450.0);
    EXPECT_LT(density, 1400.0);
}
