#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "config/config.h"
#include "config/fixups.h"
#include "sph/settings_check.h"
#include "sph/sim_state.h"
#include "surface/surface.h"

namespace {

struct Outcome {
    int refused;
    std::string text;
};

struct Settings {
    GraphConfig graph;
    PhysConfig phys;
    WrittenSettings written;
};

Outcome validate(const Settings& s, const WrittenSettings* written) {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* err = open_memstream(&buffer, &size);
    Outcome o{validate_settings(s.graph, s.phys, written, err), std::string()};
    std::fclose(err);
    o.text.assign(buffer, size);
    std::free(buffer);
    return o;
}

Outcome validate(const Settings& s) {
    return validate(s, &s.written);
}

// Settings as the program has them after reading the file at `path` and the start-up fix-ups.
Settings settings_from(const char* path) {
    Settings s;
    std::string text;
    ini_load(path, &text);
    s.written.count = 0;
    load_graph_config_text(&s.graph, text, &s.written);
    load_phys_config_text(&s.phys, text, &s.written);
    apply_fixups(s.graph, s.phys);
    return s;
}

// The same for `text` (key lines of both sections).
Settings settings(const std::string& graph_lines, const std::string& phys_lines) {
    const char* tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/tarnwell-validate-XXXXXX";
    const int fd = mkstemp(&path[0]);
    EXPECT_GE(fd, 0);
    const std::string text = "[graph]\n" + graph_lines + "\n[phys]\n" + phys_lines + "\n";
    EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
    const Settings s = settings_from(path.c_str());
    std::remove(path.c_str());
    return s;
}

// Whether initialisation and, in outline mode, the lattice take the settings.
bool can_build(const Settings& s) {
    const bool simulation =
        sim_init_seeded(s.graph.point_colors, s.phys, s.graph.point_diffusion, 1u);
    const bool lattice = s.graph.render_type != 1 ||
                         create_surface_grid(s.graph.surf_radius, s.graph.surf_resolution,
                                             s.phys.field_size, sim.position, sim.count);
    release_surface_grid();
    sim_free();
    return simulation && lattice;
}

struct Case {
    const char* graph;
    const char* phys;
    const char* line_start; // "[section] key = value as read (what the file says)", if refused
};

TEST(Validate, DefaultsAndOddButWorkableSettingsPass) {
    const Case cases[] = {
        {"", "", ""},              // the defaults
        {"render_type=1", "", ""}, // outline mode
        {"render_type=2", "", ""}, // sprites
        {"render_type=3", "", ""}, // draws nothing
        {"window_size=16\npoint_colors=7", "count=0", ""},
        {"window_size=16384\nrealtime=1", "count=65536", ""},
        {"", "stiff=0\nviscosity=0", ""},              // no pressure, no viscosity
        {"surf_resolution=0\nsurf_radius=-1", "", ""}, // lattice unused outside outline mode
        {"", "geom_count=0\ngeom_vertex_count_min=0\ngeom_mass_min=0", ""},
        {"render_type=1", "geom_count=-5\ngeom_w_min=0", ""}, // the fix-up removes the bodies
        {"", "geom_count=256\ngeom_vertex_count_min=3\ngeom_vertex_count_max=3", ""},
        {"", "geom_vertex_count_min=32\ngeom_vertex_count_max=32", ""},
        {"", "smooth_radius=1\nfield_size=1022", ""}, // exactly 1024 cells per row
        {"render_type=1\nsurf_resolution=1021", "", ""},
        {"render_type=1\nsurf_radius=31.99", "", ""}, // the lattice scale stays positive
        {"point_colors=0\npoint_diffusion=1e37", "", ""},
        {"", "threads=0", ""},   // one per core
        {"", "threads=256", ""}, // more than the cores is allowed
    };
    for (const Case& c : cases) {
        Settings s = settings(c.graph, c.phys);
        Outcome o = validate(s);
        EXPECT_EQ(o.refused, 0) << c.graph << " | " << c.phys << "\n" << o.text;
        EXPECT_EQ(o.text, "");
    }
}

TEST(Validate, EachRefusedKeyGivesOneLineWithKeyAndValue) {
    const Case cases[] = {
        {"", "count=70000", "[phys] count = 70000"},
        {"", "count=-1", "[phys] count = -1"},
        {"window_size=0", "", "[graph] window_size = 0"},
        {"window_size=15", "", "[graph] window_size = 15"}, // never shown, never drawn
        {"window_size=16385", "", "[graph] window_size = 16385"},
        {"realtime=2", "", "[graph] realtime = 2"},
        {"realtime=-1", "", "[graph] realtime = -1"},
        {"point_size=nan", "", "[graph] point_size = nan"},
        {"surf_size=1e39", "", "[graph] surf_size = inf"},
        {"", "timestep=nan", "[phys] timestep = nan"},
        {"", "gravity=-inf", "[phys] gravity = -inf"},
        {"", "geom_stiff=inf", "[phys] geom_stiff = inf"},
        {"", "smooth_radius=0", "[phys] smooth_radius = 0"},
        {"", "smooth_radius=-0.01", "[phys] smooth_radius = -0.01"},
        {"", "smooth_radius=nan", "[phys] smooth_radius = nan"},
        {"", "field_size=0.01", "[phys] field_size = 0.01"},
        {"", "field_size=inf", "[phys] field_size = inf"},
        {"", "mass=0", "[phys] mass = 0"},
        {"", "mass=-1", "[phys] mass = -1"},
        // Grids: 8002 cells per row, and one past the largest accepted.
        {"", "smooth_radius=0.0001", "[phys] smooth_radius = 0.0001"},
        {"", "smooth_radius=1\nfield_size=1023", "[phys] smooth_radius = 1"},
        // Kernel coefficients: h^9 underflowing to 0 and overflowing, numerators overflowing, and
        // a non-zero stiffness that vanishes in the product. Far enough out that arithmetic
        // wider than float (x87) loses them too.
        {"", "smooth_radius=1e-6\nfield_size=5e-6", "[phys] smooth_radius = 1e-06"},
        {"", "smooth_radius=1e6\nfield_size=2e6", "[phys] smooth_radius = 1000000"},
        {"", "mass=1e38", "[phys] mass = 1e+38"},
        {"", "stiff=1e38", "[phys] stiff = 1e+38"},
        {"", "viscosity=1e30", "[phys] viscosity = 1e+30"},
        {"", "mass=1e-30\nstiff=1e-30", "[phys] stiff = 1e-30"},
        {"point_diffusion=1e37", "", "[graph] point_diffusion = 1e+37"},
        {"", "mouse_radius=1e30", "[phys] mouse_radius = 1e+30"},
        // Bodies.
        {"", "geom_count=257", "[phys] geom_count = 257"},
        {"", "geom_count=-1", "[phys] geom_count = -1"},
        {"", "geom_vertex_count_min=2", "[phys] geom_vertex_count_min = 2"},
        {"", "geom_vertex_count_min=33", "[phys] geom_vertex_count_min = 33"},
        {"", "geom_vertex_count_max=33", "[phys] geom_vertex_count_max = 33"},
        {"", "geom_vertex_count_min=8\ngeom_vertex_count_max=6",
         "[phys] geom_vertex_count_max = 6"},
        {"", "geom_w_min=0", "[phys] geom_w_min = 0"},
        {"", "geom_w_max=-1", "[phys] geom_w_max = -1"},
        {"", "geom_h_min=0", "[phys] geom_h_min = 0"},
        {"", "geom_h_max=-2", "[phys] geom_h_max = -2"},
        {"", "geom_mass_min=0", "[phys] geom_mass_min = 0"},
        {"", "geom_mass_max=-0.00001", "[phys] geom_mass_max = -1e-05"},
        {"", "geom_m_inert_min=0", "[phys] geom_m_inert_min = 0"},
        {"", "geom_m_inert_max=0", "[phys] geom_m_inert_max = 0"},
        // Threads.
        {"", "threads=-1", "[phys] threads = -1"},
        {"", "threads=257", "[phys] threads = 257"},
        {"", "threads=99999999999", "[phys] threads = 2147483647"},
        // The outline lattice.
        {"render_type=1\nsurf_resolution=0", "", "[graph] surf_resolution = 0"},
        {"render_type=1\nsurf_resolution=1022", "", "[graph] surf_resolution = 1022"},
        {"render_type=1\nsurf_radius=0", "", "[graph] surf_radius = 0"},
        {"render_type=1\nsurf_radius=32", "", "[graph] surf_radius = 32"},
        {"render_type=1\nsurf_resolution=8", "", "[graph] surf_radius = 2"},
    };
    for (const Case& c : cases) {
        Settings s = settings(c.graph, c.phys);
        Outcome o = validate(s);
        EXPECT_EQ(o.refused, 1) << c.line_start << "\n" << o.text;
        const std::string start = std::string("error: ") + c.line_start + " (";
        EXPECT_EQ(o.text.compare(0, start.size(), start), 0) << o.text;
        EXPECT_NE(o.text.find(") is not accepted: "), std::string::npos) << o.text;
        EXPECT_EQ(o.text.find('\n'), o.text.size() - 1) << o.text;
    }
}

TEST(Validate, MessagesSayWhatIsAcceptedAndName) {
    Settings s = settings("", "count=70000");
    EXPECT_EQ(validate(s).text,
              "error: [phys] count = 70000 (the file says \"70000\") is not accepted: use a whole "
              "number from 0 to 65536 (particle indices are 16-bit)\n");
    s = settings("", "threads=-2");
    EXPECT_EQ(validate(s).text,
              "error: [phys] threads = -2 (the file says \"-2\") is not accepted: use a whole "
              "number from 0 to 256 (0 is one thread per core, 1 a single thread)\n");
    s = settings("", "smooth_radius=0.0001");
    const std::string grid = validate(s).text;
    EXPECT_NE(grid.find("field_size = 0.8"), std::string::npos) << grid;
    EXPECT_NE(grid.find("8002"), std::string::npos) << grid;
    s = settings("", "field_size=0.005");
    const std::string box = validate(s).text;
    EXPECT_NE(box.find("above smooth_radius = 0.01"), std::string::npos) << box;
}

TEST(Validate, RefusalsQuoteTheTextThatGaveTheValue) {
    const struct {
        const char* phys;
        const char* fragment;
    } cases[] = {
        // Numbers the conversion could not keep: the line shows both.
        {"count=99999999999", "[phys] count = 2147483647 (the file says \"99999999999\") is not"},
        {"timestep=1e99", "[phys] timestep = inf (the file says \"1e99\") is not"},
        // The text the reader took: blanks after "=" dropped, the rest kept, the first line wins.
        {"count =  70000 ;big\ncount=5", "count = 70000 (the file says \"70000 ;big\") is not"},
        // A default refused for another key's sake is not in the file, and says so.
        {"geom_vertex_count_min=12",
         "geom_vertex_count_max = 10 (the default: the file does not set it) is not"},
    };
    for (const auto& c : cases) {
        const std::string text = validate(settings("", c.phys)).text;
        EXPECT_NE(text.find(c.fragment), std::string::npos) << text;
    }

    // A 300-digit value, cut by the reader to the 249 characters left on its line, and a
    // value with terminal escape bytes: shortened, and shown without a raw control byte.
    Settings s = settings("", "count=1" + std::string(299, '0') + "\nmass=\x1b[2J\x7f");
    const std::string text = validate(s).text;
    EXPECT_NE(text.find("count = 2147483647 (the file says \"1" + std::string(39, '0') +
                        "...\", 249 characters long) is not"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("mass = 0 (the file says \"\\x1b[2J\\x7f\")"), std::string::npos) << text;
    EXPECT_EQ(text.find('\x1b'), std::string::npos);

    // A value changed after reading came from no text: shown alone, as without any texts.
    s = settings("", "threads=2");
    s.phys.threads = 999;
    EXPECT_EQ(validate(s).text.find("error: [phys] threads = 999 is not accepted: "), 0u)
        << validate(s).text;
    s = settings("", "threads=999");
    EXPECT_EQ(validate(s, nullptr).text.find("error: [phys] threads = 999 is not accepted: "), 0u);
}

TEST(Validate, SeveralBadKeysGiveOneLineEachInFileOrder) {
    Settings s =
        settings("window_size=0\npoint_size=-inf", "count=70000\ntimestep=nan\ngeom_m_inert_max=0");
    Outcome o = validate(s);
    EXPECT_EQ(o.refused, 5);
    const char* keys[] = {"[graph] window_size = 0", "[graph] point_size = -inf",
                          "[phys] count = 70000", "[phys] timestep = nan",
                          "[phys] geom_m_inert_max = 0"};
    std::size_t from = 0;
    for (const char* key : keys) {
        const std::size_t at = o.text.find(std::string("error: ") + key + " (the file says", from);
        ASSERT_NE(at, std::string::npos) << key << "\n" << o.text;
        from = o.text.find('\n', at);
        ASSERT_NE(from, std::string::npos);
    }
    EXPECT_EQ(from, o.text.size() - 1) << "nothing after the last line";
}

TEST(Validate, AcceptsExactlyWhatInitialisationCanBuild) {
    // Each limit at its edge and one step beyond: accepted exactly when it can be built.
    struct Edge {
        const char* graph;
        const char* phys;
        bool inside;
    };
    const Edge edges[] = {
        {"", "count=65536", true},
        {"", "count=65537", false},
        {"", "count=0", true},
        {"", "count=-1", false},
        {"", "smooth_radius=1\nfield_size=1022", true}, // 1024 cells per row
        {"", "smooth_radius=1\nfield_size=1023", false},
        {"", "smooth_radius=0.0001", false},
        {"", "smooth_radius=0", false},
        {"", "smooth_radius=nan", false},
        {"", "field_size=inf", false},
        {"", "geom_count=-1", false},
        {"render_type=1", "geom_count=-1", true}, // the fix-up removes the bodies
        {"render_type=1\nsurf_resolution=1021", "", true},
        {"render_type=1\nsurf_resolution=1022", "", false},
        {"render_type=1\nsurf_resolution=1\nsurf_radius=0.2", "", true},
        {"render_type=1\nsurf_resolution=0\nsurf_radius=0.2", "", false},
    };
    for (const Edge& c : edges) {
        const Settings s = settings(c.graph, c.phys);
        EXPECT_EQ(validate(s).refused == 0, c.inside) << c.graph << " | " << c.phys;
        EXPECT_EQ(can_build(s), c.inside) << c.graph << " | " << c.phys;
    }

    // The fuzzer's seed files and the shipped config.ini: whatever is accepted is built.
    std::vector<std::string> files = {TARNWELL_SOURCE_DIR "/data/config.ini"};
    const std::string corpus = TARNWELL_SOURCE_DIR "/tests/fuzz/corpus/";
    if (DIR* dir = opendir(corpus.c_str())) {
        while (const dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') files.push_back(corpus + entry->d_name);
        closedir(dir);
    }
    ASSERT_GT(files.size(), 1u) << "no seed files in " << corpus;
    int built = 0;
    for (const std::string& file : files) {
        const Settings s = settings_from(file.c_str());
        if (validate(s).refused != 0) continue;
        EXPECT_TRUE(can_build(s)) << file;
        ++built;
    }
    EXPECT_GT(built, 1) << "the seeds hardly reach initialisation";
}

} // namespace
