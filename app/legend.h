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

struct Legend {
    int32_t scheme; // point_colors
    float top;      // the quantity at the bar's right end
    char title[legend_text_size];
    int tick_count;
    LegendTick ticks[legend_max_ticks];
};

// Fills `legend` for colour scheme `scheme` of the running simulation `state`: density (2) from
// 0 to the density where the ramp turns red, speed (3) from 0 to `speed_scale`. Returns false for
// the schemes without a quantity (white, gradient) and a scale that is not a positive number.
bool describe_legend(int32_t scheme, const SimState& state, float speed_scale, Legend* legend);
// The colour the particles take at `fraction` of the bar (clamped to 0..1).
Color3 legend_colour(const Legend& legend, float fraction);
// A density of the density scheme, from the kernel sum / (6 h^6) the ramp is drawn over.
float ramp_density(const SimState& state, float t);

// The colour bar's lettering: 7 rows of 5 bits (the high bit leftmost), top row first, for the
// characters the bar writes (digits, ". , - + / ( ) e", the letters of its titles, space); null
// for any other character.
const unsigned char* legend_glyph(char c);
