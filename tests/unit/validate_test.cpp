#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "config/config.h"
#include "config/validate.h"

namespace {

struct Outcome {
    int refused;
    std::string text;
};

Outcome validate(const GraphConfig& g, const PhysConfig& p) {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* err = open_memstream(&buffer, &size);
    Outcome o{validate_settings(g, p, err), std::string()};
    std::fclose(err);
    o.text.assign(buffer, size);
    std::free(buffer);
    return o;
}

struct Settings {
    GraphConfig graph;
    PhysConfig phys;
};

Settings defaults() {
    Settings s;
    load_graph_config(&s.graph, "");  // no such file: every default
    load_phys_config(&s.phys, "");
    return s;
}

// Outline mode after the start-up fix-ups: no colours, no diffusion, no bodies.
void outline_mode(Settings& s) {
    s.graph.render_type = 1;
    s.graph.point_colors = 0;
    s.graph.point_diffusion = 0.0f;
    s.phys.geom_count = 0;
}

using Change = void (*)(Settings&);
const float nan_value = std::nanf("");
const float inf_value = HUGE_VALF;

TEST(Validate, DefaultsAndOddButWorkableSettingsPass) {
    const struct {
        const char* what;
        Change change;
    } cases[] = {
        {"defaults", [](Settings&) {}},
        {"outline mode", [](Settings& s) { outline_mode(s); }},
        {"sprite mode", [](Settings& s) { s.graph.render_type = 2; }},
        {"unknown mode draws nothing", [](Settings& s) { s.graph.render_type = 3; }},
        {"no particles", [](Settings& s) { s.phys.count = 0; }},
        {"most particles", [](Settings& s) { s.phys.count = 65536; }},
        {"window limits", [](Settings& s) { s.graph.window_size = 16384; }},
        {"tiny window", [](Settings& s) { s.graph.window_size = 1; }},
        {"odd colour mode", [](Settings& s) { s.graph.point_colors = 7; }},
        {"no pressure, no viscosity",
         [](Settings& s) { s.phys.stiff = 0.0f, s.phys.viscosity = 0.0f; }},
        {"lattice settings unused outside outline mode",
         [](Settings& s) { s.graph.surf_resolution = 0, s.graph.surf_radius = -1.0f; }},
        {"body settings unused without bodies",
         [](Settings& s) {
             s.phys.geom_count = 0, s.phys.geom_vertex_count_min = 0, s.phys.geom_mass_min = 0.0f;
         }},
        {"body limits",
         [](Settings& s) {
             s.phys.geom_count = 256, s.phys.geom_vertex_count_min = 3,
             s.phys.geom_vertex_count_max = 3;
         }},
        {"most corners",
         [](Settings& s) { s.phys.geom_vertex_count_min = s.phys.geom_vertex_count_max = 32; }},
        {"exactly 1024 cells per row",
         [](Settings& s) { s.phys.smooth_radius = 1.0f, s.phys.field_size = 1022.0f; }},
        {"largest lattice",
         [](Settings& s) { outline_mode(s), s.graph.surf_resolution = 1021; }},
        {"splat radius just fits",
         [](Settings& s) { outline_mode(s), s.graph.surf_radius = 31.99f; }},
        {"huge diffusion without colours",
         [](Settings& s) { s.graph.point_colors = 0, s.graph.point_diffusion = 1e37f; }},
    };
    for (const auto& c : cases) {
        Settings s = defaults();
        c.change(s);
        Outcome o = validate(s.graph, s.phys);
        EXPECT_EQ(o.refused, 0) << c.what << "\n" << o.text;
        EXPECT_EQ(o.text, "") << c.what;
    }
}

TEST(Validate, EachRefusedKeyGivesOneLineWithKeyAndValue) {
    const struct {
        const char* line_start;  // "[section] key = value as read"
        Change change;
    } cases[] = {
        {"[phys] count = 70000", [](Settings& s) { s.phys.count = 70000; }},
        {"[phys] count = -1", [](Settings& s) { s.phys.count = -1; }},
        {"[graph] window_size = 0", [](Settings& s) { s.graph.window_size = 0; }},
        {"[graph] window_size = 16385", [](Settings& s) { s.graph.window_size = 16385; }},
        {"[graph] point_size = nan", [](Settings& s) { s.graph.point_size = nan_value; }},
        {"[graph] surf_size = inf", [](Settings& s) { s.graph.surf_size = inf_value; }},
        {"[phys] timestep = nan", [](Settings& s) { s.phys.timestep = nan_value; }},
        {"[phys] gravity = -inf", [](Settings& s) { s.phys.gravity = -inf_value; }},
        {"[phys] geom_stiff = inf", [](Settings& s) { s.phys.geom_stiff = inf_value; }},
        {"[phys] smooth_radius = 0", [](Settings& s) { s.phys.smooth_radius = 0.0f; }},
        {"[phys] smooth_radius = -0.01", [](Settings& s) { s.phys.smooth_radius = -0.01f; }},
        {"[phys] smooth_radius = nan", [](Settings& s) { s.phys.smooth_radius = nan_value; }},
        {"[phys] field_size = 0.01", [](Settings& s) { s.phys.field_size = 0.01f; }},
        {"[phys] field_size = inf", [](Settings& s) { s.phys.field_size = inf_value; }},
        {"[phys] mass = 0", [](Settings& s) { s.phys.mass = 0.0f; }},
        {"[phys] mass = -1", [](Settings& s) { s.phys.mass = -1.0f; }},
        // Grids: 8002 cells per row, and one past the largest accepted.
        {"[phys] smooth_radius = 0.0001", [](Settings& s) { s.phys.smooth_radius = 1e-4f; }},
        {"[phys] smooth_radius = 1",
         [](Settings& s) { s.phys.smooth_radius = 1.0f, s.phys.field_size = 1023.0f; }},
        // Kernel coefficients: h^9 underflows to 0, h^9 overflows, the numerators overflow, and a
        // non-zero stiffness that vanishes in the product.
        {"[phys] smooth_radius = 1e-06",
         [](Settings& s) { s.phys.smooth_radius = 1e-6f, s.phys.field_size = 5e-6f; }},
        {"[phys] smooth_radius = 20000",
         [](Settings& s) { s.phys.smooth_radius = 2e4f, s.phys.field_size = 3e4f; }},
        {"[phys] mass = 1e+38", [](Settings& s) { s.phys.mass = 1e38f; }},
        {"[phys] stiff = 1e+38", [](Settings& s) { s.phys.stiff = 1e38f; }},
        {"[phys] viscosity = 1e+30", [](Settings& s) { s.phys.viscosity = 1e30f; }},
        {"[phys] stiff = 1e-45", [](Settings& s) { s.phys.stiff = 1e-45f; }},
        {"[graph] point_diffusion = 1e+37", [](Settings& s) { s.graph.point_diffusion = 1e37f; }},
        // Bodies.
        {"[phys] geom_count = 257", [](Settings& s) { s.phys.geom_count = 257; }},
        {"[phys] geom_count = -1", [](Settings& s) { s.phys.geom_count = -1; }},
        {"[phys] geom_vertex_count_min = 2",
         [](Settings& s) { s.phys.geom_vertex_count_min = 2; }},
        {"[phys] geom_vertex_count_min = 33",
         [](Settings& s) { s.phys.geom_vertex_count_min = 33; }},
        {"[phys] geom_vertex_count_max = 33",
         [](Settings& s) { s.phys.geom_vertex_count_max = 33; }},
        {"[phys] geom_vertex_count_max = 6", [](Settings& s) {
             s.phys.geom_vertex_count_min = 8, s.phys.geom_vertex_count_max = 6;
         }},
        {"[phys] geom_w_min = 0", [](Settings& s) { s.phys.geom_w_min = 0.0f; }},
        {"[phys] geom_w_max = -1", [](Settings& s) { s.phys.geom_w_max = -1.0f; }},
        {"[phys] geom_h_min = 0", [](Settings& s) { s.phys.geom_h_min = 0.0f; }},
        {"[phys] geom_h_max = -2", [](Settings& s) { s.phys.geom_h_max = -2.0f; }},
        {"[phys] geom_mass_min = 0", [](Settings& s) { s.phys.geom_mass_min = 0.0f; }},
        {"[phys] geom_mass_max = -1e-05", [](Settings& s) { s.phys.geom_mass_max = -1e-5f; }},
        {"[phys] geom_m_inert_min = 0", [](Settings& s) { s.phys.geom_m_inert_min = 0.0f; }},
        {"[phys] geom_m_inert_max = 0", [](Settings& s) { s.phys.geom_m_inert_max = 0.0f; }},
        // The outline lattice.
        {"[graph] surf_resolution = 0",
         [](Settings& s) { outline_mode(s), s.graph.surf_resolution = 0; }},
        {"[graph] surf_resolution = 1022",
         [](Settings& s) { outline_mode(s), s.graph.surf_resolution = 1022; }},
        {"[graph] surf_radius = 0", [](Settings& s) { outline_mode(s), s.graph.surf_radius = 0; }},
        {"[graph] surf_radius = 32",
         [](Settings& s) { outline_mode(s), s.graph.surf_radius = 32.0f; }},
        {"[graph] surf_radius = 2",
         [](Settings& s) { outline_mode(s), s.graph.surf_resolution = 8; }},
    };
    for (const auto& c : cases) {
        Settings s = defaults();
        c.change(s);
        Outcome o = validate(s.graph, s.phys);
        EXPECT_EQ(o.refused, 1) << c.line_start << "\n" << o.text;
        const std::string start = std::string("error: ") + c.line_start + " is not accepted: ";
        EXPECT_EQ(o.text.compare(0, start.size(), start), 0) << o.text;
        EXPECT_EQ(o.text.find('\n'), o.text.size() - 1) << o.text;
    }
}

TEST(Validate, MessagesSayWhatIsAcceptedAndName) {
    Settings s = defaults();
    s.phys.count = 70000;
    EXPECT_EQ(validate(s.graph, s.phys).text,
              "error: [phys] count = 70000 is not accepted: use a whole number from 0 to 65536 "
              "(particle indices are 16-bit)\n");
    s = defaults();
    s.phys.smooth_radius = 1e-4f;
    const std::string grid = validate(s.graph, s.phys).text;
    EXPECT_NE(grid.find("field_size = 0.8"), std::string::npos) << grid;
    EXPECT_NE(grid.find("8002"), std::string::npos) << grid;
    s = defaults();
    s.phys.field_size = 0.005f;
    const std::string box = validate(s.graph, s.phys).text;
    EXPECT_NE(box.find("above smooth_radius = 0.01"), std::string::npos) << box;
}

TEST(Validate, SeveralBadKeysGiveOneLineEachInFileOrder) {
    Settings s = defaults();
    s.phys.count = 70000;
    s.graph.window_size = 0;
    s.phys.timestep = nan_value;
    s.phys.geom_m_inert_max = 0.0f;
    s.graph.point_size = -inf_value;
    Outcome o = validate(s.graph, s.phys);
    EXPECT_EQ(o.refused, 5);
    const char* keys[] = {"[graph] window_size = 0", "[graph] point_size = -inf",
                          "[phys] count = 70000", "[phys] timestep = nan",
                          "[phys] geom_m_inert_max = 0"};
    std::size_t from = 0;
    for (const char* key : keys) {
        const std::size_t at = o.text.find(std::string("error: ") + key + " is not", from);
        ASSERT_NE(at, std::string::npos) << key << "\n" << o.text;
        from = o.text.find('\n', at);
        ASSERT_NE(from, std::string::npos);
    }
    EXPECT_EQ(from, o.text.size() - 1) << "nothing after the last line";
}

}  // namespace
