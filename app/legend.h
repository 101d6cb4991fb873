#pragma once
// The colour bar of a scheme that shows a quantity: its title, where its values fall on the bar
// and the colour at any point of it, decided without GL so that the window, the page and the
// tests share it. render/over_fluid.cpp draws it.
#include <cstdint>

#include "base/types.h"

struct SimState;

constexpr int legend_text_size = 24;
constexpr int legend_max_ticks = 3;

struct LegendTick {
    float at; // 0 at the bar's left end, 1 at its right end
    char text[16];
};

// What the bar is scaled to: the settings speed_scale and compression_range, and whether the
// water model runs (its density scheme shows density / rest_density).
struct LegendScales {
    float speed;
    float compression;
    bool water;
};

struct Legend {
    int32_t scheme; // point_colors
    bool water;     // the scheme's map is the water model's
    float bottom;   // the quantity at the bar's left end
    float top;      // the quantity at the bar's right end
    char title[legend_text_size];
    int tick_count;
    LegendTick ticks[legend_max_ticks];
};

// Fills `legend` for colour scheme `scheme` of the running simulation `state`: density (2) from
// 0 to the density where the ramp turns red (the water's: density / rest_density from 0.97 to
// 1.03), speed (3) from 0 to scales.speed, compression (4) over 1 -+ scales.compression.
// Returns false for the schemes without a quantity (white, gradient) and a scale that is not a
// positive number (a compression range of 1 or more, which would start the bar below 0, too).
bool describe_legend(int32_t scheme, const SimState& state, const LegendScales& scales,
                     Legend* legend);
// Where compression `c` (density / rest_density) falls on the compression bar over 1 -+ range.
inline float compression_fraction(float c, float range) {
    return (c - (1.0f - range)) / (2.0f * range);
}
// The colour the particles take at `fraction` of the bar (clamped to 0..1).
Color3 legend_colour(const Legend& legend, float fraction);
// A density of the density scheme, from the kernel sum / (6 h^6) the ramp is drawn over.
float ramp_density(const SimState& state, float t);

// The colour bar's lettering: 7 rows of 5 bits (the high bit leftmost), top row first, for the
// characters the bar writes (digits, ". , - + / ( ) e", the letters of its titles, space); null
// for any other character.
const unsigned char* legend_glyph(char c);
