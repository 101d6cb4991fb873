#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/startup.h"
#include "config/config.h"
#include "config/fixups.h"

TEST(Startup, FolderOfProgramPathKeepsTheLastSlash) {
    struct Case {
        const char* path;
        const char* folder;
    };
    const Case cases[] = {
        {"/a/b/tarnwell", "/a/b/"},
        {"tarnwell", ""}, // bare name: config.ini comes from the working folder
        {"/tarnwell", "/"},
        {"a/", "a/"},
        {"", ""},
        {"./tarnwell", "./"},
        {"a//b/", "a//b/"},
        {"dir.v2/tarn\\well", "dir.v2/"}, // a backslash is an ordinary character here
    };
    for (const Case& c : cases)
        EXPECT_EQ(exe_folder_of(c.path), c.folder) << c.path;
    EXPECT_EQ(exe_folder_of(nullptr), "");
}

TEST(Startup, FixupsFollowTheRenderAndColourModes) {
    struct Case {
        int32_t render_type;
        int32_t point_colors;
        int32_t want_colors;
        float want_diffusion;
        int32_t want_geom;
    };
    const Case cases[] = {
        {1, 1, 0, 0.0f, 0},                        // iso-lines: no colours, no diffusion, no bodies
        {1, 2, 0, 0.0f, 0},   {0, 2, 2, 0.0f, 5},  // density colours never diffuse
        {2, 2, 2, 0.0f, 5},   {0, 1, 1, 0.25f, 5}, // gradient colours keep their diffusion
        {2, 1, 1, 0.25f, 5},                       // sprite mode has no fix-up of its own
        {0, 0, 0, 0.25f, 5},  {3, 2, 2, 0.0f, 5},  // unknown modes are not mode 1
        {-1, 1, 1, 0.25f, 5},
    };
    for (const Case& c : cases) {
        GraphConfig g{};
        PhysConfig p{};
        g.render_type = c.render_type;
        g.point_colors = c.point_colors;
        g.point_diffusion = 0.25f;
        g.window_size = 400;
        p.geom_count = 5;
        p.count = 1234;
        apply_fixups(g, p);
        SCOPED_TRACE(testing::Message()
                     << "render_type " << c.render_type << " point_colors " << c.point_colors);
        EXPECT_EQ(g.point_colors, c.want_colors);
        EXPECT_EQ(g.point_diffusion, c.want_diffusion);
        EXPECT_EQ(p.geom_count, c.want_geom);
        // Nothing else moves.
        EXPECT_EQ(g.render_type, c.render_type);
        EXPECT_EQ(g.window_size, 400);
        EXPECT_EQ(p.count, 1234);
    }
}

TEST(Startup, InstalledProgramsFindTheirDataBesideBin) {
    char name[] = "/tmp/tarnwell-data-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    const std::string root = name;
    const std::string bin = root + "/bin/";
    const std::string data = root + "/bin/" + installed_data_path + "/";
    ASSERT_EQ(std::system(("mkdir -p " + bin + " " + data).c_str()), 0);
    EXPECT_EQ(data_folder(bin), bin) << "no config.ini there: not an install";
    ASSERT_EQ(std::system(("mkdir " + data + "config.ini").c_str()), 0);
    EXPECT_EQ(data_folder(bin), bin) << "a folder named config.ini marks no install";
    ASSERT_EQ(std::system(("rmdir " + data + "config.ini && touch " + data + "config.ini").c_str()),
              0);
    const std::string found = data_folder(bin);
    EXPECT_EQ(found.back(), '/');
    EXPECT_EQ(found.find("/bin/.."), std::string::npos) << found;
    EXPECT_EQ(std::system(("test -f " + found + "config.ini").c_str()), 0) << found;
    EXPECT_EQ(data_folder(""), "") << "a bare name looks in the working folder, as ever";
    std::system(("rm -rf " + root).c_str());
}
