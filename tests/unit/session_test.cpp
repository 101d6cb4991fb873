#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "app/play.h"
#include "app/session.h"
#include "app/startup.h"
#include "config/config.h"
#include "config/fixups.h"
#include "sph/physics_step.h"
#include "sph/sim_state.h"
#include "stream_text.h"

namespace {

std::vector<Vec2> positions() {
    return std::vector<Vec2>(sim.position, sim.position + sim.count);
}

bool same_bits(const std::vector<Vec2>& a, const std::vector<Vec2>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Vec2)) == 0;
}

// A small running program: the given settings loaded as at start, seed 11.
class Session : public ::testing::Test {
  protected:
    void SetUp() override {
        out_ = std::tmpfile();
        err_ = std::tmpfile();
        start(0, 1);
    }
    void TearDown() override {
        sim_free();
        std::fclose(out_);
        std::fclose(err_);
        for (const std::string& f : files_)
            std::remove(f.c_str());
    }
    void start(int32_t render_type, int32_t point_colors) {
        GraphConfig graph;
        load_graph_config(&graph, "");
        graph.render_type = render_type;
        graph.point_colors = point_colors;
        PhysConfig phys = default_phys_config();
        phys.count = 1500;
        graph_config = graph;
        phys_config = phys;
        apply_fixups(graph_config, phys_config);
        ASSERT_TRUE(sim_init_seeded(graph_config.point_colors, phys_config,
                                    graph_config.point_diffusion, 11u));
        start_play(play_, graph, phys, nullptr, 11u);
    }
    std::string file(const char* text) {
        char name[] = "/tmp/tarnwell-session-XXXXXX";
        const int fd = mkstemp(name);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(write(fd, text, std::strlen(text)), static_cast<ssize_t>(std::strlen(text)));
        close(fd);
        files_.push_back(name);
        return name;
    }
    static void steps(int n) {
        StepProfile profile;
        for (int i = 0; i < n; ++i)
            physics_step(&profile);
    }

    PlayState play_{};
    std::FILE* out_ = nullptr;
    std::FILE* err_ = nullptr;
    std::vector<std::string> files_;
};

} // namespace

TEST_F(Session, RestartIsAFreshStartFromTheNewSeedWithTheChosenSettings) {
    steps(5);
    play_.phys.mouse_radius = 20.0f; // chosen with the keys: kept
    play_.step_count = 5;
    ASSERT_TRUE(restart_simulation(play_, 99u, out_, err_));
    EXPECT_EQ(play_.seed, 99u);
    EXPECT_EQ(play_.step_count, 0);
    EXPECT_EQ(sim.mouse_radius, 20.0f);
    EXPECT_NE(stream_text(out_).find("seed 99"), std::string::npos);
    const std::vector<Vec2> restarted = positions();
    ASSERT_TRUE(
        sim_init_seeded(graph_config.point_colors, phys_config, graph_config.point_diffusion, 99u));
    EXPECT_TRUE(same_bits(restarted, positions()));
    EXPECT_EQ(sim.geom_count, 2);

    // Restarting in the outline mode applies its fix-ups: no bodies, no colours.
    play_.graph.render_type = 1;
    ASSERT_TRUE(restart_simulation(play_, 100u, out_, err_));
    EXPECT_EQ(sim.geom_count, 0);
    EXPECT_EQ(sim.color, nullptr);
    EXPECT_EQ(graph_config.point_colors, 0);
    EXPECT_EQ(play_.graph.point_colors, 1); // still the choice for the other modes
}

TEST_F(Session, RefusedSettingsKeepTheRunningSimulation) {
    steps(3);
    const std::vector<Vec2> before = positions();
    const Vec2* array = sim.position;
    play_.phys.count = 70000;
    EXPECT_FALSE(restart_simulation(play_, 5u, out_, err_));
    EXPECT_EQ(sim.position, array);
    EXPECT_TRUE(same_bits(before, positions()));
    EXPECT_EQ(play_.seed, 11u);
    EXPECT_NE(stream_text(err_).find("count = 70000"), std::string::npos);

    // Reload: a file now broken changes nothing, the shell may step on as before.
    play_.phys.count = 1500;
    const std::string broken = file("[graph]\nwindow_size=0\n[phys]\ntimestep=1e99\n");
    EXPECT_FALSE(reload_settings(play_, broken.c_str(), true, 6u, out_, err_));
    EXPECT_EQ(sim.position, array);
    EXPECT_EQ(play_.phys.count, 1500);
    const std::string errors = stream_text(err_);
    EXPECT_NE(errors.find("window_size = 0"), std::string::npos) << errors;
    EXPECT_NE(errors.find("timestep = inf (the file says \"1e99\")"), std::string::npos) << errors;
    EXPECT_NE(errors.find(broken), std::string::npos) << "the file to correct is not named";
    steps(1);
}

TEST_F(Session, ReloadTakesEveryValueFromTheFileAgain) {
    play_.phys.mouse_radius = 30.0f;
    play_.graph.point_colors = 2;
    const std::string path = file("[graph]\nrealtime=1\n[phys]\ncount=700\ngeom_count=1\n");
    ASSERT_TRUE(reload_settings(play_, path.c_str(), true, 8u, out_, err_));
    EXPECT_EQ(sim.count, 700);
    EXPECT_EQ(sim.geom_count, 1);
    EXPECT_EQ(sim.mouse_radius, default_phys_config().mouse_radius);
    EXPECT_EQ(play_.graph.point_colors, 1);
    EXPECT_TRUE(play_.realtime);
    EXPECT_EQ(phys_config.count, 700);
    EXPECT_EQ(play_.seed, 8u);
    steps(2);
}

TEST_F(Session, ReloadFollowsTheRulesOfStartUp) {
    steps(2);
    const std::vector<Vec2> before = positions();
    const std::string path = file("[phys]\ncount=1200\n");
    // A file named with --config that has gone, or become a folder, is refused as at start:
    // the fluid goes on untouched instead of restarting on every default.
    ASSERT_EQ(unlink(path.c_str()), 0);
    EXPECT_FALSE(reload_settings(play_, path.c_str(), true, 6u, out_, err_));
    ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
    EXPECT_FALSE(reload_settings(play_, path.c_str(), true, 6u, out_, err_));
    const std::string errors = stream_text(err_);
    EXPECT_NE(errors.find("No such file or directory"), std::string::npos) << errors;
    EXPECT_NE(errors.find("not a regular file"), std::string::npos) << errors;
    EXPECT_EQ(play_.seed, 11u);
    EXPECT_TRUE(same_bits(before, positions()));
    ASSERT_EQ(rmdir(path.c_str()), 0);

    // The config.ini beside the program may be missing: every default, as at start.
    ASSERT_TRUE(reload_settings(play_, path.c_str(), false, 7u, out_, err_));
    EXPECT_EQ(sim.count, default_phys_config().count);

    // Start-up's warnings come too: a key given twice, a timestep that will blow up.
    const std::string twice = file("[phys]\ncount=800\ntimestep=0.01\ncount=7000\n");
    ASSERT_TRUE(reload_settings(play_, twice.c_str(), true, 8u, out_, err_));
    EXPECT_EQ(sim.count, 800);
    const std::string warnings = stream_text(err_);
    EXPECT_NE(warnings.find(":4: 'count=7000': count is given again; the first value, on line 2, "
                            "is the one used"),
              std::string::npos)
        << warnings;
    EXPECT_NE(warnings.find("warning: [phys] timestep = 0.01 is above"), std::string::npos)
        << warnings;
}

TEST_F(Session, ColourSwitchesRecolourButNeverMoveTheFluid) {
    // Reference: the same run without any switch.
    start(0, 0);
    steps(8);
    const std::vector<Vec2> plain = positions();

    start(0, 0);
    ASSERT_EQ(sim.color, nullptr);
    play_.graph.point_colors = 1;
    ASSERT_TRUE(switch_colours(play_, err_)); // arrays made on first use
    ASSERT_NE(sim.color, nullptr);
    // At the seeded positions the gradient is the one a coloured start gives (to the last bits,
    // which the x87 unit may round differently in the two places).
    std::vector<Color3> switched(sim.color, sim.color + sim.count);
    sim_free();
    ASSERT_TRUE(sim_init_seeded(1, phys_config, 0.002f, 11u));
    for (int32_t i = 0; i < sim.count; ++i) {
        ASSERT_FLOAT_EQ(switched[i].r, sim.color[i].r) << i;
        ASSERT_FLOAT_EQ(switched[i].g, sim.color[i].g) << i;
        ASSERT_FLOAT_EQ(switched[i].b, sim.color[i].b) << i;
    }

    start(0, 0);
    steps(3);
    for (int32_t scheme : {1, 2, 0, 2, 1}) {
        play_.graph.point_colors = scheme;
        ASSERT_TRUE(switch_colours(play_, err_));
        EXPECT_EQ(graph_config.point_colors, scheme);
        EXPECT_EQ(sim.point_colors, scheme);
        // Diffusion only for the gradient.
        EXPECT_EQ(sim.point_diffusion, scheme == 1 ? play_.graph.point_diffusion : 0.0f) << scheme;
        steps(1);
    }
    EXPECT_TRUE(same_bits(plain, positions()));
}

TEST_F(Session, OutlineModeIsCheckedAgainstItsOwnSettings) {
    graph_config.surf_resolution = 4000;
    EXPECT_TRUE(mode_settings_accepted(play_, 0, err_));
    EXPECT_TRUE(mode_settings_accepted(play_, 2, err_));
    EXPECT_FALSE(mode_settings_accepted(play_, 1, err_));
    EXPECT_NE(stream_text(err_).find("surf_resolution = 4000"), std::string::npos);
}

TEST_F(Session, SceneSwitchRestartsOnItAndARefusedOneChangesNothing) {
    const std::string settings = file("[phys]\ncount=1500\ngeom_count=0\n");
    const std::string blocks = file("[scene]\nabout = one block\nspacing = 1\n"
                                    "fluid = rect 0 0 0.3 0.3\n[phys]\nviscosity=0.7\n");
    ASSERT_TRUE(switch_scene(play_, settings.c_str(), true, blocks.c_str(), 21u, out_, err_))
        << stream_text(err_);
    EXPECT_EQ(play_.scene.fluid_count, 1);
    EXPECT_STREQ(play_.scene_choice, blocks.c_str());
    EXPECT_EQ(sim.count, phys_config.count);
    EXPECT_NE(sim.count, 1500); // the block's sites, not the file's count
    EXPECT_EQ(sim.viscosity, 0.7f);
    EXPECT_NE(std::string(play_.status).find("one block"), std::string::npos) << play_.status;

    // r restarts on the same scene; so does l, which reads the files again.
    const int32_t count = sim.count;
    ASSERT_TRUE(restart_simulation(play_, 22u, out_, err_));
    EXPECT_EQ(sim.count, count);
    ASSERT_TRUE(reload_settings(play_, settings.c_str(), true, 23u, out_, err_));
    EXPECT_EQ(sim.count, count);
    EXPECT_EQ(play_.scene.fluid_count, 1);

    // A scene that is refused leaves the running one and its choice as they were.
    steps(2);
    const std::vector<Vec2> before = positions();
    const std::string broken = file("[scene]\nfluid = rect 0 0 1\n");
    EXPECT_FALSE(switch_scene(play_, settings.c_str(), true, broken.c_str(), 24u, out_, err_));
    EXPECT_TRUE(same_bits(before, positions()));
    EXPECT_STREQ(play_.scene_choice, blocks.c_str());
    EXPECT_EQ(play_.seed, 23u);
    EXPECT_NE(stream_text(err_).find(broken + ":2: 'fluid = rect 0 0 1'"), std::string::npos);

    // Back to the box: the settings file's count and no scene left in the run.
    ASSERT_TRUE(switch_scene(play_, settings.c_str(), true, "box", 25u, out_, err_));
    EXPECT_EQ(sim.count, 1500);
    EXPECT_EQ(running_scene.fluid_count, 0);
}
