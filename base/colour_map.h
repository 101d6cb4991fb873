#pragma once
// The colour maps of the schemes that show a quantity, as functions of a fraction of their
// scale, so that the particles, the colour bar beside them and the tests agree on every colour.
#include "base/types.h"

// Viridis (the perceptually uniform map of matplotlib): dark purple at 0 through blue and green
// to yellow at 1; values outside 0..1, and NaN, take the nearer end (NaN the lower).
Color3 viridis(float t);

// Cool to warm (Moreland's diverging map): blue at 0, grey at 0.5, red at 1; outside 0..1 and
// NaN as viridis.
Color3 cool_warm(float t);

// The density scheme's ramp over t = kernel sum / (6 h^6): blue at 0 through grey to yellow at
// t = 1, then through orange to red at t = 3 and above. The same formula as the density stage's
// (sph/density.cpp), which colours the particles; this one draws the colour bar.
Color3 density_ramp(float t);
constexpr float density_ramp_top = 3.0f; // where the ramp reaches red

// The water's density scheme over its density / rest_density: sky blue at 0.97 and below,
// through grey at 1 to orange at 1.03 and above (sph/water.cpp colours the particles with it).
constexpr float water_ramp_low = 0.97f;
constexpr float water_ramp_span = 0.06f;
inline Color3 water_density_ramp(float ratio) {
    const float t = (ratio - water_ramp_low) / water_ramp_span;
    const float u = t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
    return Color3{u, 0.5f, 1.0f - u};
}
