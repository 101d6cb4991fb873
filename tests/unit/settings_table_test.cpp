// The settings table is the one place a setting is written down: the file shipped beside the
// program and the README must say what it says, and every setting in it must be read, checked
// and used.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "base/types.h"
#include "config/config.h"
#include "config/fixups.h"
#include "sph/physics_step.h"
#include "sph/settings_check.h"
#include "sph/sim_state.h"
#include "sph/steps.h"

namespace {

std::string source_file(const char* name) {
    std::ifstream in(std::string(TARNWELL_SOURCE_DIR) + "/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

template <typename T> T field(const void* record, const SettingInfo& s) {
    T value;
    std::memcpy(&value, static_cast<const char*>(record) + s.offset, sizeof value);
    return value;
}

// Whether two records hold the same value of setting `s`.
bool same_field(const void* a, const void* b, const SettingInfo& s) {
    switch (s.type) {
    case SettingType::whole:
        return field<int32_t>(a, s) == field<int32_t>(b, s);
    case SettingType::number:
        return field<float>(a, s) == field<float>(b, s);
    case SettingType::text:
        return std::strcmp(field<SettingText>(a, s).text, field<SettingText>(b, s).text) == 0;
    }
    return false;
}

// A value other than the default, as text: one more for whole numbers, four fifths for numbers,
// the default's text with more after it for texts.
std::string other_value(const SettingInfo& s) {
    if (s.type == SettingType::text) return std::string(s.default_text) + "_other";
    if (s.type == SettingType::whole) return std::to_string(std::atoi(s.default_text) + 1);
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", std::strtod(s.default_text, nullptr) * 0.8);
    return text;
}

struct Loaded {
    GraphConfig graph;
    PhysConfig phys;
};

Loaded load(const std::string& text) {
    Loaded l;
    load_graph_config_text(&l.graph, text, nullptr);
    load_phys_config_text(&l.phys, text, nullptr);
    return l;
}

const void* record_of(const Loaded& l, const SettingInfo& s) {
    return std::strcmp(s.section, "graph") == 0 ? static_cast<const void*>(&l.graph)
                                                : static_cast<const void*>(&l.phys);
}

// FNV-1a over what the fluid and the bodies are after a short stirred run.
uint64_t run_hash(const Loaded& settings) {
    GraphConfig graph = settings.graph;
    PhysConfig phys = settings.phys;
    apply_fixups(graph, phys);
    if (!sim_init_seeded(graph.point_colors, phys, graph.point_diffusion, 99u)) return 0;
    StepProfile profile{};
    for (int step = 0; step < 40; ++step) {
        physics_step(&profile);
        apply_mouse_force(0.4f, 0.2f, step < 20 ? 1.0f : -1.0f);
    }
    uint64_t hash = 14695981039346656037ull;
    auto add = [&hash](const void* data, size_t bytes) {
        for (size_t i = 0; i < bytes; ++i) {
            hash ^= static_cast<const unsigned char*>(data)[i];
            hash *= 1099511628211ull;
        }
    };
    const size_t n = static_cast<size_t>(sim.count);
    add(sim.position, n * sizeof(Vec2));
    add(sim.velocity, n * sizeof(Vec2));
    if (sim.color != nullptr) add(sim.color, n * sizeof(Color3));
    add(sim.bodies, static_cast<size_t>(sim.geom_count) * sizeof(RigidBody));
    sim_free();
    return hash;
}

} // namespace

TEST(SettingsTable, ShippedFileAndReadmeSayWhatTheTableSays) {
    EXPECT_EQ(source_file("data/config.ini"), default_settings_text())
        << "data/config.ini differs from the settings table; write it anew with "
           "build/release/tarnwell-sim --print-settings > data/config.ini";

    // The README's tables are the table's own words, between the marker lines the tool writes
    // between.
    const std::string readme = source_file("README.md");
    const std::string begin =
        "<!-- settings: written by tools/readme_settings.sh from config/settings_table.h -->\n\n";
    const std::size_t from = readme.find(begin);
    const std::size_t to = readme.find("\n<!-- end of settings -->\n", from);
    ASSERT_NE(from, std::string::npos) << "README.md lacks the settings tables' first marker";
    ASSERT_NE(to, std::string::npos) << "README.md lacks the settings tables' last marker";
    EXPECT_EQ(readme.substr(from + begin.size(), to - from - begin.size()), settings_markdown())
        << "README.md's settings tables differ from the settings table; write them anew with "
           "tools/readme_settings.sh";

    // Each setting has its row, once, with its default: what a reader looks up.
    const std::string tables = settings_markdown();
    for (int i = 0; i < setting_count; ++i) {
        const SettingInfo& s = setting_infos[i];
        const std::string row = std::string("\n| `") + s.key + "` | " + s.default_text + " | ";
        const std::size_t at = tables.find(row);
        EXPECT_NE(at, std::string::npos) << s.key;
        EXPECT_EQ(tables.find(row, at + 1), std::string::npos) << s.key << " has two rows";
    }
    // A '|' in a description stays inside its cell.
    std::istringstream lines(tables);
    for (std::string text; std::getline(lines, text);) {
        if (text.rfind("| `", 0) != 0) continue;
        int cells = 0;
        for (std::size_t c = 0; c < text.size(); ++c)
            if (text[c] == '|' && (c == 0 || text[c - 1] != '\\')) ++cells;
        EXPECT_EQ(cells, 4) << text;
    }
}

TEST(SettingsTable, EverySettingIsReadCheckedAndUsed) {
    const Loaded defaults = load("");
    // A small fluid, so that the runs below are quick; the changes are made over it.
    const std::string base = "[graph]\n[phys]\ncount=1500\n";
    const uint64_t base_hash = run_hash(load(base));
    for (int i = 0; i < setting_count; ++i) {
        const SettingInfo& s = setting_infos[i];
        SCOPED_TRACE(s.key);
        // Read: a line in its section changes its field, and only its field.
        const std::string line = std::string(s.key) + "=" + other_value(s);
        const std::string section = std::string("[") + s.section + "]\n";
        std::string text = base;
        text.insert(text.find(section) + section.size(), line + "\n");
        const Loaded changed = load(text);
        const Loaded alone = load(section + line + "\n");
        int differing = 0;
        for (int j = 0; j < setting_count; ++j) {
            const SettingInfo& o = setting_infos[j];
            if (!same_field(record_of(alone, o), record_of(defaults, o), o)) {
                ++differing;
                EXPECT_EQ(j, i) << o.key << " changed too";
            }
        }
        EXPECT_EQ(differing, 1);

        // Checked: a value beyond the check is refused, by this key's name.
        std::string bad;
        if (s.check == SettingCheck::range) bad = std::to_string(s.hi + 1);
        if (s.check == SettingCheck::positive) bad = "0";
        if (s.type == SettingType::number && bad.empty()) bad = "inf";
        if (!bad.empty()) {
            std::string refused = std::string("[graph]\n") +
                                  (s.when == SettingWhen::outline ? "render_type=1\n" : "") +
                                  "[phys]\n";
            refused.insert(refused.find(section) + section.size(),
                           std::string(s.key) + "=" + bad + "\n");
            Loaded l = load(refused);
            apply_fixups(l.graph, l.phys);
            std::FILE* err = std::tmpfile();
            EXPECT_GE(validate_settings(l.graph, l.phys, nullptr, err), 1) << refused;
            std::rewind(err);
            char first[256] = "";
            EXPECT_NE(std::fgets(first, sizeof first, err), nullptr);
            std::fclose(err);
            EXPECT_NE(std::strstr(first, (std::string("] ") + s.key + " = ").c_str()), nullptr)
                << first;
        }

        // Used: the simulation's settings change what it does; threads must not.
        const bool drawing_only = std::strcmp(s.section, "graph") == 0 &&
                                  std::strcmp(s.key, "point_colors") != 0 &&
                                  std::strcmp(s.key, "point_diffusion") != 0;
        if (drawing_only) continue;
        if (std::strcmp(s.key, "threads") == 0)
            EXPECT_EQ(run_hash(changed), base_hash) << "another thread count changed the bits";
        else if (std::strncmp(s.key, "water_", 6) == 0) // water's own: under solver 1
            EXPECT_NE(run_hash(load(text + "solver=1\n")), run_hash(load(base + "solver=1\n")))
                << line << " changed nothing in water";
        else
            EXPECT_NE(run_hash(changed), base_hash) << line << " changed nothing";
    }
}
