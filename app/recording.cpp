#include "app/recording.h"

#include <cstring>

#include "app/screenshot_file.h"

namespace {
constexpr int reds = 6;
constexpr int greens = 7;
constexpr int blues = 6;
constexpr int cube = reds * greens * blues; // 252
// The greys between the cube's own, for the white of outlines and text.
constexpr uint8_t extra_greys[3] = {0x40, 0x80, 0xC0};

// Bayer's 4 x 4 pattern, as offsets in sixteenths of a level, centred on zero.
constexpr int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// value 0..255 onto 0..levels-1, the pattern's threshold (0..15) moving the rounding point
// within a level; 0 and 255 stay the cube's ends at every threshold.
int level(int value, int levels, int threshold) {
    const int l = (value * (levels - 1) * 32 + (2 * threshold + 1) * 255) / (255 * 32);
    return l < levels - 1 ? l : levels - 1;
}
} // namespace

RecordSize record_frame_size(int window_w, int window_h, int record_size) {
    if (window_w < 1) window_w = 1;
    if (window_h < 1) window_h = 1;
    if (record_size < 1) record_size = 1;
    const int longer = window_w > window_h ? window_w : window_h;
    if (longer <= record_size) return RecordSize{window_w, window_h};
    // Rounded to the nearest pixel in whole numbers, so no side comes out 0 or one too many.
    const int64_t w = (static_cast<int64_t>(window_w) * record_size + longer / 2) / longer;
    const int64_t h = (static_cast<int64_t>(window_h) * record_size + longer / 2) / longer;
    return RecordSize{w > 0 ? static_cast<int>(w) : 1, h > 0 ? static_cast<int>(h) : 1};
}

bool frame_recorded(int64_t j, int32_t every) {
    if (j < 0) return false;
    if (every < 1) every = 1;
    return j % every == 0;
}

int64_t recorded_frame_count(int64_t n, int32_t every) {
    if (n <= 0) return 0;
    if (every < 1) every = 1;
    return (n - 1) / every + 1;
}

void record_palette(uint8_t (*rgb)[3]) {
    std::memset(rgb, 0, static_cast<size_t>(record_palette_size) * 3);
    for (int r = 0; r < reds; ++r)
        for (int g = 0; g < greens; ++g)
            for (int b = 0; b < blues; ++b) {
                uint8_t* c = rgb[(r * greens + g) * blues + b];
                c[0] = static_cast<uint8_t>(r * 255 / (reds - 1));
                c[1] = static_cast<uint8_t>(g * 255 / (greens - 1));
                c[2] = static_cast<uint8_t>(b * 255 / (blues - 1));
            }
    for (int k = 0; k < 3; ++k)
        rgb[cube + k][0] = rgb[cube + k][1] = rgb[cube + k][2] = extra_greys[k];
}

void index_frame(const uint8_t* rgb, int w, int h, uint8_t* indices, int out_w, int out_h) {
    for (int y = 0; y < out_h; ++y) {
        // Output row y (from the top) covers source rows from the top; GL's rows run upwards.
        const int top0 = static_cast<int>(static_cast<int64_t>(y) * h / out_h);
        int top1 = static_cast<int>(static_cast<int64_t>(y + 1) * h / out_h);
        if (top1 <= top0) top1 = top0 + 1;
        for (int x = 0; x < out_w; ++x) {
            const int x0 = static_cast<int>(static_cast<int64_t>(x) * w / out_w);
            int x1 = static_cast<int>(static_cast<int64_t>(x + 1) * w / out_w);
            if (x1 <= x0) x1 = x0 + 1;
            int64_t sum[3] = {0, 0, 0};
            for (int t = top0; t < top1; ++t) {
                const uint8_t* row = rgb + static_cast<int64_t>(h - 1 - t) * w * 3;
                for (int s = x0; s < x1; ++s)
                    for (int c = 0; c < 3; ++c)
                        sum[c] += row[s * 3 + c];
            }
            const int64_t n = static_cast<int64_t>(top1 - top0) * (x1 - x0);
            const int r = static_cast<int>(sum[0] / n);
            const int g = static_cast<int>(sum[1] / n);
            const int b = static_cast<int>(sum[2] / n);
            uint8_t index;
            if (r == g && g == b && (r == 0x40 || r == 0x80 || r == 0xC0)) {
                index = static_cast<uint8_t>(cube + (r >> 6) - 1);
            } else {
                const int d = bayer[y & 3][x & 3];
                index = static_cast<uint8_t>((level(r, reds, d) * greens + level(g, greens, d)) *
                                                 blues +
                                             level(b, blues, d));
            }
            indices[static_cast<int64_t>(y) * out_w + x] = index;
        }
    }
}

int64_t keep_changes(uint8_t* indices, uint8_t* previous, int64_t count) {
    int64_t changed = 0;
    for (int64_t i = 0; i < count; ++i) {
        if (indices[i] == previous[i]) {
            indices[i] = record_unchanged;
        } else {
            previous[i] = indices[i];
            ++changed;
        }
    }
    return changed;
}

std::string recording_name(int k, const void* names) {
    std::string path = screenshot_name(k, names);
    return path.substr(0, path.size() - 4) + ".gif";
}
