#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "app/play.h"
#include "app/user_settings.h"
#include "config/config.h"
#include "stream_text.h"

namespace {

// A temporary stream and what was written to it.
struct StreamText {
    std::FILE* file = std::tmpfile();
    ~StreamText() { std::fclose(file); }
    std::string text() { return stream_text(file); }
};

std::string temp_folder() {
    char name[] = "/tmp/tarnwell-user-XXXXXX";
    EXPECT_NE(mkdtemp(name), nullptr);
    return name;
}

std::string file_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_text(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Both records as a settings file's text gives them.
void load_text(const std::string& text, GraphConfig* graph, PhysConfig* phys) {
    load_graph_config_text(graph, text, nullptr);
    load_phys_config_text(phys, text, nullptr);
}

} // namespace

TEST(UserSettings, FileFollowsTheXdgRule) {
    EXPECT_EQ(user_settings_path("/x/conf", "/home/u"), "/x/conf/tarnwell/config.ini");
    // Unset, empty or relative: the XDG rule falls back on the home folder.
    EXPECT_EQ(user_settings_path(nullptr, "/home/u"), "/home/u/.config/tarnwell/config.ini");
    EXPECT_EQ(user_settings_path("", "/home/u"), "/home/u/.config/tarnwell/config.ini");
    EXPECT_EQ(user_settings_path("conf", "/home/u"), "/home/u/.config/tarnwell/config.ini");
    EXPECT_EQ(user_settings_path(nullptr, nullptr), "");
    EXPECT_EQ(user_settings_path("relative", ""), "");
}

TEST(UserSettings, TheUserFileIsReadOnlyWhenItIsThere) {
    const std::string dir = temp_folder();
    const std::string user = dir + "/tarnwell/config.ini";
    EXPECT_EQ(settings_file_to_read(user, "/opt/t/"), "/opt/t/config.ini");
    EXPECT_EQ(settings_file_to_read("", "/opt/t/"), "/opt/t/config.ini");
    mkdir((dir + "/tarnwell").c_str(), 0700);
    // Even a folder in its place is the one read: the reader then names it and says why.
    mkdir(user.c_str(), 0700);
    EXPECT_EQ(settings_file_to_read(user, "/opt/t/"), user);
    rmdir(user.c_str());
    write_text(user, "");
    EXPECT_EQ(settings_file_to_read(user, ""), user);
    std::system(("rm -rf " + dir).c_str());
}

TEST(UserSettings, MergeKeepsCommentsOrderUnknownLinesAndLineEnds) {
    const std::string existing = "; my tuning\r\n"
                                 "[graph]\r\n"
                                 "colour_of_my_cat=grey\r\n"
                                 "\r\n"
                                 "[phys]\r\n"
                                 "count = 5000 ; fewer for the laptop\r\n"
                                 "mouse_force=75\r\n"
                                 "\r\n"
                                 "[extra]\r\n"
                                 "stays=1"; // no line end at the very end
    GraphConfig graph;
    PhysConfig phys;
    load_text(existing, &graph, &phys);
    phys.count = 6000;        // on its line, the remark kept
    phys.viscosity = 0.25f;   // missing: added where [phys] ends, before the blank line
    graph.render_type = 2;    // missing: added after the section's last line
    phys.mouse_force = 75.0f; // as the file has it: its line stays as written
    phys.gravity = -9.8f;     // the default and not in the file: not added
    const std::string merged = merge_settings_text(existing, graph, phys);
    EXPECT_EQ(merged, "; my tuning\r\n"
                      "[graph]\r\n"
                      "colour_of_my_cat=grey\r\n"
                      "render_type=2\r\n"
                      "\r\n"
                      "[phys]\r\n"
                      "count = 6000 ; fewer for the laptop\r\n"
                      "mouse_force=75\r\n"
                      "viscosity=0.25\r\n"
                      "\r\n"
                      "[extra]\r\n"
                      "stays=1");
}

TEST(UserSettings, MergeAddsMissingSectionsAndTakesTheFirstOfTwoLines) {
    GraphConfig graph = default_graph_config();
    PhysConfig phys = default_phys_config();
    EXPECT_EQ(merge_settings_text("", graph, phys), "") << "defaults add nothing";
    phys.stiff = 3.0f;
    std::snprintf(graph.scene.text, sizeof graph.scene.text, "wave");
    EXPECT_EQ(merge_settings_text("[phys]\nstiff=1\nstiff=2\n", graph, phys),
              "[phys]\nstiff=3\nstiff=2\n\n[graph]\nscene=wave\n");
    // A key line without a value counts as absent to the reader: the value goes on a line after.
    EXPECT_EQ(merge_settings_text("[phys]\nstiff=\n", graph, phys),
              "[phys]\nstiff=\nstiff=3\n\n[graph]\nscene=wave\n");
    // A key of the wrong section is an unknown line there.
    EXPECT_EQ(merge_settings_text("[graph]\nstiff=9", default_graph_config(), phys),
              "[graph]\nstiff=9\n\n[phys]\nstiff=3\n");
    // A second block of the section still counts; lines are added to the first one.
    phys.count = 10;
    EXPECT_EQ(merge_settings_text("[phys]\ncount=10\n[graph]\n[phys]\nstiff=1\n",
                                  default_graph_config(), phys),
              "[phys]\ncount=10\n[graph]\n[phys]\nstiff=3\n");
    EXPECT_EQ(merge_settings_text("[phys]\ncount=10\n[graph]\n", default_graph_config(), phys),
              "[phys]\ncount=10\nstiff=3\n[graph]\n");
}

// Every key, changed, reads back from the merged file exactly, whether the file had the key
// (the default file, every key on a line) or not (an empty one).
TEST(UserSettings, EveryChangedSettingReadsBackExactly) {
    GraphConfig graph = default_graph_config();
    PhysConfig phys = default_phys_config();
    for (int i = 0; i < setting_count; ++i) {
        const SettingInfo& info = setting_infos[i];
        GraphConfig one_graph;
        PhysConfig one_phys;
        // Values that need every digit, and one whose text would not survive %g's six.
        const std::string text = info.type == SettingType::text    ? "fountain"
                                 : info.type == SettingType::whole ? std::to_string(info.hi - 1)
                                 : i % 2 == 0                      ? "0.1234567"
                                                                   : "-3.0000001e-7";
        load_text(std::string("[") + info.section + "]\n" + info.key + "=" + text + "\n",
                  &one_graph, &one_phys);
        copy_setting(info, one_graph, one_phys, &graph, &phys);
    }
    for (const std::string& existing : {std::string(), default_settings_text()}) {
        const std::string merged = merge_settings_text(existing, graph, phys);
        GraphConfig back_graph;
        PhysConfig back_phys;
        load_text(merged, &back_graph, &back_phys);
        for (int i = 0; i < setting_count; ++i)
            EXPECT_EQ(setting_value_bits(setting_infos[i], back_graph, back_phys),
                      setting_value_bits(setting_infos[i], graph, phys))
                << setting_infos[i].key << " in\n"
                << merged;
        // A file that had every key gets no line more.
        if (!existing.empty()) {
            EXPECT_EQ(std::count(merged.begin(), merged.end(), '\n'),
                      std::count(existing.begin(), existing.end(), '\n'));
        }
    }
}

TEST(UserSettings, WhatIsSavedIsWhatTheUserChangedOverTheFilesOwnValues) {
    PlayState play{};
    const std::string source = "[phys]\ncount=2000\nviscosity=0.5\n";
    // As read with a scene that sets its own gravity and stiffness.
    load_text("[phys]\ncount=2000\nviscosity=0.5\ngravity=-3\nstiff=7\n", &play.read_graph,
              &play.read_phys);
    play.graph = play.read_graph;
    play.phys = play.read_phys;
    play.phys.viscosity = 0.1f; // changed while running
    play.graph.realtime = 1;
    GraphConfig graph;
    PhysConfig phys;
    settings_to_save(play, source, &graph, &phys);
    EXPECT_EQ(phys.viscosity, 0.1f);
    EXPECT_EQ(graph.realtime, 1);
    EXPECT_EQ(phys.count, 2000);
    EXPECT_EQ(phys.gravity, default_phys_config().gravity) << "the scene's own gravity leaked";
    EXPECT_EQ(phys.stiff, default_phys_config().stiff);
    EXPECT_STREQ(graph.scene.text, "box");
    std::snprintf(play.scene_choice, sizeof play.scene_choice, "wave");
    settings_to_save(play, source, &graph, &phys);
    EXPECT_STREQ(graph.scene.text, "wave");
}

TEST(UserSettings, SaveMakesTheFolderAndRefusesWhatItCannotWrite) {
    const std::string dir = temp_folder();
    PlayState play{};
    play.read_graph = play.graph = default_graph_config();
    play.read_phys = play.phys = default_phys_config();
    play.phys.damp = 0.99f;
    const std::string source = dir + "/missing.ini"; // the defaults were read
    const std::string target = dir + "/a/b/tarnwell/config.ini";
    StreamText out;
    StreamText err;
    ASSERT_TRUE(save_settings(play, source.c_str(), target, out.file, err.file)) << err.text();
    EXPECT_EQ(file_text(target), "[phys]\ndamp=0.99\n");
    EXPECT_NE(out.text().find(target), std::string::npos);

    // A folder where the file should be, a file where a folder should be: named, nothing changed.
    const std::string folder_target = dir + "/folder";
    mkdir(folder_target.c_str(), 0700);
    EXPECT_FALSE(save_settings(play, source.c_str(), folder_target, out.file, err.file));
    EXPECT_NE(err.text().find("'" + folder_target + "'"), std::string::npos) << err.text();
    const std::string blocked = dir + "/file/tarnwell/config.ini";
    write_text(dir + "/file", "keep me");
    StreamText err2;
    EXPECT_FALSE(save_settings(play, source.c_str(), blocked, out.file, err2.file));
    EXPECT_NE(err2.text().find("Not a directory"), std::string::npos) << err2.text();
    EXPECT_EQ(file_text(dir + "/file"), "keep me");
    StreamText err3;
    EXPECT_FALSE(save_settings(play, source.c_str(), "", out.file, err3.file));
    EXPECT_NE(err3.text().find("--config"), std::string::npos) << err3.text();
    std::system(("rm -rf " + dir).c_str());
}

TEST(UserSettings, NumbersAreWrittenAsPeopleWriteThem) {
    GraphConfig graph = default_graph_config();
    PhysConfig phys = default_phys_config();
    phys.rest_density = 700.0f;
    phys.ext_stiff = 200000.0f;
    phys.mass = 0.0003f;
    phys.geom_mass_min = 0.000004f; // too small for plain digits in %g: the exponent stays
    phys.timestep = 0.1f + 0.2f;    // a float no short text gives: every digit it needs
    const std::string text = merge_settings_text("", graph, phys);
    for (const char* want :
         {"rest_density=700\n", "ext_stiff=200000\n", "mass=0.0003\n", "geom_mass_min=4e-06\n"})
        EXPECT_NE(text.find(want), std::string::npos) << want << " missing from\n" << text;
    GraphConfig back_graph;
    PhysConfig back_phys;
    load_text(text, &back_graph, &back_phys);
    EXPECT_EQ(setting_bits(back_phys.timestep), setting_bits(phys.timestep)) << text;
}
