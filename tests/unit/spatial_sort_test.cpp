#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "sim_test_util.h"
#include "sph/spatial_sort.h"

namespace {

using SpatialSortTest = SimTest;

// Which bucket holds particle i, or -1 for none.
int64_t bucket_of(int32_t i) {
    for (int64_t k = 0; k < sim.cell_count; ++k) {
        for (int s = 0; s < sim.grid.cell_fill[k]; ++s) {
            if (sim.grid.buckets[k * cell_capacity + s] == i) return k;
        }
    }
    return -1;
}

TEST_F(SpatialSortTest, KeysAndBucketsAtAndBeyondTheGridEdges) {
    const float h = 0.01f;
    const int32_t per_row = 82;
    const int32_t top = per_row - 1;
    const float nan = std::nanf("");
    const struct {
        const char* what;
        Vec2 at;
        int64_t key; // the cell key, or -1 when the particle must be in no bucket
    } cases[] = {
        {"first cell", {0.5f * h, 0.5f * h}, 0},
        {"just left of x = 0 truncates to column 0", {-0.5f * h, 0.5f * h}, 0},
        {"just below y = 0 truncates to row 0", {3.5f * h, -0.5f * h}, 3},
        {"inside the box", {10.5f * h, 20.5f * h}, 20 * per_row + 10},
        {"one column past the row end folds into the next row", {82.5f * h, 4.5f * h}, 5 * per_row},
        {"column -1 of row 5 is the last cell of row 4", {-1.5f * h, 5.5f * h}, 4 * per_row + top},
        {"last cell", {(top + 0.5f) * h, (top + 0.5f) * h}, per_row * per_row - 1},
        {"past the row end of the top row", {82.5f * h, (top + 0.5f) * h}, -1},
        {"above the grid", {0.5f * h, 83.5f * h}, -1},
        {"column -1 of row 0", {-1.5f * h, 0.5f * h}, -1},
        {"below the grid", {0.5f * h, -1.5f * h}, -1},
        {"NaN x", {nan, 0.5f * h}, -1},
        {"NaN y", {0.5f * h, nan}, -1},
        {"huge x", {1e30f, 0.5f * h}, -1},
        {"huge negative x in a high row", {-1e30f, 60.5f * h}, -1},
        {"huge y", {0.5f * h, 1e30f}, -1},
        {"minus infinity y", {0.5f * h, -INFINITY}, -1},
        {"x beyond 2^24 cells", {2e5f, 0.5f * h}, -1},
    };
    std::vector<Vec2> positions;
    for (const auto& c : cases)
        positions.push_back(c.at);
    init_at(positions);
    ASSERT_EQ(sim.cells_per_row, per_row);

    compute_cell_keys();
    fill_cell_grid();
    int total_fill = 0;
    for (int64_t k = 0; k < sim.cell_count; ++k)
        total_fill += sim.grid.cell_fill[k];
    int expected_fill = 0;
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        const int32_t key = sim.sort_keys[i].key;
        EXPECT_EQ(sim.sort_keys[i].index, static_cast<int32_t>(i)) << c.what;
        if (c.key >= 0) {
            EXPECT_EQ(key, c.key) << c.what;
            EXPECT_EQ(bucket_of(static_cast<int32_t>(i)), c.key) << c.what;
            ++expected_fill;
        } else {
            EXPECT_TRUE(key < 0 || key >= sim.cell_count) << c.what << ": key " << key;
            EXPECT_EQ(bucket_of(static_cast<int32_t>(i)), -1) << c.what;
        }
    }
    EXPECT_EQ(total_fill, expected_fill);

    // Out-of-grid particles sort to the ends and the steps after them cope.
    sort_cell_keys();
    for (int32_t i = 1; i < sim.count; ++i)
        EXPECT_LE(sim.sort_keys[i - 1].key, sim.sort_keys[i].key);
    reorder_particles();
    fill_cell_grid();
    find_neighbours();
}

TEST_F(SpatialSortTest, AFullCellKeepsTheLowestIndices) {
    // 130 particles in cell (5, 5), interleaved with particles of other cells so that the
    // bucket has to skip some indices.
    const float h = 0.01f;
    std::vector<Vec2> positions;
    std::vector<int32_t> in_cell;
    for (int i = 0; i < 130; ++i) {
        in_cell.push_back(static_cast<int32_t>(positions.size()));
        positions.push_back({(5.1f + 0.006f * i) * h, 5.5f * h});
        if (i % 10 == 0) positions.push_back({20.5f * h, (1.1f + 0.05f * i) * h});
    }
    init_at(positions);
    fill_cell_grid();
    const int64_t key = 5 * sim.cells_per_row + 5;
    ASSERT_EQ(sim.grid.cell_fill[key], cell_capacity);
    for (int s = 0; s < cell_capacity; ++s) {
        EXPECT_EQ(sim.grid.buckets[key * cell_capacity + s], in_cell[s]) << "slot " << s;
    }
    EXPECT_EQ(bucket_of(in_cell[128]), -1);
    EXPECT_EQ(bucket_of(in_cell[129]), -1);
}

// Keys with many ties and a few out-of-grid values, indices ascending as compute_cell_keys
// leaves them.
std::vector<SortKey> random_keys(int32_t n, uint32_t seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int32_t> cell(-3, 60);
    std::vector<SortKey> keys(n);
    for (int32_t i = 0; i < n; ++i)
        keys[i] = SortKey{cell(gen), i};
    keys[n / 2].key = std::numeric_limits<int32_t>::max();
    keys[n / 3].key = std::numeric_limits<int32_t>::min();
    return keys;
}

bool same_keys(const std::vector<SortKey>& a, const std::vector<SortKey>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](SortKey x, SortKey y) { return x.key == y.key && x.index == y.index; });
}

TEST_F(SpatialSortTest, CountingAndRadixSortsGiveTheStableOrder) {
    for (int32_t n : {0, 1, 2, 3, 17, 128, 1000, 4097}) {
        SCOPED_TRACE(testing::Message() << "n = " << n);
        std::vector<SortKey> input = n >= 2 ? random_keys(n, 40u + n) : std::vector<SortKey>(n);
        for (int32_t i = 0; i < n; ++i)
            input[i].index = i;

        std::vector<SortKey> expected = input;
        std::stable_sort(expected.begin(), expected.end(),
                         [](SortKey a, SortKey b) { return a.key < b.key; });

        std::vector<SortKey> scratch(std::max(n, 1));
        std::vector<SortKey> by_radix = input;
        radix_sort_keys(by_radix.data(), scratch.data(), n);
        EXPECT_TRUE(same_keys(by_radix, expected));

        // The counting sort covers keys 0 .. 60 only: with the out-of-grid keys in it must
        // refuse and leave the input as it was; with them moved into range it sorts.
        constexpr int32_t cells = 61;
        std::vector<uint32_t> start(cells + 1);
        std::vector<SortKey> by_counting = input;
        if (n >= 2) {
            EXPECT_FALSE(
                counting_sort_keys(by_counting.data(), scratch.data(), n, start.data(), cells));
            EXPECT_TRUE(same_keys(by_counting, input));
        }
        std::vector<SortKey> in_range = input;
        for (SortKey& k : in_range)
            k.key = std::clamp(k.key, 0, cells - 1);
        std::vector<SortKey> in_range_sorted = in_range;
        std::stable_sort(in_range_sorted.begin(), in_range_sorted.end(),
                         [](SortKey a, SortKey b) { return a.key < b.key; });
        by_counting = in_range;
        EXPECT_TRUE(counting_sort_keys(by_counting.data(), scratch.data(), n, start.data(), cells));
        EXPECT_TRUE(same_keys(by_counting, in_range_sorted));
        // Sorted input stays as it is, and a key equal to the cell count is out of range
        // even when it is the last one.
        EXPECT_TRUE(counting_sort_keys(by_counting.data(), scratch.data(), n, start.data(), cells));
        EXPECT_TRUE(same_keys(by_counting, in_range_sorted));
        if (n >= 2) {
            by_counting.back().key = cells;
            EXPECT_FALSE(
                counting_sort_keys(by_counting.data(), scratch.data(), n, start.data(), cells));
        }
    }

    // The step itself, both on freshly seeded (random) particles and on a nearly sorted state,
    // and then with one particle outside the grid, which hands the sort to the radix sort.
    PhysConfig phys = default_phys();
    phys.count = 20000;
    ASSERT_TRUE(sim_init_seeded(0, phys, 0.0f, 11u));
    for (int round = 0; round < 3; ++round) {
        if (round == 2) sim.position[sim.count / 2] = Vec2{-5.0f, -5.0f};
        compute_cell_keys();
        std::vector<SortKey> expected(sim.sort_keys, sim.sort_keys + sim.count);
        std::stable_sort(expected.begin(), expected.end(),
                         [](SortKey a, SortKey b) { return a.key < b.key; });
        sort_cell_keys();
        EXPECT_TRUE(
            same_keys(std::vector<SortKey>(sim.sort_keys, sim.sort_keys + sim.count), expected))
            << "round " << round;
        reorder_particles();
        // Nudge every 500th particle up by about a cell so the next round is nearly sorted.
        for (int32_t i = 0; i < sim.count; i += 500)
            sim.position[i].y += 0.011f;
    }
}

TEST_F(SpatialSortTest, ReorderMovesEveryPermutedArrayFromTheFirstMovedIndex) {
    const float h = 0.01f;
    // Particles 0 and 1 are already in cell order; 2..5 are not.
    const std::vector<Vec2> positions = {{0.5f * h, 0.5f * h}, {1.5f * h, 0.5f * h},
                                         {3.5f * h, 9.5f * h}, {2.5f * h, 0.5f * h},
                                         {0.5f * h, 2.5f * h}, {3.6f * h, 9.5f * h}};
    const int32_t n = static_cast<int32_t>(positions.size());
    for (int32_t mode : {0, 1}) {
        SCOPED_TRACE(testing::Message() << "point_colors " << mode);
        init_at(positions, default_phys(), mode);
        for (int32_t i = 0; i < n; ++i) {
            sim.velocity[i] = {10.0f + i, 0.0f};
            sim.velocity_eval[i] = {20.0f + i, 0.0f};
            sim.force[i] = {30.0f + i, 0.0f};
            sim.velocity_scratch[i] = {-1.0f, -1.0f};
            if (mode != 0) sim.color[i] = {40.0f + i, 0.0f, 0.0f};
        }
        compute_cell_keys();
        sort_cell_keys();
        reorder_particles();
        const int32_t order[] = {0, 1, 3, 4, 2, 5};
        for (int32_t i = 0; i < n; ++i) {
            const int32_t old = order[i];
            EXPECT_EQ(sim.sort_keys[i].index, old);
            EXPECT_EQ(sim.position[i].x, positions[old].x) << i;
            EXPECT_EQ(sim.position[i].y, positions[old].y) << i;
            EXPECT_EQ(sim.velocity[i].x, 10.0f + old) << i;
            EXPECT_EQ(sim.velocity_eval[i].x, 20.0f + old) << i;
            EXPECT_EQ(sim.force[i].x, 30.0f + i) << "force is recomputed, not permuted";
            if (mode != 0) {
                EXPECT_EQ(sim.color[i].r, 40.0f + old) << i;
            }
        }
        // The first two were in place, so the gather started at index 2.
        EXPECT_EQ(sim.velocity_scratch[0].x, -1.0f);
        EXPECT_EQ(sim.velocity_scratch[1].x, -1.0f);
        EXPECT_EQ(sim.velocity_scratch[2].x, 13.0f);

        // Sorted already: a second pass moves nothing.
        sim.velocity_scratch[2] = {-1.0f, -1.0f};
        compute_cell_keys();
        sort_cell_keys();
        reorder_particles();
        EXPECT_EQ(sim.velocity_scratch[2].x, -1.0f);
        EXPECT_EQ(sim.velocity[4].x, 12.0f);
        sim_free();
    }

    // A single particle stays where it is.
    init_at({{0.4f, 0.3f}}, default_phys(), 1);
    sim.velocity[0] = {1.0f, 2.0f};
    sort_and_search();
    EXPECT_EQ(sim.position[0].x, 0.4f);
    EXPECT_EQ(sim.velocity[0].y, 2.0f);
    EXPECT_EQ(sim.neighbours.neighbour_count[0], 1);
}

} // namespace
