#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "config/config.h"

namespace {

// Warnings ini_warn writes for `text`, as one string.
std::string warnings_for(const std::string& text) {
    char* buffer = nullptr;
    size_t size = 0;
    std::FILE* err = open_memstream(&buffer, &size);
    ini_warn(text, "s.ini", err);
    std::fclose(err);
    std::string out(buffer, size);
    std::free(buffer);
    return out;
}

} // namespace

TEST(SettingsFile, EachHostileLineIsNamedWithFileAndLineAndStillReadAsBefore) {
    struct Case {
        const char* text;
        const char* warning; // expected part of the one warning, "" for none
        const char* key;     // what the loader reads from the same text...
        const char* value;   // ...unchanged by the warning
    } cases[] = {
        {"[phys]\ncount=5000 ; fewer\n", "", "count", "5000 ; fewer"},
        {"[phys]\ngravity=-9.8 ; down\n", "", "gravity", "-9.8 ; down"},
        {"[phys]\ntimestep=1.5e-3\n", "", "timestep", "1.5e-3"},
        {"[phys]\ncount=\n", "", "count", "10000"},
        {"[phys]\ncount=abc\n", "s.ini:2: 'count=abc': not a whole number", "count", "abc"},
        {"[phys]\ncount= \n", "s.ini:2: 'count= ': not a whole number", "count", ""},
        {"[phys]\ncount=1e3\n", "s.ini:2: 'count=1e3': not a whole number", "count", "1e3"},
        {"[phys]\r\ntimestep=0,0015\r\n", "s.ini:2: 'timestep=0,0015': not a number", "timestep",
         "0,0015"},
        {"[Phys]\ncount=5\n", "s.ini:1: '[Phys]': no such section", "count", "10000"},
        {"; c\n\n[ phys ]\ncount=5\n", "s.ini:3: '[ phys ]': no such section", "count", "10000"},
        {"count=5\n[phys]\n", "s.ini:1: 'count=5': before any [section]", "count", "10000"},
        {"[phys]\nwindow_size=5\n", "s.ini:2: 'window_size=5': window_size belongs in [graph]",
         "count", "10000"},
        {"[phys]\ncuont=5\n", "s.ini:2: 'cuont=5': no such key", "count", "10000"},
        // A file cannot drive the terminal through a warning: controls are shown as codes.
        {"[phys]\ncount\x1b[2J=5\n", "s.ini:2: 'count\\x1b[2J=5': no such key", "count", "10000"},
        {"[phys]\ncount 5000\n", "s.ini:2: 'count 5000': neither a [section]", "count", "10000"},
    };
    for (const Case& c : cases) {
        const std::string said = warnings_for(c.text);
        if (c.warning[0] == '\0') {
            EXPECT_EQ(said, "") << c.text;
        } else {
            EXPECT_NE(said.find(std::string("warning: ") + c.warning), std::string::npos)
                << c.text << "\nsaid: " << said;
            EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        }
        char out[ini_text_size];
        ini_lookup(out, c.text, "phys", c.key, "10000");
        EXPECT_STREQ(out, c.value) << c.text;
    }
    std::ifstream shipped(TARNWELL_SOURCE_DIR "/data/config.ini");
    const std::string data((std::istreambuf_iterator<char>(shipped)),
                           std::istreambuf_iterator<char>());
    ASSERT_FALSE(data.empty());
    EXPECT_EQ(warnings_for(data), "") << "the shipped file has no mistakes";
}

TEST(SettingsFile, OnlyRegularFilesOfBoundedSizeAreRead) {
    char dir_template[] = "/tmp/tarnwell-settings-XXXXXX";
    ASSERT_NE(mkdtemp(dir_template), nullptr);
    const std::string dir = dir_template;
    std::string text = "stale";

    const std::string fifo = dir + "/fifo.ini";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ini_load(fifo.c_str(), &text).status, IniLoad::not_regular)
        << "a FIFO is not waited on";
    EXPECT_EQ(text, "");
    EXPECT_EQ(ini_load("/dev/zero", &text).status, IniLoad::not_regular);
    EXPECT_EQ(ini_load(dir.c_str(), &text).status, IniLoad::not_regular);
    const IniLoad missing = ini_load((dir + "/absent.ini").c_str(), &text);
    EXPECT_EQ(missing.status, IniLoad::missing);
    EXPECT_EQ(ini_load_reason(missing), "No such file or directory");

    const std::string big = dir + "/big.ini";
    {
        std::ofstream out(big);
        out << "[phys]\ncount=5\n" << std::string(ini_max_file_size, ';');
    }
    EXPECT_EQ(ini_load(big.c_str(), &text).status, IniLoad::too_large);
    EXPECT_EQ(text, "");

    // A byte-order mark is dropped, so the first header is a header.
    const std::string bom = dir + "/bom.ini";
    {
        std::ofstream out(bom);
        out << "\xEF\xBB\xBF[phys]\ncount=5\n";
    }
    ASSERT_EQ(ini_load(bom.c_str(), &text).status, IniLoad::ok);
    EXPECT_EQ(text, "[phys]\ncount=5\n");
    PhysConfig phys;
    load_phys_config(&phys, bom.c_str());
    EXPECT_EQ(phys.count, 5);

    for (const std::string& f : {fifo, big, bom})
        std::remove(f.c_str());
    rmdir(dir.c_str());
}
