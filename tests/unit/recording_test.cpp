// The parts of a recording decided without GL or giflib: frame choice, size, palette mapping.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/recording.h"

TEST(Recording, KeepsTheFirstFrameAndEveryKthAfterIt) {
    for (int32_t every : {1, 2, 3, 7}) {
        SCOPED_TRACE(every);
        for (int64_t n : {1, 2, 6, 7, 8, 300}) {
            int64_t kept = 0;
            for (int64_t j = 0; j < n; ++j)
                kept += frame_recorded(j, every) ? 1 : 0;
            EXPECT_EQ(kept, recorded_frame_count(n, every)) << n << " frames";
        }
        EXPECT_TRUE(frame_recorded(0, every));
        EXPECT_EQ(frame_recorded(1, every), every == 1);
        EXPECT_TRUE(frame_recorded(every, every));
    }
    EXPECT_EQ(recorded_frame_count(300, 2), 150);
    EXPECT_EQ(recorded_frame_count(301, 2), 151);
    EXPECT_EQ(recorded_frame_count(0, 2), 0);
    // A nonsense k records every frame rather than dividing by zero.
    EXPECT_TRUE(frame_recorded(5, 0));
    EXPECT_FALSE(frame_recorded(-1, 1));
}

TEST(Recording, FrameSizeKeepsTheShapeAndNeverGrows) {
    const RecordSize square = record_frame_size(740, 740, 360);
    EXPECT_EQ(square.width, 360);
    EXPECT_EQ(square.height, 360);
    const RecordSize wide = record_frame_size(1000, 500, 360);
    EXPECT_EQ(wide.width, 360);
    EXPECT_EQ(wide.height, 180);
    const RecordSize small = record_frame_size(200, 150, 360);
    EXPECT_EQ(small.width, 200);
    EXPECT_EQ(small.height, 150);
    // A very thin window still gives a picture of at least a pixel a side.
    const RecordSize thin = record_frame_size(4000, 3, 360);
    EXPECT_EQ(thin.width, 360);
    EXPECT_EQ(thin.height, 1);
}

TEST(Recording, PaletteKeepsBlackWhiteAndTheGreysOfText) {
    uint8_t palette[record_palette_size][3];
    record_palette(palette);
    // A 2 x 2 window, GL rows bottom up: black and white below, grey 0x80 and a red above.
    const uint8_t rgb[] = {0, 0, 0, 255, 255, 255, 0x80, 0x80, 0x80, 255, 0, 0};
    uint8_t indices[4];
    index_frame(rgb, 2, 2, indices, 2, 2);
    // GIF rows run top down: the upper row comes first.
    const uint8_t want[4][3] = {{0x80, 0x80, 0x80}, {255, 0, 0}, {0, 0, 0}, {255, 255, 255}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        ASSERT_NE(indices[i], record_unchanged);
        EXPECT_EQ(std::memcmp(palette[indices[i]], want[i], 3), 0)
            << int(palette[indices[i]][0]) << " " << int(palette[indices[i]][1]) << " "
            << int(palette[indices[i]][2]);
    }
}

TEST(Recording, DitheredColoursAverageToTheColour) {
    uint8_t palette[record_palette_size][3];
    record_palette(palette);
    // A flat colour between the cube's levels comes out as a pattern whose mean is close to it.
    const int side = 8;
    std::vector<uint8_t> rgb(side * side * 3);
    for (int i = 0; i < side * side; ++i) {
        rgb[3 * i] = 100;
        rgb[3 * i + 1] = 150;
        rgb[3 * i + 2] = 30;
    }
    std::vector<uint8_t> indices(side * side);
    index_frame(rgb.data(), side, side, indices.data(), side, side);
    double mean[3] = {0, 0, 0};
    for (uint8_t index : indices)
        for (int c = 0; c < 3; ++c)
            mean[c] += palette[index][c] / double(side * side);
    EXPECT_NEAR(mean[0], 100, 8);
    EXPECT_NEAR(mean[1], 150, 8);
    EXPECT_NEAR(mean[2], 30, 8);
}

TEST(Recording, ScalingAveragesTheCoveredPixels) {
    // 4 x 2 pixels to 2 x 1: the left half white, the right half black.
    std::vector<uint8_t> rgb(4 * 2 * 3, 0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            std::memset(&rgb[(y * 4 + x) * 3], 255, 3);
    uint8_t indices[2];
    index_frame(rgb.data(), 4, 2, indices, 2, 1);
    uint8_t palette[record_palette_size][3];
    record_palette(palette);
    EXPECT_EQ(palette[indices[0]][0], 255);
    EXPECT_EQ(palette[indices[1]][0], 0);
}

TEST(Recording, OnlyChangedPixelsAreWritten) {
    std::vector<uint8_t> previous(4, record_unchanged);
    uint8_t first[4] = {1, 2, 3, 4};
    EXPECT_EQ(keep_changes(first, previous.data(), 4), 4); // the first frame is whole
    EXPECT_EQ(std::memcmp(first, "\1\2\3\4", 4), 0);
    uint8_t second[4] = {1, 9, 3, 5};
    EXPECT_EQ(keep_changes(second, previous.data(), 4), 2);
    const uint8_t want[4] = {record_unchanged, 9, record_unchanged, 5};
    EXPECT_EQ(std::memcmp(second, want, 4), 0);
    // The next frame compares with what is shown now, not with the first.
    uint8_t third[4] = {1, 9, 3, 4};
    EXPECT_EQ(keep_changes(third, previous.data(), 4), 1);
    EXPECT_EQ(third[3], 4);
}
