#pragma once
#include <cstdint>

// Timing gathered between two title updates. Times are milliseconds of the GLUT clock.
struct FrameStats {
    int32_t frame_start_ms; // start of the last frame
    float elapsed_ms;       // start-to-start intervals since the last title update
    int32_t frame_count;    // frames since the last title update
    float physics_ms;       // physics time of those frames
    float render_ms;        // clear, draw and swap time of those frames
};

constexpr int title_text_size = 256;

extern FrameStats frame_stats;
extern char title_text[title_text_size];

// "<program>   <<<   FPS: ..   Render: ..   Phys: ..   Count: ..   >>>" into `out`
// (title_text_size chars, cut short rather than overrun).
void format_title(char* out, int32_t fps, float render_ms, float physics_ms, int32_t count);

// Adds one frame: the interval since `previous` (the last frame's start), physics t0..t1 and
// drawing t1..t2. Once more than a second of intervals has gathered, writes the averages into
// `title`, keeps the excess over 1000 ms and empties the other sums; returns whether it did.
bool record_frame(FrameStats& stats, int32_t previous, int32_t t0, int32_t t1, int32_t t2,
                  int32_t count, char* title);
