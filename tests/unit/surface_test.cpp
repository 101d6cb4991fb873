#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "surface/surface.h"

namespace {

// Lattice with R = 128, r = 2 over a box whose far wall is 0.8: the default settings.
constexpr int32_t default_resolution = 128;
constexpr float default_radius = 2.0f;
constexpr float default_field = 0.8f;

class Surface : public ::testing::Test {
  protected:
    void TearDown() override { release_surface_grid(); }

    // Creates the grid over `particles` (kept alive in the fixture) and runs one update.
    void make(float radius, int32_t resolution, float field, std::vector<Vec2> particles) {
        positions = std::move(particles);
        ASSERT_TRUE(create_surface_grid(radius, resolution, field, positions.data(),
                                        static_cast<int32_t>(positions.size())));
    }

    std::vector<Vec2> update() {
        update_surface();
        const Vec2* v = surface_line_vertices(surface_grid);
        return std::vector<Vec2>(v, v + surface_grid->line_vertex_count);
    }

    std::vector<Vec2> outline(float radius, int32_t resolution, float field,
                              std::vector<Vec2> particles) {
        make(radius, resolution, field, std::move(particles));
        return update();
    }

    // Rows and columns 0..R, row j starting at sample j * (R + 1).
    float& sample(int j, int k) {
        const int side = static_cast<int>(surface_grid->resolution) + 1;
        return surface_samples(surface_grid)[j * side + k];
    }

    bool field_clear() {
        const uint32_t side = surface_grid->resolution + 1;
        const float* s = surface_samples(surface_grid);
        for (uint32_t i = 0; i < side * side; ++i)
            if (s[i] != 0.0f) return false;
        return true;
    }

    std::vector<Vec2> positions;
};

// A random lump of fluid in the lower part of the default box, from a fixed little generator.
std::vector<Vec2> fluid_lump(int n) {
    std::vector<Vec2> p;
    uint32_t state = 12345;
    auto unit = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(state >> 8) / 16777216.0f;
    };
    for (int i = 0; i < n; ++i) {
        float x = 0.05f + 0.7f * unit();
        float y = 0.02f + 0.3f * unit();
        p.push_back({x, y});
    }
    return p;
}

bool same_outline(const std::vector<Vec2>& a, const std::vector<Vec2>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].x != b[i].x || a[i].y != b[i].y) return false;
    return true;
}

TEST_F(Surface, DefaultSettingsMapTheBoxOnto3_5To122) {
    // Scale (128 - 8) / 0.8 = 150: world 0.2, 0.4, 0.8 land exactly on samples 32, 62, 122.
    // A particle on a sample raises it to exactly 1.0, which counts as inside: the four cells
    // around it each cut that corner off, all eight end points at the sample itself.
    struct OnSample {
        Vec2 world;
        float lattice_x, lattice_y;
    };
    const OnSample cases[] = {
        {{0.2f, 0.8f}, 32, 122}, {{0.4f, 0.4f}, 62, 62}, {{0.8f, 0.2f}, 122, 32}};
    for (const OnSample& c : cases) {
        std::vector<Vec2> v = outline(default_radius, default_resolution, default_field, {c.world});
        ASSERT_EQ(v.size(), 8u) << c.world.x << "," << c.world.y;
        for (const Vec2& p : v) {
            EXPECT_FLOAT_EQ(p.x, c.lattice_x);
            EXPECT_FLOAT_EQ(p.y, c.lattice_y);
        }
    }

    // The near wall h = 0.01 lands at 3.5, between samples: one particle gives at most
    // 1 - 0.5/4 = 0.875 and draws nothing; two give an outline centred on (3.5, 3.5).
    EXPECT_TRUE(
        outline(default_radius, default_resolution, default_field, {{0.01f, 0.01f}}).empty());
    std::vector<Vec2> pair = outline(default_radius, default_resolution, default_field,
                                     {{0.01f, 0.01f}, {0.01f, 0.01f}});
    ASSERT_FALSE(pair.empty());
    double cx = 0, cy = 0;
    for (const Vec2& p : pair) {
        EXPECT_GE(p.x, 2.0f);
        EXPECT_LE(p.x, 5.0f);
        EXPECT_GE(p.y, 2.0f);
        EXPECT_LE(p.y, 5.0f);
        cx += p.x;
        cy += p.y;
    }
    EXPECT_NEAR(cx / pair.size(), 3.5, 1e-4);
    EXPECT_NEAR(cy / pair.size(), 3.5, 1e-4);
}

TEST_F(Surface, BlockLayoutHoldsSamplesThenVertices) {
    for (int32_t r : {1, 2, 128, 1021}) {
        make(default_radius, r, default_field, {});
        const unsigned char* base = reinterpret_cast<const unsigned char*>(surface_grid);
        const unsigned char* block_end = base + 4096 * static_cast<size_t>(r) + 4;
        const float* s = surface_samples(surface_grid);
        const Vec2* v = surface_line_vertices(surface_grid);
        EXPECT_EQ(reinterpret_cast<const void*>(v),
                  reinterpret_cast<const void*>(s + (r + 1) * (r + 1)))
            << "R=" << r;
        const int32_t cap = surface_vertex_capacity(surface_grid);
        EXPECT_LE(reinterpret_cast<const unsigned char*>(v + cap), block_end) << "R=" << r;
        EXPECT_GT(reinterpret_cast<const unsigned char*>(v + cap + 1), block_end) << "R=" << r;
        for (int i = 0; i < (r + 1) * (r + 1); ++i)
            ASSERT_EQ(s[i], 0.0f) << "R=" << r;
        EXPECT_EQ(surface_grid->line_vertex_count, 0);
        EXPECT_EQ(surface_grid->iso_level, 1.0f);
    }
    // About 57 200 vertices at the default resolution.
    make(default_radius, 128, default_field, {});
    EXPECT_GT(surface_vertex_capacity(surface_grid), 57000);

    // Sizes the block cannot hold, and counts that make no sense, leave no grid.
    Vec2 one{0.5f, 0.5f};
    EXPECT_FALSE(create_surface_grid(2.0f, 0, 0.8f, &one, 1));
    EXPECT_FALSE(create_surface_grid(2.0f, -5, 0.8f, &one, 1));
    EXPECT_FALSE(create_surface_grid(2.0f, 1022, 0.8f, &one, 1));
    EXPECT_FALSE(create_surface_grid(2.0f, 128, 0.8f, &one, -1));
    EXPECT_FALSE(create_surface_grid(2.0f, 128, 0.8f, nullptr, 1));
    EXPECT_EQ(surface_grid, nullptr);
    update_surface(); // no grid: nothing to do, nothing to crash
}

TEST_F(Surface, CornerCasesAgainstTheLevel) {
    // Samples are set by hand with no particles; the first update extracts them.
    struct Uniform {
        float value;
        const char* what;
    };
    for (Uniform u : {Uniform{0.5f, "all below"}, Uniform{1.0f, "all exactly at the level"},
                      Uniform{3.0f, "all above"}}) {
        make(default_radius, 16, default_field, {});
        for (int i = 0; i < 17 * 17; ++i)
            surface_samples(surface_grid)[i] = u.value;
        EXPECT_TRUE(update().empty()) << u.what;
    }

    // Saddles in cell (5, 5), everything else 0. Only segments whose midpoint lies inside the
    // cell belong to it (the neighbours' segments stay in the neighbours).
    struct Saddle {
        float sw, se, ne, nw;
        // The two expected segments, as end-point pairs.
        Vec2 a0, a1, b0, b1;
        const char* what;
    };
    const Saddle saddles[] = {
        // Case 5: SW and NE below; lower-left and upper-right corners cut off, SE and NW joined.
        {0.2f,
         1.8f,
         0.6f,
         1.4f,
         {5.5f, 5.0f},
         {5.0f, 5.0f + 0.8f / 1.2f},
         {6.0f, 5.0f + 0.8f / 1.2f},
         {5.5f, 6.0f},
         "case 5"},
        // Case 10: SE and NW below; lower-right and upper-left corners cut off, SW and NE joined.
        {1.4f,
         0.6f,
         1.8f,
         0.2f,
         {5.5f, 5.0f},
         {6.0f, 5.0f + 0.4f / 1.2f},
         {5.5f, 6.0f},
         {5.0f, 5.0f + 0.4f / 1.2f},
         "case 10"},
    };
    auto near = [](Vec2 p, Vec2 q) {
        return std::fabs(p.x - q.x) < 1e-5f && std::fabs(p.y - q.y) < 1e-5f;
    };
    auto matches = [&near](Vec2 p0, Vec2 p1, Vec2 q0, Vec2 q1) {
        return (near(p0, q0) && near(p1, q1)) || (near(p0, q1) && near(p1, q0));
    };
    for (const Saddle& c : saddles) {
        make(default_radius, 16, default_field, {});
        sample(5, 5) = c.sw;
        sample(5, 6) = c.se;
        sample(6, 6) = c.ne;
        sample(6, 5) = c.nw;
        std::vector<Vec2> v = update();
        ASSERT_EQ(v.size() % 2, 0u);
        std::vector<std::pair<Vec2, Vec2>> in_cell;
        for (size_t i = 0; i < v.size(); i += 2) {
            float mx = 0.5f * (v[i].x + v[i + 1].x);
            float my = 0.5f * (v[i].y + v[i + 1].y);
            if (mx > 5.0f && mx < 6.0f && my > 5.0f && my < 6.0f)
                in_cell.push_back({v[i], v[i + 1]});
        }
        ASSERT_EQ(in_cell.size(), 2u) << c.what;
        bool ab = matches(in_cell[0].first, in_cell[0].second, c.a0, c.a1) &&
                  matches(in_cell[1].first, in_cell[1].second, c.b0, c.b1);
        bool ba = matches(in_cell[0].first, in_cell[0].second, c.b0, c.b1) &&
                  matches(in_cell[1].first, in_cell[1].second, c.a0, c.a1);
        EXPECT_TRUE(ab || ba) << c.what;
        EXPECT_TRUE(field_clear()) << c.what;
    }
}

TEST_F(Surface, SplatWindowIsTheTruncatedSquare) {
    // Two particles half-way between sample (32, 32) and its right (then its upper) neighbour
    // on a lattice with scale 64. With r = 0.75 the window is the single sample at the
    // truncated position: the neighbour is within reach but gets nothing, so only the four
    // cells around (32, 32) carry the outline. With r = 1 the window is 3 x 3 and both samples
    // rise to 1.5: six cells, twelve vertices.
    struct Case {
        float radius, field; // field chosen so that (64 - 4r) / field = 64
        Vec2 world;
        size_t vertices;
        float max_x, max_y; // exclusive bounds of the outline
    };
    const Case cases[] = {
        {0.75f, 61.0f / 64.0f, {31.75f / 64.0f, 31.25f / 64.0f}, 8, 33.0f, 33.0f},
        {0.75f, 61.0f / 64.0f, {31.25f / 64.0f, 31.75f / 64.0f}, 8, 33.0f, 33.0f},
        {1.0f, 60.0f / 64.0f, {31.5f / 64.0f, 31.0f / 64.0f}, 12, 34.0f, 33.0f},
        {1.0f, 60.0f / 64.0f, {31.0f / 64.0f, 31.5f / 64.0f}, 12, 33.0f, 34.0f},
    };
    for (const Case& c : cases) {
        std::vector<Vec2> v = outline(c.radius, 64, c.field, {c.world, c.world});
        EXPECT_EQ(v.size(), c.vertices) << "r=" << c.radius << " y=" << c.world.y;
        for (const Vec2& p : v) {
            EXPECT_GE(p.x, 31.0f) << "r=" << c.radius;
            EXPECT_LT(p.x, c.max_x) << "r=" << c.radius;
            EXPECT_GE(p.y, 31.0f) << "r=" << c.radius;
            EXPECT_LT(p.y, c.max_y) << "r=" << c.radius;
        }
    }
}

TEST_F(Surface, EachUpdateStartsFromAClearedField) {
    make(default_radius, default_resolution, default_field, fluid_lump(3000));
    std::vector<Vec2> first = update();
    ASSERT_FALSE(first.empty());
    EXPECT_TRUE(field_clear());
    // Nothing above the lump (world y 0.32 -> lattice 50) plus the splat radius.
    for (const Vec2& p : first)
        EXPECT_LT(p.y, 50.0f + default_radius + 1.0f);
    std::vector<Vec2> second = update();
    EXPECT_TRUE(same_outline(first, second)) << "the second frame must not see the first's field";
    EXPECT_TRUE(field_clear());
}

TEST_F(Surface, ContributionsOffTheLatticeAreDropped) {
    // R = 16, r = 2, far wall 1: scale 8, world x -> 8x + 2. Pairs of particles, so that a
    // sample at distance 1 from both (0.75 each) or sqrt 2 (0.5 each) is inside.
    //
    // Beyond the last column, at lattice (18, 15): nothing of the window lies on the lattice
    // (column 16 is 2 away). Columns 17 and 18 of rows 14..16 would alias to the start of the
    // next row and draw there.
    EXPECT_TRUE(outline(2.0f, 16, 1.0f, {{2.0f, 1.625f}, {2.0f, 1.625f}}).empty());
    EXPECT_TRUE(field_clear());

    // Just beyond the right wall, at (16.5, 8): column 16 of rows 7..9 rises above the level and
    // the cells of column 15 draw. Column 16 is no other row's column 0, so nothing appears at
    // the left edge, and once the particles have gone nothing of them is left to draw.
    make(2.0f, 16, 1.0f, {{1.8125f, 0.75f}, {1.8125f, 0.75f}});
    std::vector<Vec2> right = update();
    EXPECT_FALSE(right.empty());
    for (const Vec2& p : right)
        EXPECT_GE(p.x, 15.0f) << p.y;
    positions[0] = positions[1] = Vec2{-5.0f, -5.0f};
    EXPECT_TRUE(update().empty());
    EXPECT_TRUE(field_clear());

    // On sample (0, 0): samples (0..1, 0..1) rise to at least 1 and give three segments around
    // the corner, and nothing at the far end of row 0. Columns -1 and -2 of row 1 would alias
    // to the end of row 0 and draw there; rows -1 and -2 would lie before the block.
    std::vector<Vec2> corner = outline(2.0f, 16, 1.0f, {{-0.25f, -0.25f}, {-0.25f, -0.25f}});
    EXPECT_EQ(corner.size(), 6u);
    for (const Vec2& p : corner) {
        EXPECT_LE(p.x, 2.0f);
        EXPECT_LE(p.y, 2.0f);
    }

    // One row above the lattice, at (8, 17): row 16 is reached (columns 7..9 inside) and the
    // cells below it draw. Once the particles have gone, that row must not draw again.
    make(2.0f, 16, 1.0f, {{0.75f, 1.875f}, {0.75f, 1.875f}});
    std::vector<Vec2> top = update();
    EXPECT_FALSE(top.empty());
    for (const Vec2& p : top)
        EXPECT_GE(p.y, 15.0f);
    positions[0] = positions[1] = Vec2{-5.0f, -5.0f};
    EXPECT_TRUE(update().empty());
    EXPECT_TRUE(field_clear());
}

TEST_F(Surface, StrayParticlesChangeNothingInside) {
    // Far away, non-finite, beyond the far wall: the outline of the lump stays as it was.
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<Vec2> lump = fluid_lump(2000);
    std::vector<Vec2> reference = outline(default_radius, default_resolution, default_field, lump);
    ASSERT_FALSE(reference.empty());
    std::vector<Vec2> strays = lump;
    for (Vec2 p : {Vec2{nan, 0.4f}, Vec2{0.4f, nan}, Vec2{nan, nan}, Vec2{inf, inf},
                   Vec2{-inf, 0.4f}, Vec2{1e30f, -1e30f}, Vec2{3e7f, 3e7f}, Vec2{-0.5f, -0.5f},
                   Vec2{5.0f, 5.0f}, Vec2{0.4f, 0.85f}, Vec2{0.85f, 0.6f}, Vec2{-2e7f, 0.3f}})
        strays.push_back(p);
    std::vector<Vec2> with_strays =
        outline(default_radius, default_resolution, default_field, strays);
    EXPECT_TRUE(same_outline(reference, with_strays));
    EXPECT_TRUE(field_clear());

    // Non-finite or absurd settings map nothing anywhere and write nothing out of the block.
    for (float field : {0.0f, -0.8f, nan}) {
        outline(default_radius, default_resolution, field, lump);
        EXPECT_TRUE(field_clear()) << "field " << field;
    }
    for (float radius : {nan, -3.0f, 40.0f, 1e12f}) {
        std::vector<Vec2> v = outline(radius, 64, default_field, lump);
        EXPECT_LE(static_cast<int32_t>(v.size()), surface_vertex_capacity(surface_grid));
        EXPECT_TRUE(field_clear()) << "radius " << radius;
    }
}

TEST_F(Surface, AFieldOfSaddlesFillsTheBlockAndStillClears) {
    // A checkerboard makes nearly every cell a saddle: four vertices per cell, 65 536 at
    // R = 128, more than the block holds. Appending stops at the last whole segment that fits.
    for (int32_t r : {128, 1021}) {
        make(default_radius, r, default_field, {});
        float* s = surface_samples(surface_grid);
        for (int j = 0; j <= r; ++j)
            for (int k = 0; k <= r; ++k)
                s[j * (r + 1) + k] = ((j + k) % 2 == 0) ? 2.0f : 0.0f;
        const int32_t cap = surface_vertex_capacity(surface_grid);
        update_surface();
        EXPECT_EQ(surface_grid->line_vertex_count, cap - cap % 2) << "R=" << r;
        EXPECT_TRUE(field_clear()) << "R=" << r;
    }
}

} // namespace
