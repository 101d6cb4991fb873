#pragma once
#include <cstdint>

#include "sph/physics_step.h"

// What the steps of the current second took, gathered step by step (add_step).
struct StepTimeSums {
    double stage_ms[step_stage_count];
    int32_t steps;
    double simulated_s; // the steps' timesteps added up
};

// The overlay's figures of the last whole second; `known` once a second has passed.
struct LiveFigures {
    bool known;
    int32_t fps;
    double simulated_per_wall;         // simulated seconds per wall second: 1 in real time
    double stage_ms[step_stage_count]; // each stage's mean per step
    double step_ms;                    // their sum
    int32_t steps;                     // steps run in that second
};

// Timing gathered between two title updates. Times are milliseconds of the GLUT clock.
struct FrameStats {
    int32_t frame_start_ms; // start of the last frame
    float elapsed_ms;       // start-to-start intervals since the last title update
    int32_t frame_count;    // frames since the last title update
    float physics_ms;       // physics time of those frames
    float render_ms;        // clear, draw and swap time of those frames
    StepTimeSums steps;     // the steps of those frames
    LiveFigures live;       // of the last whole second
};

constexpr int title_text_size = 256;

extern FrameStats frame_stats;
extern char title_text[title_text_size];

// "<program>   <<<   FPS: ..   Render: ..   Phys: ..   Count: ..   >>>" into `out`
// (title_text_size chars, cut short rather than overrun).
void format_title(char* out, int32_t fps, float render_ms, float physics_ms, int32_t count);

// Adds one physics step of `timestep` simulated seconds to the second being gathered.
void add_step(StepTimeSums& sums, const StepProfile& profile, double timestep);

// Adds one frame: the interval since `previous` (the last frame's start), physics t0..t1 and
// drawing t1..t2. Once more than a second of intervals has gathered, writes the averages into
// `title` and the second's figures into stats.live (the steps added since the last update over
// the wall time of the frames), keeps the excess over 1000 ms and empties the other sums;
// returns whether it did.
bool record_frame(FrameStats& stats, int32_t previous, int32_t t0, int32_t t1, int32_t t2,
                  int32_t count, char* title);
