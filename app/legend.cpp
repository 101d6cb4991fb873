#include "app/legend.h"

#include <cstdio>
#include <cstring>

#include "base/colour_map.h"
#include "sph/sim_state.h"

namespace {

struct Glyph {
    char c;
    unsigned char rows[7];
};
// A 5 x 7 font, enough for numbers and the titles.
constexpr Glyph glyphs[] = {
    {' ', {0, 0, 0, 0, 0, 0, 0}},
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'.', {0, 0, 0, 0, 0, 0x0C, 0x0C}},
    {',', {0, 0, 0, 0, 0x0C, 0x04, 0x08}},
    {'-', {0, 0, 0, 0x1F, 0, 0, 0}},
    {'+', {0, 0x04, 0x04, 0x1F, 0x04, 0x04, 0}},
    {'/', {0, 0x01, 0x02, 0x04, 0x08, 0x10, 0}},
    {'(', {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02}},
    {')', {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08}},
    {'b', {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x1E}},
    {'d', {0x01, 0x01, 0x0D, 0x13, 0x11, 0x11, 0x0F}},
    {'e', {0, 0, 0x0E, 0x11, 0x1F, 0x10, 0x0E}},
    {'i', {0x04, 0, 0x0C, 0x04, 0x04, 0x04, 0x0E}},
    {'n', {0, 0, 0x16, 0x19, 0x11, 0x11, 0x11}},
    {'o', {0, 0, 0x0E, 0x11, 0x11, 0x11, 0x0E}},
    {'p', {0, 0, 0x1E, 0x11, 0x1E, 0x10, 0x10}},
    {'r', {0, 0, 0x16, 0x19, 0x10, 0x10, 0x10}},
    {'s', {0, 0, 0x0F, 0x10, 0x0E, 0x01, 0x1E}},
    {'t', {0x08, 0x08, 0x1C, 0x08, 0x08, 0x09, 0x06}},
    {'x', {0, 0, 0x11, 0x0A, 0x04, 0x0A, 0x11}},
    {'y', {0, 0, 0x11, 0x11, 0x0F, 0x01, 0x0E}},
};

void set_tick(LegendTick* tick, float at, float value) {
    tick->at = at;
    std::snprintf(tick->text, sizeof tick->text, "%.4g", static_cast<double>(value));
}

} // namespace

float ramp_density(const SimState& state, float t) {
    const float h2 = state.smooth_radius * state.smooth_radius;
    return state.poly6_coef * (6.0f * h2 * h2 * h2) * t;
}

bool describe_legend(int32_t scheme, const SimState& state, const LegendScales& scales,
                     Legend* legend) {
    *legend = Legend{};
    legend->scheme = scheme;
    legend->water = scales.water;
    const float speed_scale = scales.speed;
    if (scheme == 2 && scales.water) {
        legend->bottom = water_ramp_low;
        legend->top = water_ramp_low + water_ramp_span;
        std::snprintf(legend->title, sizeof legend->title, "density/rest");
        set_tick(&legend->ticks[0], 0.0f, legend->bottom);
        set_tick(&legend->ticks[1], 0.5f, 1.0f);
        set_tick(&legend->ticks[2], 1.0f, legend->top);
    } else if (scheme == 4) {
        const float range = scales.compression;
        if (!(range > 0.0f) || !(range < 1.0f)) return false;
        legend->bottom = 1.0f - range;
        legend->top = 1.0f + range;
        std::snprintf(legend->title, sizeof legend->title, "density/rest");
        set_tick(&legend->ticks[0], 0.0f, legend->bottom);
        set_tick(&legend->ticks[1], 0.5f, 1.0f);
        set_tick(&legend->ticks[2], 1.0f, legend->top);
    } else if (scheme == 2) {
        // Yellow (t = 1) between blue and red (t = 3) is worth a value of its own.
        legend->top = ramp_density(state, density_ramp_top);
        std::snprintf(legend->title, sizeof legend->title, "density");
        set_tick(&legend->ticks[0], 0.0f, 0.0f);
        set_tick(&legend->ticks[1], 1.0f / density_ramp_top, ramp_density(state, 1.0f));
        set_tick(&legend->ticks[2], 1.0f, legend->top);
    } else if (scheme == 3) {
        if (!(speed_scale > 0.0f) || !(speed_scale < 3.4e38f)) return false;
        legend->top = speed_scale;
        std::snprintf(legend->title, sizeof legend->title, "speed, box/s");
        set_tick(&legend->ticks[0], 0.0f, 0.0f);
        set_tick(&legend->ticks[1], 0.5f, 0.5f * speed_scale);
        set_tick(&legend->ticks[2], 1.0f, speed_scale);
    } else {
        return false;
    }
    legend->tick_count = legend_max_ticks;
    return true;
}

Color3 legend_colour(const Legend& legend, float fraction) {
    if (!(fraction > 0.0f)) fraction = 0.0f;
    if (fraction > 1.0f) fraction = 1.0f;
    if (legend.scheme == 2 && legend.water)
        return water_density_ramp(water_ramp_low + fraction * water_ramp_span);
    if (legend.scheme == 2) return density_ramp(fraction * density_ramp_top);
    if (legend.scheme == 4) return cool_warm(fraction);
    return viridis(fraction);
}

const unsigned char* legend_glyph(char c) {
    for (const Glyph& g : glyphs)
        if (g.c == c) return g.rows;
    return nullptr;
}
