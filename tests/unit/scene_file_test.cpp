// Scene files: what each [scene] key reads into, what is refused and how the refusal reads, the
// scene's settings over the settings file's, and the order the e key walks the scenes in.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/startup.h"
#include "config/config.h"
#include "config/scene_file.h"
#include "sph/scene_state.h"
#include "stream_text.h"

namespace {

struct Read {
    int problems;
    std::string errors;
    SceneDescription scene;
};

Read read_scene(const std::string& text, const char* path = "data/scenes/x.ini") {
    Read r;
    std::FILE* err = std::tmpfile();
    r.problems = read_scene_text(text, path, &r.scene, err);
    r.errors = stream_text(err);
    std::fclose(err);
    return r;
}

std::string write_file(const std::string& name, const std::string& text) {
    const std::string path = testing::TempDir() + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

} // namespace

TEST(SceneFile, EveryKeyReadsIntoTheDescription) {
    const Read r = read_scene("[graph]\nfluid = not read here\n"
                              "[scene]\n"
                              "about = two dams ; and a remark that is part of the line\n"
                              "spacing = 0.75\n"
                              "fluid = rect 0 0 0.25 0.5 ; a remark after the numbers\n"
                              "fluid=disc 0.5 0.5 0.5\n"
                              "body = box 0.5 0.75 0.1 0.2 -30 0.5\n"
                              "body = 6 0.25 0.25 1 0.05 360 100\n"
                              "obstacle = 0 0 1 0 1 1\n"
                              "obstacle = -0.5 1.5 -0.5 -0.5 1.5 -0.5 1.5 1.5\n"
                              "piston = right 0.5 2.5\n"
                              "emitter = 0.1 0.9 -90 100 100000\n"
                              "emitter = 1 0 45 0 0 1\n"
                              "\tdrain = 0 0 0.125 1e-1\n");
    EXPECT_EQ(r.problems, 0) << r.errors;
    const SceneDescription& s = r.scene;
    EXPECT_STREQ(s.name, "x");
    EXPECT_STREQ(s.about, "two dams ; and a remark that is part of the line");
    EXPECT_EQ(s.spacing, 0.75f);
    ASSERT_EQ(s.fluid_count, 2);
    EXPECT_FALSE(s.fluids[0].disc);
    EXPECT_EQ(s.fluids[0].x1, 0.25f);
    EXPECT_EQ(s.fluids[0].y1, 0.5f);
    EXPECT_TRUE(s.fluids[1].disc);
    EXPECT_EQ(s.fluids[1].r, 0.5f);
    ASSERT_EQ(s.body_count, 2);
    EXPECT_EQ(s.bodies[0].corners, 0);
    EXPECT_EQ(s.bodies[0].angle, -30.0f);
    EXPECT_EQ(s.bodies[0].density, 0.5f);
    EXPECT_EQ(s.bodies[1].corners, 6);
    EXPECT_EQ(s.bodies[1].width, 1.0f);
    ASSERT_EQ(s.obstacle_count, 2);
    EXPECT_EQ(s.obstacles[0].corner_count, 3); // counter-clockwise
    EXPECT_EQ(s.obstacles[1].corner_count, 4); // clockwise
    EXPECT_EQ(s.obstacles[1].corners[2].x, 1.5f);
    EXPECT_EQ(s.obstacles[1].corners[2].y, -0.5f);
    EXPECT_EQ(s.piston.side, 1);
    EXPECT_EQ(s.piston.period, 2.5f);
    ASSERT_EQ(s.emitter_count, 2);
    EXPECT_EQ(s.emitters[0].width, 0.0f); // left out
    EXPECT_EQ(s.emitters[0].rate, 100000.0f);
    EXPECT_EQ(s.emitters[1].width, 1.0f);
    ASSERT_EQ(s.drain_count, 1);
    EXPECT_EQ(s.drains[0].y1, 0.1f);
    EXPECT_FALSE(scene_is_plain(s));

    // No [scene] at all is the box under the file's name, and adds nothing to a run.
    const Read empty = read_scene("[phys]\ncount=10\n", "/x/y/calm.ini");
    EXPECT_EQ(empty.problems, 0);
    EXPECT_STREQ(empty.scene.name, "calm");
    EXPECT_EQ(empty.scene.spacing, 0.5f);
    EXPECT_TRUE(scene_is_plain(empty.scene));
}

TEST(SceneFile, EveryRefusedLineIsNamedWithWhatIsAccepted) {
    struct Case {
        const char* line;
        const char* says;
    };
    const Case cases[] = {
        {"fluid=rect 0 0 1", "3 numbers where 4 are needed; accepted: fluid = rect X0 Y0 X1 Y1"},
        {"fluid = rect 0 0 1 1 1", "5 numbers where 4 are needed"},
        {"fluid = rect 0 0 1 1.5", "Y1 = 1.5 is out of range"},
        {"fluid = rect 0.5 0 0.5 1", "the block is empty"},
        {"fluid = rect 0 0 1,0 1", "X1 '1,0' is not a number"},
        {"fluid = rect 0 0 nan 1", "X1 = nan is not finite"},
        {"fluid = rect 0 0 1e39 1", "X1 = 1e39 is not finite"},
        {"fluid = square 0 0 1 1", "fluid takes rect or disc first"},
        {"fluid = disc 0.2 0.5 0.3", "the disc reaches out of the box"},
        {"fluid = disc 0.5 0.5 0", "R = 0 is out of range"},
        {"body = box 0.5 0.5 0 0.1 0 1", "WIDTH = 0 is out of range"},
        {"body = box 0.5 0.5 0.1 0.1 0 100.5", "DENSITY = 100.5 is out of range"},
        {"body = box 0.5 0.5 0.1 0.1 720 1", "ANGLE = 720 is out of range"},
        {"body = 33 0.5 0.5 0.1 0.1 0 1", "neither box nor a number of corners from 3 to 32"},
        {"body = 2 0.5 0.5 0.1 0.1 0 1", "neither box nor a number of corners"},
        {"body =", "no value"},
        {"obstacle = 0 0 1 0", "4 numbers where an even count from 6 to 64 is needed"},
        {"obstacle = 0 0 1 0 1", "5 numbers"},
        {"obstacle = 0 0 1 0 2 1", "X3 = 2 is out of range"},
        {"obstacle = 0 0 0.5 0 1 0", "the edges at corner 2 lie on one line"},
        {"obstacle = 0 0 0 0 1 1", "corners 1 and 2 are the same point"},
        {"obstacle = 0 0 1 0 0.5 0.1 1 1 0 1", "not convex: it turns the other way at corner 3"},
        {"obstacle = 0.5 1 0.2 0 1 0.6 0 0.6 0.8 0", "it goes round more than once"},
        {"piston = up 0.1 1", "the wall is neither left nor right"},
        {"piston = left 0.6 1", "AMPLITUDE = 0.6 is out of range"},
        {"piston = left 0.1 0", "PERIOD = 0 is out of range"},
        {"emitter = 0.5 0.5 90 101 10", "SPEED = 101 is out of range"},
        {"emitter = 0.5 0.5 90 1", "4 numbers where 5 or 6 are needed"},
        {"emitter = 0.5 0.5 90 1 -1", "RATE = -1 is out of range"},
        {"drain = 0 0 0 1", "the drain is empty"},
        {"spacing = 0.1", "S = 0.1 is out of range; accepted: spacing = S"},
        {"spacing = 0.5 0.5", "2 numbers where 1 is needed"},
        {"about =", "no text"},
        {"fluids = rect 0 0 1 1", "no such key; the keys of [scene] are about"},
        {"just words", "neither a ; remark nor key = value"},
    };
    std::string text = "; a comment first\n[scene]\n";
    const int first_line = 3;
    for (const Case& c : cases)
        text += std::string(c.line) + "\n";
    const Read r = read_scene(text);
    EXPECT_EQ(r.problems, static_cast<int>(sizeof cases / sizeof cases[0]));
    int line = first_line;
    for (const Case& c : cases) {
        const std::string named =
            "error: data/scenes/x.ini:" + std::to_string(line++) + ": '" + c.line + "': ";
        const std::size_t at = r.errors.find(named);
        ASSERT_NE(at, std::string::npos) << named << "\nin\n" << r.errors;
        const std::string message = r.errors.substr(at, r.errors.find('\n', at) - at);
        EXPECT_NE(message.find(c.says), std::string::npos) << message;
    }
    // Nothing of a refused line is kept.
    EXPECT_EQ(r.scene.fluid_count + r.scene.body_count + r.scene.obstacle_count, 0);
    EXPECT_EQ(r.scene.piston.side, 0);
}

TEST(SceneFile, OnceOnlyKeysAndCapacitiesAreHeldToTheirLimits) {
    std::string text = "[scene]\nabout = a\nspacing = 1\npiston = left 0.1 1\n"
                       "about = b\nspacing = 2\npiston = right 0.1 1\n";
    for (int i = 0; i <= scene_max_fluids; ++i)
        text += "fluid = rect 0 0 1 1\n";
    const Read r = read_scene(text);
    EXPECT_EQ(r.problems, 4) << r.errors;
    EXPECT_NE(r.errors.find("x.ini:5: 'about = b': about is given again (first on line 2)"),
              std::string::npos)
        << r.errors;
    EXPECT_NE(r.errors.find(":6: 'spacing = 2': spacing is given again (first on line 3)"),
              std::string::npos);
    EXPECT_NE(r.errors.find(":7: 'piston = right 0.1 1': piston is given again"),
              std::string::npos);
    const std::string line = ":" + std::to_string(8 + scene_max_fluids) + ": ";
    EXPECT_NE(r.errors.find(line + "'fluid = rect 0 0 1 1': more fluid lines than a scene holds "
                                   "(at most 16)"),
              std::string::npos)
        << r.errors;
    EXPECT_EQ(r.scene.fluid_count, scene_max_fluids);
    EXPECT_EQ(r.scene.spacing, 1.0f);
    EXPECT_STREQ(r.scene.about, "a");

    // The longest about line fits; one more character does not, and the long line is quoted in
    // part. A control byte is refused and quoted as a code, never as itself.
    const std::string longest(scene_about_size - 1, 'x');
    EXPECT_EQ(read_scene("[scene]\nabout = " + longest + "\n").scene.about, longest);
    const Read longer = read_scene("[scene]\nabout = " + longest + "x\n");
    EXPECT_NE(longer.errors.find("xxx...': 160 characters; accepted: about"), std::string::npos)
        << longer.errors;
    const Read control = read_scene("[scene]\nabout = a control \x1b[31m character\n");
    EXPECT_NE(control.errors.find("a control \\x1b[31m character': a control character"),
              std::string::npos)
        << control.errors;
    EXPECT_EQ(control.errors.find('\x1b'), std::string::npos);

    // A corner past the last one an obstacle may have.
    std::string many = "[scene]\nobstacle =";
    for (int i = 0; i < scene_max_corners + 1; ++i)
        many += " 0.5 0.5";
    EXPECT_EQ(read_scene(many + "\n").problems, 1);
}

TEST(SceneFile, ReadmeExampleIsAccepted) {
    std::ifstream in(std::string(TARNWELL_SOURCE_DIR) + "/README.md");
    std::stringstream readme;
    readme << in.rdbuf();
    const std::string text = readme.str();
    const std::size_t section = text.find("## Scenes");
    ASSERT_NE(section, std::string::npos);
    const std::size_t from = text.find("```ini\n", section);
    ASSERT_NE(from, std::string::npos);
    const std::size_t to = text.find("```", from + 7);
    const Read r = read_scene(text.substr(from + 7, to - from - 7));
    EXPECT_EQ(r.problems, 0) << r.errors;
    EXPECT_EQ(r.scene.fluid_count, 1);
    EXPECT_EQ(r.scene.emitter_count, 1);
}

TEST(SceneFile, NamesPathsAndTheOrderOfTheKey) {
    EXPECT_TRUE(scene_choice_is_name("dam_break"));
    EXPECT_FALSE(scene_choice_is_name("dam_break.ini"));
    EXPECT_FALSE(scene_choice_is_name("./dam_break"));
    EXPECT_EQ(scene_path("dam", "/opt/t/"), "/opt/t/scenes/dam.ini");
    EXPECT_EQ(scene_path("my.ini", "/opt/t/"), "my.ini");

    const std::string folder = testing::TempDir() + "scene_order_" + std::to_string(getpid());
    ASSERT_EQ(system(("mkdir -p " + folder + "/scenes").c_str()), 0);
    for (const char* name : {"wave", "box", "drop", "notes.txt"})
        write_file("scene_order_" + std::to_string(getpid()) + "/scenes/" + name +
                       (std::string(name).find('.') == std::string::npos ? ".ini" : ""),
                   "[scene]\nabout = " + std::string(name) + "\n");
    const std::vector<std::string> names = builtin_scene_names(folder + "/");
    EXPECT_EQ(names, (std::vector<std::string>{"box", "drop", "wave"}));
    EXPECT_EQ(next_scene_name(names, "box"), "drop");
    EXPECT_EQ(next_scene_name(names, "wave"), "box");
    EXPECT_EQ(next_scene_name(names, "somewhere_else"), "box");
    // Without a scenes folder there is still the box, which needs no file.
    EXPECT_EQ(builtin_scene_names("/nonexistent/"), std::vector<std::string>{"box"});
    SceneFile box;
    EXPECT_TRUE(load_scene("box", "/nonexistent/", &box, stderr));
    EXPECT_TRUE(box.text.empty());
    EXPECT_TRUE(scene_is_plain(box.description));

    std::FILE* out = std::tmpfile();
    EXPECT_EQ(print_scene_list(folder + "/", out), 3);
    const std::string listed = stream_text(out);
    std::fclose(out);
    EXPECT_EQ(listed.find("box "), 0u) << listed;
    EXPECT_NE(listed.find("\nwave" + std::string(16, ' ') + " wave\n"), std::string::npos)
        << listed;
    ASSERT_EQ(system(("rm -rf " + folder).c_str()), 0);
}

TEST(SceneFile, SceneSettingsOverrideTheFileAndEachWarnsWithItsOwnLines) {
    const std::string scene = write_file("override_scene.ini", "[scene]\n"
                                                               "fluid = rect 0 0 0.5 0.5\n"
                                                               "[phys]\n"
                                                               "gravity = -1\n"
                                                               "no_such_key = 1\n"
                                                               "[graph]\n"
                                                               "scene = elsewhere\n");
    const std::string settings =
        write_file("override_settings.ini", "count=5\n[graph]\nscene=" + scene +
                                                "\n[phys]\ngravity=-20\nviscosity=0.5\n"
                                                "smooth_radius=0.01\n[scene]\nabout = here\n");
    GraphConfig file_graph, graph;
    PhysConfig file_phys, phys;
    WrittenSettings written;
    SceneDescription description;
    std::FILE* err = std::tmpfile();
    ASSERT_TRUE(read_settings(settings.c_str(), true, SettingsRequest{}, &file_graph, &file_phys,
                              &graph, &phys, &written, &description, err))
        << stream_text(err);
    const std::string warnings = stream_text(err);
    std::fclose(err);
    EXPECT_EQ(phys.gravity, -1.0f);      // the scene's
    EXPECT_EQ(phys.viscosity, 0.5f);     // the settings file's
    EXPECT_EQ(file_phys.gravity, -1.0f); // as the keys in play start from it
    EXPECT_STREQ(graph.scene.text, scene.c_str());
    EXPECT_EQ(description.fluid_count, 1);
    // The lattice gives the count, not the settings (and not count=5 above every section).
    const int64_t sites = scene_lattice_sites(description, phys.smooth_radius, phys.field_size,
                                              nullptr, setting_limit::count_hi);
    EXPECT_GT(sites, 0);
    EXPECT_EQ(phys.count, sites);
    EXPECT_EQ(file_phys.count, default_phys_config().count);
    EXPECT_NE(warnings.find(scene + ":5: 'no_such_key = 1': no such key"), std::string::npos)
        << warnings;
    EXPECT_NE(warnings.find(scene + ":7: 'scene = elsewhere': a scene is chosen in the settings "
                                    "file or with --scene"),
              std::string::npos)
        << warnings;
    EXPECT_NE(warnings.find(settings + ":8: '[scene]': scene keys belong in a scene file"),
              std::string::npos)
        << warnings;

    // The request's scene wins over the setting; one that is refused names its file and line.
    const std::string bad = write_file("override_bad.ini", "[scene]\n\nfluid = rect 0 0 2 1\n");
    SettingsRequest request;
    request.scene = bad.c_str();
    err = std::tmpfile();
    EXPECT_FALSE(read_settings(settings.c_str(), true, request, &file_graph, &file_phys, &graph,
                               &phys, &written, &description, err));
    const std::string refused = stream_text(err);
    std::fclose(err);
    EXPECT_NE(refused.find("error: " + bad + ":3: 'fluid = rect 0 0 2 1': X1 = 2 is out of range"),
              std::string::npos)
        << refused;
    EXPECT_NE(refused.find("the scene '" + bad + "' is refused (1 line above)"), std::string::npos);

    // Blocks too fine for the particle limit, or too small for one site: refused by the scene.
    const std::string fine = write_file("override_fine.ini", "[scene]\nspacing = 0.2\n"
                                                             "fluid = rect 0 0 1 1\n");
    const std::string tiny = write_file("override_tiny.ini", "[scene]\n"
                                                             "fluid = rect 0 0 0.001 0.001\n");
    for (const std::string& path : {fine, tiny}) {
        request.scene = path.c_str();
        err = std::tmpfile();
        EXPECT_FALSE(read_settings(settings.c_str(), true, request, &file_graph, &file_phys, &graph,
                                   &phys, &written, &description, err));
        const std::string why = stream_text(err);
        std::fclose(err);
        EXPECT_NE(why.find("the fluid blocks of the scene 'override_"), std::string::npos) << why;
        EXPECT_NE(why.find("accepted: 1 to 65536 particles"), std::string::npos) << why;
    }
}
