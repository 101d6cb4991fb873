#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <string>

#include "app/panel.h"
#include "app/play.h"
#include "config/config.h"
#include "sph/sim_state.h"

namespace {

// A running simulation's settings without a simulation: the records, the play and the copies
// SimState keeps, all at the defaults.
struct PanelFixture : ::testing::Test {
    PlayState play{};
    SimState state{};
    PanelState panel{};
    std::FILE* err = std::tmpfile();
    GraphConfig saved_graph = graph_config;
    PhysConfig saved_phys = phys_config;

    void SetUp() override {
        graph_config = default_graph_config();
        phys_config = default_phys_config();
        start_play(play, graph_config, phys_config, nullptr, 5u);
#define TARNWELL_COPY(type, key, ...) state.key = phys_config.key;
        TARNWELL_SIM_SETTINGS(TARNWELL_COPY)
#undef TARNWELL_COPY
        const SimDerived derived = derive_sim_values(phys_config);
        state.pressure_coef = derived.pressure_coef;
        state.viscosity_coef = derived.viscosity_coef;
        state.current_gravity = state.toggled_gravity = phys_config.gravity;
        panel_sync(panel, play);
    }
    void TearDown() override {
        std::fclose(err);
    }
    bool set(const char* key) {
        return panel_set(panel, play, state, *find_setting(key), err);
    }
};

} // namespace

// The ones the panel's users expect to act at once, and those that rebuild the simulation.
TEST(Panel, SettingsThatActAtOnceAndThoseThatNeedARestart) {
    for (const char* key : {"viscosity", "stiff", "gravity", "damp", "timestep", "mouse_radius",
                            "mouse_force", "point_colors", "render_type", "threads", "realtime"})
        EXPECT_EQ(panel_effect(*find_setting(key)), PanelEffect::live) << key;
    for (const char* key : {"count", "geom_count", "scene", "window_size", "smooth_radius",
                            "field_size", "mass", "surf_resolution"})
        EXPECT_EQ(panel_effect(*find_setting(key)), PanelEffect::restart) << key;
}

TEST(Panel, BoundsAreTheTablesChecks) {
    for (int i = 0; i < setting_count; ++i) {
        const SettingInfo& info = setting_infos[i];
        const PanelBounds b = panel_bounds(info);
        ASSERT_LT(b.lo, b.hi) << info.key;
        // The default is always a value the panel can show.
        if (info.type != SettingType::text) {
            const double d = info.type == SettingType::whole ? ini_to_int(info.default_text)
                                                             : ini_to_float(info.default_text);
            EXPECT_EQ(clamp_to_bounds(info, d), d) << info.key;
        }
        if (info.check == SettingCheck::range) {
            EXPECT_EQ(b.lo, info.lo);
            EXPECT_EQ(b.hi, info.hi);
            EXPECT_EQ(clamp_to_bounds(info, info.hi + 1.0), info.hi) << info.key;
            EXPECT_EQ(clamp_to_bounds(info, info.lo - 1.0), info.lo) << info.key;
        }
        if (info.check == SettingCheck::positive) {
            EXPECT_GT(clamp_to_bounds(info, 0.0), 0.0) << info.key;
            EXPECT_GT(clamp_to_bounds(info, -1.0), 0.0) << info.key;
        }
        // Floats stay finite, whatever is typed.
        if (info.type == SettingType::number) {
            EXPECT_TRUE(std::isfinite(clamp_to_bounds(info, INFINITY))) << info.key;
            EXPECT_TRUE(std::isfinite(clamp_to_bounds(info, NAN))) << info.key;
            EXPECT_GT(panel_drag_speed(info), 0.0f) << info.key;
        }
    }
}

TEST_F(PanelFixture, LiveValuesReachTheSimulationAtOnce) {
    panel.phys.viscosity = 0.8f;
    ASSERT_TRUE(set("viscosity"));
    PhysConfig expected = default_phys_config();
    expected.viscosity = 0.8f;
    EXPECT_EQ(state.viscosity, 0.8f);
    EXPECT_EQ(state.viscosity_coef, derive_sim_values(expected).viscosity_coef);
    EXPECT_EQ(play.phys.viscosity, 0.8f) << "w and r must see it too";
    EXPECT_EQ(phys_config.viscosity, 0.8f);

    panel.phys.stiff = 5.0f;
    ASSERT_TRUE(set("stiff"));
    expected.stiff = 5.0f;
    EXPECT_EQ(state.pressure_coef, derive_sim_values(expected).pressure_coef);

    state.toggled_gravity = state.current_gravity = 9.8f; // reversed with g
    panel.phys.gravity = -2.0f;
    ASSERT_TRUE(set("gravity"));
    EXPECT_EQ(state.current_gravity, -2.0f);
    EXPECT_EQ(state.toggled_gravity, -2.0f);

    play.strength_step = 3; // ] pressed three times
    panel.phys.mouse_force = 40.0f;
    ASSERT_TRUE(set("mouse_force"));
    EXPECT_EQ(state.mouse_force, 40.0f);
    EXPECT_EQ(play.file_mouse_force, 40.0f);
    EXPECT_EQ(play.strength_step, 0);

    EXPECT_EQ(play.requests, 0u);
    panel.graph.render_type = 2;
    ASSERT_TRUE(set("render_type"));
    EXPECT_EQ(play.requests, request_mode);
    EXPECT_EQ(graph_config.render_type, 0) << "the shell switches the mode";
    play.requests = 0;
    panel.graph.point_colors = 2;
    ASSERT_TRUE(set("point_colors"));
    EXPECT_EQ(play.requests, request_colours);
    play.requests = 0;
    panel.graph.realtime = 1;
    ASSERT_TRUE(set("realtime"));
    EXPECT_TRUE(play.realtime);
    EXPECT_EQ(state.count, default_phys_config().count) << "nothing else moved";
}

TEST_F(PanelFixture, ARefusedValueGoesBackAndSaysWhy) {
    const SimState before = state;
    panel.phys.viscosity = FLT_MAX; // its coefficient overflows
    EXPECT_FALSE(set("viscosity"));
    EXPECT_EQ(panel.phys.viscosity, play.phys.viscosity);
    EXPECT_EQ(state.viscosity, before.viscosity);
    EXPECT_EQ(state.viscosity_coef, before.viscosity_coef);
    EXPECT_NE(std::string(panel.message).find("viscosity"), std::string::npos) << panel.message;
    // The next accepted value clears the message.
    panel.phys.viscosity = 0.3f;
    EXPECT_TRUE(set("viscosity"));
    EXPECT_EQ(panel.message[0], '\0');
}

TEST_F(PanelFixture, RestartSettingsWaitForRestart) {
    panel.phys.count = 500;
    EXPECT_TRUE(set("count"));
    EXPECT_TRUE(panel.restart_waiting);
    EXPECT_EQ(state.count, default_phys_config().count);
    EXPECT_EQ(play.phys.count, default_phys_config().count);
    // Back to the running value: nothing waits any more.
    panel.phys.count = play.phys.count;
    set("count");
    EXPECT_FALSE(panel.restart_waiting);

    panel.phys.count = 500;
    panel.graph.window_size = 300;
    set("count");
    EXPECT_FALSE(panel_take_restart(panel, play)) << "the scene stayed";
    EXPECT_EQ(play.phys.count, 500);
    EXPECT_EQ(play.graph.window_size, 300);
    EXPECT_FALSE(panel.restart_waiting);

    std::snprintf(panel.graph.scene.text, sizeof panel.graph.scene.text, "dam_break");
    set("scene");
    EXPECT_TRUE(panel.restart_waiting);
    EXPECT_TRUE(panel_take_restart(panel, play));
    EXPECT_STREQ(play.scene_choice, "dam_break");
}
