#include "app/frame_stats.h"

#include <cstdint>
#include <cstdio>

#include "app/startup.h"

FrameStats frame_stats;
char title_text[title_text_size];

namespace {
// Difference of two clock readings; in 64 bits so a wrapped or bogus reading cannot overflow.
float ms_between(int32_t from, int32_t to) {
    return static_cast<float>(static_cast<int64_t>(to) - static_cast<int64_t>(from));
}
} // namespace

void format_title(char* out, int32_t fps, float render_ms, float physics_ms, int32_t count) {
    std::snprintf(
        out, title_text_size, "%s   <<<   FPS: %d   Render: %0.3f   Phys: %0.3f   Count: %d   >>>",
        program_title, fps, static_cast<double>(render_ms), static_cast<double>(physics_ms), count);
}

void add_step(StepTimeSums& sums, const StepProfile& profile, double timestep) {
    for (int k = 0; k < step_stage_count; ++k)
        sums.stage_ms[k] += profile.stage_ms[k];
    if (sums.steps < INT32_MAX) sums.steps += 1;
    sums.simulated_s += timestep;
}

namespace {
void close_second(FrameStats& stats) {
    LiveFigures& live = stats.live;
    live.known = true;
    live.fps = stats.frame_count;
    const double wall_s = static_cast<double>(stats.elapsed_ms) / 1000.0;
    live.simulated_per_wall = wall_s > 0.0 ? stats.steps.simulated_s / wall_s : 0.0;
    live.steps = stats.steps.steps;
    live.step_ms = 0.0;
    const double k = stats.steps.steps > 0 ? 1.0 / static_cast<double>(stats.steps.steps) : 0.0;
    for (int s = 0; s < step_stage_count; ++s) {
        live.stage_ms[s] = stats.steps.stage_ms[s] * k;
        live.step_ms += live.stage_ms[s];
    }
    stats.steps = StepTimeSums{};
}
} // namespace

bool record_frame(FrameStats& stats, int32_t previous, int32_t t0, int32_t t1, int32_t t2,
                  int32_t count, char* title) {
    stats.elapsed_ms += ms_between(previous, t0);
    stats.physics_ms += ms_between(t0, t1);
    stats.render_ms += ms_between(t1, t2);
    // Saturate rather than overflow should the clock ever stand still for 2^31 frames.
    if (stats.frame_count < INT32_MAX) stats.frame_count += 1;
    if (!(stats.elapsed_ms > 1000.0f)) return false;

    // FPS is the number of frames whose intervals first passed one second, not a measured rate.
    const float k = 1.0f / static_cast<float>(stats.frame_count);
    format_title(title, stats.frame_count, stats.render_ms * k, stats.physics_ms * k, count);
    close_second(stats);
    // Carry the excess so that a stall is paid back over the following frames.
    stats.elapsed_ms -= 1000.0f;
    stats.physics_ms = 0.0f;
    stats.render_ms = 0.0f;
    stats.frame_count = 0;
    return true;
}
