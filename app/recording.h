#pragma once
// Recordings as animated GIFs, the parts decided without GL or giflib: the frame size, which
// frames are kept, scaling the window's pixels down and mapping them onto the fixed palette,
// and which pixels changed since the last frame kept. The window program's writer
// (app/gl/desktop/gif_file.cpp) sizes its buffers once per recording and calls these per frame.
#include <cstdint>
#include <ctime>
#include <string>

// The GIF plays this many hundredths of a second per frame kept: 25 frames a second.
constexpr int record_frame_delay_cs = 4;
// Palette entries: a 6 x 7 x 6 colour cube (0..251), three greys, and the index that marks a
// pixel left as it was in the frame before.
constexpr int record_palette_size = 256;
constexpr uint8_t record_unchanged = 255;

struct RecordSize {
    int width;
    int height;
};
// A recording's frame size for a window of window_w x window_h pixels: the longer side at most
// `record_size`, never larger than the window, the window's shape kept, each side at least 1.
RecordSize record_frame_size(int window_w, int window_h, int record_size);

// Whether frame `j` since the recording began (0 the first) is kept when one in `every` is: the
// first, then every every-th after it. A run of n frames keeps recorded_frame_count(n, every).
bool frame_recorded(int64_t j, int32_t every);
int64_t recorded_frame_count(int64_t n, int32_t every);

// The palette, record_palette_size entries of red, green, blue.
void record_palette(uint8_t (*rgb)[3]);
// Scales `rgb` (w x h, 3 bytes a pixel, rows bottom up as GL reads them) to out_w x out_h palette
// indices in `indices` (rows top down, as GIF stores them): each index is the mean of the
// pixels it covers, dithered with a 4 x 4 ordered pattern onto the colour cube.
void index_frame(const uint8_t* rgb, int w, int h, uint8_t* indices, int out_w, int out_h);
// Replaces each index equal to the one in `previous` by record_unchanged and makes `previous`
// the frame as shown; returns how many pixels changed. Filling `previous` with record_unchanged
// makes every pixel of the next frame change.
int64_t keep_changes(uint8_t* indices, uint8_t* previous, int64_t count);

// The names of the recordings the key starts at `when` (local time) in the current folder:
// tarnwell-YYYYMMDD-HHMMSS.gif, then -2, -3, ... before ".gif" (for commit_output_new).
std::string recording_name(int k, const void* names);
