#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <locale.h>
#include <unistd.h>

#include "config/config.h"

namespace {

// A fresh folder under the temporary directory for one test's settings files, removed afterwards.
class IniFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tarnwell-ini-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        ASSERT_NE(mkdtemp(buffer.data()), nullptr);
        dir_ = buffer.data();
    }
    void TearDown() override {
        for (const std::string& f : files_)
            std::remove(f.c_str());
        if (!dir_.empty()) rmdir(dir_.c_str());
    }
    std::string write(const std::string& content) {
        std::string path = dir_ + "/config" + std::to_string(files_.size()) + ".ini";
        std::FILE* f = std::fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (f) {
            std::fwrite(content.data(), 1, content.size(), f);
            std::fclose(f);
        }
        files_.push_back(path);
        return path;
    }
    std::string read(const std::string& path, const char* section, const char* key) {
        char out[ini_text_size];
        std::memset(out, 'X', sizeof out);
        ini_read_value(out, path.c_str(), section, key, "DEFAULT");
        EXPECT_NE(std::memchr(out, '\0', sizeof out), nullptr);
        return out;
    }
    std::string dir_;
    std::vector<std::string> files_;
};

void expect_default_graph(const GraphConfig& g) {
    EXPECT_EQ(g.window_size, 740);
    EXPECT_EQ(g.render_type, 0);
    EXPECT_EQ(g.point_size, 3.0f);
    EXPECT_EQ(g.point_colors, 1);
    EXPECT_EQ(g.point_diffusion, 0.002f);
    EXPECT_EQ(g.surf_resolution, 128);
    EXPECT_EQ(g.surf_radius, 2.0f);
    EXPECT_EQ(g.surf_size, 2.0f);
    EXPECT_EQ(g.graph_smooth, 1);
    EXPECT_EQ(g.graph_blend, 1);
    EXPECT_EQ(g.realtime, 0);
}

void expect_default_phys(const PhysConfig& p) {
    const float floats[] = {p.smooth_radius,    p.mass,
                            p.field_size,       p.timestep,
                            p.viscosity,        p.stiff,
                            p.rest_density,     p.gravity,
                            p.ext_stiff,        p.damp,
                            p.geom_w_min,       p.geom_w_max,
                            p.geom_h_min,       p.geom_h_max,
                            p.geom_mass_min,    p.geom_mass_max,
                            p.geom_m_inert_min, p.geom_m_inert_max,
                            p.geom_stiff,       p.mouse_radius,
                            p.mouse_force};
    const float expected[] = {0.01f, 0.0002f, 0.8f,   0.0015f, 0.4f,  2.5f,  600.0f,
                              -9.8f, 1e5f,    0.998f, 5.0f,    10.0f, 5.0f,  10.0f,
                              5e-6f, 2e-5f,   8.0f,   12.0f,   2e5f,  13.0f, 75.0f};
    for (std::size_t i = 0; i < sizeof floats / sizeof floats[0]; ++i)
        EXPECT_EQ(floats[i], expected[i]) << "float field " << i;
    EXPECT_EQ(p.count, 10000);
    EXPECT_EQ(p.geom_count, 2);
    EXPECT_EQ(p.geom_vertex_count_min, 4);
    EXPECT_EQ(p.geom_vertex_count_max, 10);
}

TEST_F(IniFiles, MissingEmptyOrForeignFileGivesEveryDefault) {
    const std::string paths[] = {
        dir_ + "/no-such-file.ini", write(""), write("[other]\ncount=5\nwindow_size=3\n"),
        dir_, // a folder opens but reads nothing
    };
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        GraphConfig g;
        PhysConfig p;
        std::memset(&g, 0x7f, sizeof g);
        std::memset(&p, 0x7f, sizeof p);
        load_graph_config(&g, path.c_str());
        load_phys_config(&p, path.c_str());
        expect_default_graph(g);
        expect_default_phys(p);
    }
}

TEST_F(IniFiles, ShippedFileHoldsEveryKeyAtItsDefault) {
    const std::string path = std::string(TARNWELL_SOURCE_DIR) + "/data/config.ini";
    const char* graph_keys[] = {"window_size",     "render_type",     "point_size",  "point_colors",
                                "point_diffusion", "surf_resolution", "surf_radius", "surf_size",
                                "graph_smooth",    "graph_blend",     "realtime"};
    for (const char* key : graph_keys)
        EXPECT_NE(read(path, "graph", key), "DEFAULT") << key;
    const char* phys_keys[] = {"count",
                               "smooth_radius",
                               "mass",
                               "field_size",
                               "timestep",
                               "viscosity",
                               "stiff",
                               "rest_density",
                               "gravity",
                               "ext_stiff",
                               "damp",
                               "geom_count",
                               "geom_vertex_count_min",
                               "geom_vertex_count_max",
                               "geom_w_min",
                               "geom_w_max",
                               "geom_h_min",
                               "geom_h_max",
                               "geom_mass_min",
                               "geom_mass_max",
                               "geom_m_inert_min",
                               "geom_m_inert_max",
                               "geom_stiff",
                               "mouse_radius",
                               "mouse_force"};
    for (const char* key : phys_keys)
        EXPECT_NE(read(path, "phys", key), "DEFAULT") << key;
    GraphConfig g;
    PhysConfig p;
    load_graph_config(&g, path.c_str());
    load_phys_config(&p, path.c_str());
    expect_default_graph(g);
    expect_default_phys(p);
}

struct LookupCase {
    const char* content;
    const char* section;
    const char* key;
    const char* expected; // "DEFAULT" when the key counts as absent
};

TEST_F(IniFiles, KeyLinesSplitAtFirstEqualsAndBlank) {
    const LookupCase cases[] = {
        {"[phys]\ndamp=0.5", "phys", "damp", "0.5"}, // last line without a line end
        {"[phys]\ncount = 5000\n", "phys", "count", "5000"},
        {"[phys]\ncount=   5000  \n", "phys", "count", "5000  "}, // trailing blanks kept
        {"[phys]\n   count=5000\n", "phys", "count", "DEFAULT"},
        {"[phys]\ncount=\n", "phys", "count", "DEFAULT"},
        {"[phys]\ncount= \n", "phys", "count", ""},
        {"[phys]\ncount\n", "phys", "count", "DEFAULT"},
        {"[phys]\ncount=\ncount=7\n", "phys", "count", "7"}, // an absent line does not stop it
        {"[phys]\ncount 2=5000\n", "phys", "count", "5000"},
        {"[phys]\ngravity=-9.8 ; downwards\n", "phys", "gravity", "-9.8 ; downwards"},
        {"[phys]\ncount=a=b;c\n", "phys", "count", "a=b;c"},
        {"[phys]\n\tcount=5\ncount\t=6\n", "phys", "count", "DEFAULT"}, // a tab is no blank
        {"[phys]\n;count=5\n#count=6\n", "phys", "count", "DEFAULT"},
        {"[phys]\n=5\n", "phys", "", "5"},
        {"[phys]\nCount=5\n", "phys", "count", "DEFAULT"},
    };
    for (const LookupCase& c : cases)
        EXPECT_EQ(read(write(c.content), c.section, c.key), c.expected) << c.content;
}

TEST_F(IniFiles, SectionsMatchExactlyAndMayRepeat) {
    const LookupCase cases[] = {
        {"[Phys]\ncount=5\n", "phys", "count", "DEFAULT"},
        {"  [phys]\ncount=5\n", "phys", "count", "DEFAULT"},
        {"[ phys ]\ncount=5\n", "phys", "count", "DEFAULT"},
        {"[ phys ]\ncount=5\n", " phys ", "count", "5"},
        {"[phys] anything ] here\ncount=5\n", "phys", "count", "5"},
        {"[phys\ncount=5\n", "phys", "count", "5"}, // no "]": the name runs to the line end
        {"count=5\n[phys]\n", "phys", "count", "DEFAULT"},
        {"[phys]\n[graph]\ncount=5\n", "phys", "count", "DEFAULT"},
        {"[phys]\ncount=5\n[graph]\ncount=6\n", "graph", "count", "6"},
        {"[phys]\ncount=5\n[graph]\n[phys]\ncount=6\n", "phys", "count", "5"},
        {"[phys]\ncount=\n[graph]\ncount=1\n[phys]\ncount=9\n", "phys", "count", "9"},
    };
    for (const LookupCase& c : cases)
        EXPECT_EQ(read(write(c.content), c.section, c.key), c.expected) << c.content;
}

TEST_F(IniFiles, LineEndsOfEveryKind) {
    const std::string nul_line = std::string("[phys]\ncou\0nt=5\ncount=6\n", 23);
    const LookupCase cases[] = {
        {"[phys]\r\nmass=1\r\ncount=5\r\n", "phys", "count", "5"},
        {"[phys]\rmass=1\rcount=5\r", "phys", "count", "5"},
        {"[phys]\rmass=1\r\n\ncount=5", "phys", "count", "5"},
        {"[graph]\r[phys]\ncount=5\r\n", "phys", "count", "5"},
        {nul_line.c_str(), "phys", "count", "DEFAULT"}, // c_str stops at the NUL byte
    };
    for (const LookupCase& c : cases)
        EXPECT_EQ(read(write(c.content), c.section, c.key), c.expected) << c.content;
    // The NUL ends the line's text, so "cou" is a line without "=" and the next line is read.
    EXPECT_EQ(read(write(nul_line), "phys", "count"), "6");
}

TEST_F(IniFiles, LongLinesKeepTheirFirst255Characters) {
    const std::string x(10000, 'x');
    // The rest of a long line is dropped, never read as a line of its own.
    EXPECT_EQ(read(write("[phys]\n" + x + "\ncount=5\n"), "phys", "count"), "5");
    EXPECT_EQ(read(write("[phys]\n" + std::string(255, 'x') + "count=7\n"), "phys", "count"),
              "DEFAULT");
    EXPECT_EQ(read(write("[phys]\n;" + x + "\r\ncount=8"), "phys", "count"), "8");
    // A value is cut where the line is: 6 characters of key and "=", then 249 of value.
    const std::string digits(300, '1');
    const std::string value = read(write("[phys]\ncount=" + digits + "\n"), "phys", "count");
    EXPECT_EQ(value, digits.substr(0, 249));
    EXPECT_EQ(ini_to_int(value.c_str()), INT32_MAX);
    // A long header keeps the start of its name: no match, and no overflow.
    EXPECT_EQ(read(write("[phys" + x + "]\ncount=5\n"), "phys", "count"), "DEFAULT");
    EXPECT_EQ(read(write("[" + x + "]\ncount=5\n"), std::string(254, 'x').c_str(), "count"), "5");
    // A default text longer than the buffer is cut, not copied past it.
    char out[ini_text_size];
    ini_read_value(out, (dir_ + "/absent.ini").c_str(), "phys", "count", x.c_str());
    EXPECT_EQ(std::strlen(out), 255u);
}

TEST_F(IniFiles, RandomBytesDoNotDisturbLaterSections) {
    std::mt19937 gen(20240611);
    std::string noise(200000, '\0');
    for (char& c : noise)
        c = static_cast<char>(gen() & 0xff);
    // Any line of the noise may look like anything but a header of the two sections.
    const std::string path = write(noise + "\n[phys]\ncount=123\n[graph]\nwindow_size=640\n");
    GraphConfig g;
    PhysConfig p;
    load_graph_config(&g, path.c_str());
    load_phys_config(&p, path.c_str());
    EXPECT_EQ(p.count, 123);
    EXPECT_EQ(g.window_size, 640);
    GraphConfig no_file;
    load_graph_config_text(&no_file, "", nullptr);
    EXPECT_EQ(p.mass, default_phys_config().mass);
    EXPECT_EQ(g.render_type, no_file.render_type);
}

TEST(IniText, SplitMovesTheTextBeforeTheFirstSeparator) {
    struct Case {
        const char* text;
        char separator;
        const char* second;
        const char* rest;
    };
    const Case cases[] = {
        {"key=value", '=', "key", "value"},
        {"a=b=c", '=', "a", "b=c"},
        {"novalue", '=', "novalue", ""},
        {"=x", '=', "", "x"},
        {"x=", '=', "x", ""},
        {"", '=', "", ""},
        {"  two", ' ', "", " two"},
    };
    for (const Case& c : cases) {
        char text[ini_text_size];
        char second[ini_text_size] = "junk";
        std::strcpy(text, c.text);
        ini_split(text, second, c.separator);
        EXPECT_STREQ(second, c.second) << c.text;
        EXPECT_STREQ(text, c.rest) << c.text;
    }
}

TEST(IniText, ParsePairCutsKeyAndLeadingBlanks) {
    struct Case {
        const char* line;
        int result;
        const char* key;
        const char* value;
    };
    const Case cases[] = {
        {"count = 5000", 1, "count", "5000"},
        {"count", 0, "", ""},
        {"count=", 0, "", ""},
        {"count= ", 1, "count", ""},
        {" count=5", 1, "", "5"},
        {"a b c=  x y ", 1, "a", "x y "},
        {"=5", 1, "", "5"},
        {"k==v", 1, "k", "=v"},
        {"", 0, "", ""},
    };
    for (const Case& c : cases) {
        char line[ini_text_size];
        char value[ini_text_size] = "junk";
        char key[ini_text_size] = "junk";
        std::strcpy(line, c.line);
        EXPECT_EQ(ini_parse_pair(line, value, key), c.result) << c.line;
        EXPECT_STREQ(key, c.key) << c.line;
        EXPECT_STREQ(value, c.value) << c.line;
        EXPECT_STREQ(line, "") << c.line;
    }
}

TEST(IniNumbers, IntegersReadLikeAtoiAndSaturate) {
    struct Case {
        const char* text;
        int32_t value;
    };
    const Case cases[] = {
        {"5000", 5000},
        {"  -12abc", -12},
        {"+7", 7},
        {"\t\n 42", 42},
        {"abc", 0},
        {"", 0},
        {"3.9", 3},
        {"0x10", 0},
        {"- 5", 0},
        {"2147483647", INT32_MAX},
        {"2147483648", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN},
        {"99999999999999999999999", INT32_MAX},
        {"-99999999999999999999999", INT32_MIN},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ini_to_int(c.text), c.value) << c.text;
}

TEST(IniNumbers, FloatsReadLikeAtofRoundedToFloat) {
    struct Case {
        const char* text;
        float value;
    };
    const Case cases[] = {
        {"3,5", 3.0f},
        {"0.01", 0.01f},
        {"  1e3x", 1000.0f},
        {"-9.8 ; down", -9.8f},
        {".5", 0.5f},
        {"5.", 5.0f},
        {"abc", 0.0f},
        {"", 0.0f},
        {"0x1p-2", 0.25f},
        {"1e-50", 0.0f},
        {"3.4028235e38", FLT_MAX},
        {"3.40282356e38", FLT_MAX}, // below the halfway point to 2^128
        {"3.40282357e38", HUGE_VALF},
        {"1e39", HUGE_VALF},
        {"-1e39", -HUGE_VALF},
        {"inf", HUGE_VALF},
        {"-infinity", -HUGE_VALF},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ini_to_float(c.text), c.value) << c.text;
    EXPECT_TRUE(std::isnan(ini_to_float("nan")));
    // The same values must come out whatever rounding a plain float conversion would apply.
    EXPECT_EQ(ini_to_float("0.1"), static_cast<float>(0.1));
    EXPECT_EQ(ini_to_float("-0.0015"), -0.0015f);
}

// Switches LC_ALL to a locale whose decimal separator is ",", if one can be had: an installed one,
// or else one compiled into `dir` with localedef. Returns false when neither works.
bool use_comma_locale(const std::string& dir) {
    const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8",
                           "nl_NL.UTF-8", "de_DE",      "fr_FR"};
    for (const char* name : names)
        if (std::setlocale(LC_ALL, name) && std::strcmp(localeconv()->decimal_point, ",") == 0)
            return true;
    const std::string command =
        "localedef -i de_DE -f UTF-8 '" + dir + "/de_DE.UTF-8' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return false;
    setenv("LOCPATH", dir.c_str(), 1);
    const bool ok = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr &&
                    std::strcmp(localeconv()->decimal_point, ",") == 0;
    unsetenv("LOCPATH");
    return ok;
}

void remove_tree(const std::string& dir) {
    const std::string command = "rm -rf '" + dir + "/de_DE.UTF-8'";
    EXPECT_EQ(std::system(command.c_str()), 0);
}

TEST_F(IniFiles, DecimalPointIsAlwaysThePoint) {
    const bool comma = use_comma_locale(dir_);
    if (!comma) {
        std::setlocale(LC_ALL, "C");
        remove_tree(dir_);
        GTEST_SKIP() << "no locale with a decimal comma is available";
    }
    const double library_reads = std::strtod("0,5", nullptr);
    const float point = ini_to_float("0.02");
    const float comma_text = ini_to_float("0,02");
    PhysConfig p;
    load_phys_config(&p, write("[phys]\nsmooth_radius=0.02\nmass=3,5\n").c_str());
    std::setlocale(LC_ALL, "C");
    remove_tree(dir_);
    ASSERT_EQ(library_reads, 0.5) << "the C library should read a decimal comma here";
    EXPECT_EQ(point, 0.02f);
    EXPECT_EQ(comma_text, 0.0f);
    EXPECT_EQ(p.smooth_radius, 0.02f);
    EXPECT_EQ(p.mass, 3.0f);
    EXPECT_EQ(p.damp, default_phys_config().damp) << "a default's text is read with a point too";
}

} // namespace
