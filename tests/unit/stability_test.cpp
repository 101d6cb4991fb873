#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "config/config.h"
#include "sph/physics_step.h"
#include "sph/sim_state.h"
#include "sph/stability.h"
#include "sph/steps.h"
#include "sph_fixture.h"

namespace {

// Runs up to `steps` steps of a small seeded scene; returns the step at which the blow-up flag
// was first seen, 0 if it never was.
int steps_until_blow_up(PhysConfig phys, int steps) {
    phys.count = 2000;
    phys.geom_count = 0;
    EXPECT_TRUE(sim_init_seeded(0, phys, 0.0f, 5u));
    int blown_at = 0;
    for (int i = 1; i <= steps && blown_at == 0; ++i) {
        physics_step(nullptr);
        if (sim.blown_up) blown_at = i;
    }
    sim_free();
    return blown_at;
}

std::string first_key(const PhysConfig& phys) {
    Instability found[max_instabilities];
    return find_instabilities(phys, found) > 0 ? found[0].key : "";
}

} // namespace

TEST(Stability, WallLimitSeparatesFiniteRunsFromBlowUps) {
    // The derived bound must be where the simulation really turns: 3% below it the fluid
    // stays finite for 1500 steps, 20% above it blows up, for two wall stiffnesses. Just above
    // the bound the growth starts from rounding noise, so when it blows up depends on the build
    // (at 10% above, ext_stiff 1e6: step 1732 in one run, 477 in the x87 build); at 20% it takes
    // about a hundred steps in both.
    for (const float ext_stiff : {100000.0f, 1000000.0f}) {
        PhysConfig phys = default_phys_config();
        phys.ext_stiff = ext_stiff;
        const float limit = wall_timestep_limit(phys.ext_stiff, phys.damp);
        phys.timestep = limit * 0.97f;
        EXPECT_EQ(steps_until_blow_up(phys, 1500), 0) << "ext_stiff " << ext_stiff;
        EXPECT_EQ(first_key(phys), "");
        phys.timestep = limit * 1.2f;
        EXPECT_GT(steps_until_blow_up(phys, 1500), 0) << "ext_stiff " << ext_stiff;
        EXPECT_EQ(first_key(phys), "timestep");
    }
    EXPECT_NEAR(wall_timestep_limit(100000.0f, 0.998f), 0.006327f, 1e-6f);
    EXPECT_TRUE(std::isinf(wall_timestep_limit(0.0f, 0.998f))) << "no walls, no limit";
}

TEST(Stability, BlameFollowsTheSettingOutOfRange) {
    // The defaults are stable; each hostile value is blamed by its own key, and the timestep,
    // the commonest cause, comes first when several apply.
    const PhysConfig defaults = default_phys_config();
    EXPECT_EQ(first_key(defaults), "");
    struct Case {
        const char* key;
        void (*spoil)(PhysConfig&);
    } cases[] = {
        {"damp", [](PhysConfig& p) { p.damp = 1.1f; }},
        {"mass", [](PhysConfig& p) { p.mass = 1e-30f; }},
        {"gravity", [](PhysConfig& p) { p.gravity = 3e38f; }},
        {"mouse_force", [](PhysConfig& p) { p.mouse_force = 1e30f; }},
        {"timestep",
         [](PhysConfig& p) {
             p.damp = 1e30f;
             p.timestep = 0.0075f;
         }},
        // A step that moves nothing, or runs backwards, is said too.
        {"timestep", [](PhysConfig& p) { p.timestep = 0.0f; }},
        {"timestep", [](PhysConfig& p) { p.timestep = -0.0015f; }},
    };
    for (const Case& c : cases) {
        PhysConfig p = defaults;
        c.spoil(p);
        EXPECT_EQ(first_key(p), c.key);
    }
    PhysConfig p = defaults;
    p.timestep = 0.01f;
    char text[512];
    describe_blow_up(text, sizeof text, 41, p);
    EXPECT_NE(std::strstr(text, "step 41"), nullptr) << text;
    EXPECT_NE(std::strstr(text, "timestep = 0.01 is above 0.00633"), nullptr) << text;
}

TEST(Stability, FlagRaisedByEveryNonFiniteValueOnly) {
    // Each of the four values the integration stores, made infinite or NaN on its own, raises
    // the flag; huge finite values and the largest float do not.
    const float bad[] = {std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(),
                         std::numeric_limits<float>::quiet_NaN()};
    for (int which = 0; which < 4; ++which) {
        for (const float value : bad) {
            HandState state(3, 0);
            sim.position[1] = Vec2{0.4f, 0.4f};
            float* field[] = {&sim.position[1].x, &sim.position[1].y, &sim.velocity[1].x,
                              &sim.velocity[1].y};
            *field[which] = value;
            integrate();
            EXPECT_TRUE(sim.blown_up) << "value " << which << " = " << value;
        }
    }
    HandState state(2, 0);
    sim.damp = 1.0f;
    sim.ext_stiff = 0.0f;
    sim.current_gravity = 0.0f;
    sim.position[0] = Vec2{std::numeric_limits<float>::max(), 0.4f};
    sim.velocity[1] = Vec2{0.0f, 1e30f};
    integrate();
    EXPECT_FALSE(sim.blown_up);
    // A velocity that overflows inside the step is caught although its inputs were finite.
    sim.force[1] = Vec2{std::numeric_limits<float>::max(), 0.0f};
    sim.velocity[1] = Vec2{std::numeric_limits<float>::max(), 0.0f};
    sim.timestep = 4.0f;
    integrate();
    EXPECT_TRUE(sim.blown_up);
}
