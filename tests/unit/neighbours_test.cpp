#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "sim_test_util.h"

namespace {

using NeighbourTest = SimTest;
using Pair = std::pair<int32_t, int32_t>;

const NeighbourEntry* list_of(int32_t p) {
    return sim.neighbours.entries + sim.neighbours.first_entry[p];
}
int count_of(int32_t p) {
    return sim.neighbours.neighbour_count[p];
}

// Every (p, q) pair on any list, checked to appear only once.
std::set<Pair> listed_pairs() {
    std::set<Pair> pairs;
    for (int32_t p = 0; p < sim.count; ++p) {
        for (int e = 1; e < count_of(p); ++e) {
            const Pair pair(p, list_of(p)[e].index);
            EXPECT_TRUE(pairs.insert(pair).second) << "pair " << p << "-" << pair.second;
        }
    }
    return pairs;
}

// Index of the particle now at `at` (the sort moves particles around).
int32_t index_at(Vec2 at) {
    for (int32_t i = 0; i < sim.count; ++i) {
        if (sim.position[i].x == at.x && sim.position[i].y == at.y) return i;
    }
    return -1;
}

TEST_F(NeighbourTest, MatchesAllPairsSearchOnARandomCloud) {
    // Uniform over the whole grid (first and last columns included) plus a dense clump, so
    // that lists run long but stay under both capacities.
    const float h = 0.01f;
    std::mt19937 gen(2024u);
    std::uniform_real_distribution<float> anywhere(-0.5f * h, 82.0f * h);
    std::uniform_real_distribution<float> clump(0.30f, 0.33f);
    std::vector<Vec2> positions;
    for (int i = 0; i < 3000; ++i)
        positions.push_back({anywhere(gen), anywhere(gen)});
    for (int i = 0; i < 800; ++i)
        positions.push_back({clump(gen), clump(gen)});
    init_at(positions);
    sort_and_search();

    const float h2 = h * h;
    std::set<Pair> expected;
    for (int32_t i = 0; i < sim.count; ++i) {
        for (int32_t j = i + 1; j < sim.count; ++j) {
            const float dx = sim.position[i].x - sim.position[j].x;
            const float dy = sim.position[i].y - sim.position[j].y;
            if (dy * dy + dx * dx < h2) expected.insert({i, j});
        }
    }
    ASSERT_GT(expected.size(), 20000u) << "the cloud should be dense enough to matter";
    EXPECT_EQ(listed_pairs(), expected);

    const float inv_h = 1.0f / h;
    auto cell_of = [&](int32_t i) {
        return static_cast<int32_t>(sim.position[i].y * inv_h) * 82 +
               static_cast<int32_t>(sim.position[i].x * inv_h);
    };
    uint32_t next_first = 0;
    int max_count = 0;
    for (int32_t p = 0; p < sim.count; ++p) {
        ASSERT_GE(count_of(p), 1) << "every particle here is in a bucket";
        max_count = std::max(max_count, count_of(p));
        // Packed in ascending index order, each lane of the search from its first particle
        // times the list capacity on; each list starts with the particle itself.
        for (int t = 0; t < sim.grid.lanes; ++t) {
            if (p == sim.grid.lane_particle[t]) {
                next_first = static_cast<uint32_t>(p) * neighbour_capacity;
            }
        }
        EXPECT_EQ(sim.neighbours.first_entry[p], next_first) << p;
        next_first += static_cast<uint32_t>(count_of(p));
        EXPECT_EQ(list_of(p)[0].index, p);
        EXPECT_EQ(list_of(p)[0].dist_sq, 0.0f);
        // Scan order: own cell, right-hand cell, then the three above from left to right,
        // ascending index within a cell; and the stored squared distance is the pair's.
        const int32_t own = cell_of(p);
        const int32_t stencil[] = {own, own + 1, own + 81, own + 82, own + 83};
        int last_rank = 0;
        int32_t last_index = p;
        for (int e = 1; e < count_of(p); ++e) {
            const NeighbourEntry entry = list_of(p)[e];
            const int rank = static_cast<int>(
                std::find(std::begin(stencil), std::end(stencil), cell_of(entry.index)) -
                std::begin(stencil));
            ASSERT_LT(rank, 5) << p << " lists " << entry.index << " from outside its stencil";
            EXPECT_TRUE(rank > last_rank || (rank == last_rank && entry.index > last_index))
                << p << ": entry " << e << " out of scan order";
            last_rank = rank;
            last_index = entry.index;
            const float dx = sim.position[p].x - sim.position[entry.index].x;
            const float dy = sim.position[p].y - sim.position[entry.index].y;
            EXPECT_SAME_FLOAT(entry.dist_sq, dy * dy + dx * dx);
        }
    }
    EXPECT_GT(max_count, 60) << "the clump should give long lists";
}

TEST_F(NeighbourTest, ExactlyAtTheRadiusIsNotANeighbour) {
    // h = 5/64 and offsets from 3-4-5 triangles: every coordinate and distance is exact, so
    // the squared distance equals h^2 exactly; moving the partner one float closer makes it
    // a neighbour. Offsets cover all eight cells around the centre particle's cell.
    PhysConfig phys = default_phys();
    phys.smooth_radius = 5.0f / 64.0f;
    phys.field_size = 1.0f;
    const Vec2 centre = {0.5f, 0.5f};
    const float u = 1.0f / 64.0f;
    const Vec2 offsets[] = {{5 * u, 0},      {-5 * u, 0},      {0, 5 * u},
                            {0, -5 * u},     {3 * u, 4 * u},   {-3 * u, 4 * u},
                            {3 * u, -4 * u}, {-4 * u, -3 * u}, {4 * u, 3 * u}};
    for (const Vec2 off : offsets) {
        for (bool closer : {false, true}) {
            Vec2 partner = {centre.x + off.x, centre.y + off.y};
            if (closer) {
                // One float towards the centre along x (or y when x does not differ).
                if (off.x != 0)
                    partner.x = std::nextafter(partner.x, centre.x);
                else
                    partner.y = std::nextafter(partner.y, centre.y);
            }
            SCOPED_TRACE(testing::Message() << "offset (" << off.x / u << ", " << off.y / u
                                            << ")/64" << (closer ? ", one float closer" : ""));
            init_at({centre, partner}, phys);
            sort_and_search();
            const int32_t c = index_at(centre);
            const int32_t q = index_at(partner);
            const int32_t lower = std::min(c, q);
            const int32_t upper = std::max(c, q);
            EXPECT_EQ(count_of(upper), 1) << "the pair sits on the lower index's list only";
            if (closer) {
                ASSERT_EQ(count_of(lower), 2);
                EXPECT_EQ(list_of(lower)[1].index, upper);
                EXPECT_LT(list_of(lower)[1].dist_sq, phys.smooth_radius * phys.smooth_radius);
            } else {
                EXPECT_EQ(count_of(lower), 1);
            }
        }
    }
}

TEST_F(NeighbourTest, ParticlesInNoBucketHaveNoNeighbours) {
    const float h = 0.01f;
    std::vector<Vec2> positions = {
        {0.4f, 0.4f},           // a pair 0.1 h apart, next to a NaN particle
        {std::nanf(""), 0.4f},  // NaN: no cell, and no distance to anyone
        {0.4f, 0.401f},         // the pair's partner
        {0.4f, 1e30f},          // far above
        {0.4f, 83.5f * h},      // just above the grid
        {81.9f * h, 10.5f * h}, // last column; the next row's first cell is scanned
        {0.05f * h, 11.2f * h}, // first column of that next row
        {-0.9f * h, 0.9f * h},  // column 0 by truncation; its upper-left key is row 0's end
        {0.6f, 0.2f},           // alone: only itself
    };
    // 130 particles in one cell within h of each other: two are dropped from the grid.
    for (int i = 0; i < 130; ++i)
        positions.push_back({(40.2f + 0.004f * i) * h, 50.5f * h});
    init_at(positions);
    sort_and_search();

    const std::set<Pair> pairs = listed_pairs();
    auto listed = [&](int32_t i) {
        for (const Pair& p : pairs) {
            if (p.first == i || p.second == i) return true;
        }
        return false;
    };
    const int32_t nan_index = [] {
        for (int32_t i = 0; i < sim.count; ++i) {
            if (std::isnan(sim.position[i].x)) return i;
        }
        return -1;
    }();
    for (int32_t i : {nan_index, index_at({0.4f, 1e30f}), index_at({0.4f, 83.5f * h})}) {
        ASSERT_GE(i, 0);
        EXPECT_EQ(count_of(i), 0) << "particle " << i;
        EXPECT_FALSE(listed(i)) << "particle " << i;
    }
    // The lone pair near (0.4, 0.4) finds each other; nothing else does.
    const int32_t a = index_at({0.4f, 0.4f});
    const int32_t b = index_at({0.4f, 0.401f});
    EXPECT_EQ(count_of(std::min(a, b)), 2);
    EXPECT_EQ(count_of(std::max(a, b)), 1);
    // Row ends: the stencil wraps to the far side of the grid, which is never within h.
    // A lone particle likewise lists only itself.
    for (Vec2 at : {Vec2{81.9f * h, 10.5f * h}, Vec2{0.05f * h, 11.2f * h},
                    Vec2{-0.9f * h, 0.9f * h}, Vec2{0.6f, 0.2f}}) {
        const int32_t i = index_at(at);
        EXPECT_EQ(count_of(i), 1) << at.x << ", " << at.y;
        EXPECT_FALSE(listed(i)) << at.x << ", " << at.y;
    }
    // The crowded cell: the 128 lowest indices pair up completely, the last two not at all.
    std::vector<int32_t> crowd;
    for (int32_t i = 0; i < sim.count; ++i) {
        if (sim.position[i].y == 50.5f * h) crowd.push_back(i);
    }
    ASSERT_EQ(crowd.size(), 130u);
    for (size_t k = 0; k < crowd.size(); ++k) {
        if (k < 128) {
            EXPECT_EQ(count_of(crowd[k]), 128 - static_cast<int>(k)) << "slot " << k;
        } else {
            EXPECT_EQ(count_of(crowd[k]), 0) << "slot " << k;
            EXPECT_FALSE(listed(crowd[k])) << "slot " << k;
        }
    }
}

TEST_F(NeighbourTest, AFullListKeepsTheFirstPairsInScanOrder) {
    // 400 particles within h of p: p and 127 more in p's cell, 128 in the right-hand cell,
    // 128 in the cell above and 16 in the upper-right cell, all clustered round the corner
    // the four cells share. p's list fills with the first 384 of its scan (own cell, right,
    // above) and the 16 upper-right pairs are lost for both sides.
    const float h = 0.01f;
    const float corner = 30.0f * h;
    std::mt19937 gen(7u);
    std::uniform_real_distribution<float> near(0.01f * h, 0.3f * h);
    std::vector<Vec2> positions = {{corner - 0.001f * h, corner - 0.001f * h}}; // p
    for (int i = 0; i < 127; ++i)
        positions.push_back({corner - near(gen), corner - near(gen)});
    for (int i = 0; i < 128; ++i)
        positions.push_back({corner + near(gen), corner - near(gen)});
    for (int i = 0; i < 128; ++i)
        positions.push_back({corner - near(gen), corner + near(gen)});
    std::vector<Vec2> upper_right;
    for (int i = 0; i < 16; ++i)
        upper_right.push_back({corner + near(gen), corner + near(gen)});
    positions.insert(positions.end(), upper_right.begin(), upper_right.end());
    init_at(positions);
    sort_and_search();

    const int32_t p = index_at(positions[0]);
    ASSERT_EQ(count_of(p), neighbour_capacity);
    const NeighbourEntry* list = list_of(p);
    EXPECT_EQ(list[0].index, p);
    // Own cell (ascending indices after p), then the right-hand cell, then the cell above.
    const int32_t right_cell_first = list[128].index;
    const int32_t upper_cell_first = list[256].index;
    for (int e = 1; e < neighbour_capacity; ++e) {
        const Vec2 q = sim.position[list[e].index];
        if (e < 128) {
            EXPECT_TRUE(q.x < corner && q.y < corner) << "entry " << e;
        } else if (e < 256) {
            EXPECT_TRUE(q.x > corner && q.y < corner) << "entry " << e;
            EXPECT_EQ(list[e].index, right_cell_first + (e - 128));
        } else {
            EXPECT_TRUE(q.x < corner && q.y > corner) << "entry " << e;
            EXPECT_EQ(list[e].index, upper_cell_first + (e - 256));
        }
    }
    const std::set<Pair> pairs = listed_pairs();
    for (const Vec2 at : upper_right) {
        const int32_t q = index_at(at);
        EXPECT_EQ(pairs.count({std::min(p, q), std::max(p, q)}), 0u) << "particle " << q;
        EXPECT_GE(count_of(q), 1);
    }
}

} // namespace
