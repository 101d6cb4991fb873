#pragma once
// The desktop's screenshots: the back buffer read out and written as PNG (libpng).
#include <cstdio>

// Screenshots are refused above this side: 8192 x 8192 is 200 MB of pixels and seconds of
// encoding already.
constexpr int max_screenshot_side = 8192;
// Copies the back buffer of the frame just drawn (width x height from the lower left) into
// `rgb`: 3 bytes a pixel, rows from the bottom up.
void read_back_buffer(int width, int height, unsigned char* rgb);
// Encodes such pixels as PNG, rows turned top down, and writes them to `out`. Returns 0, or the
// errno of what failed with the reason in `error` (error_size chars). Needs no GL context.
int write_png(std::FILE* out, const unsigned char* rgb, int width, int height, char* error,
              int error_size);
