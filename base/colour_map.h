#pragma once
// The colour maps of the schemes that show a quantity, as functions of a fraction of their
// scale, so that the particles, the colour bar beside them and the tests agree on every colour.
#include "base/types.h"

// Viridis (the perceptually uniform map of matplotlib): dark purple at 0 through blue and green
// to yellow at 1; values outside 0..1, and NaN, take the nearer end (NaN the lower).
Color3 viridis(float t);

// The density scheme's ramp over t = kernel sum / (6 h^6): blue at 0 through grey to yellow at
// t = 1, then through orange to red at t = 3 and above. The same formula as the density stage's
// (sph/density.cpp), which colours the particles; this one draws the colour bar.
Color3 density_ramp(float t);
constexpr float density_ramp_top = 3.0f; // where the ramp reaches red
