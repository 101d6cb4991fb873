#include "base/colour_map.h"

namespace {
// viridis(9) as published (#440154, #472D7B, #3B528B, #2C728E, #21908C, #27AD81, #5DC863,
// #AADC32, #FDE725), joined by straight lines: at this many stops the steps in lightness stay
// even to the eye.
constexpr int stops = 9;
constexpr unsigned char viridis_stops[stops][3] = {
    {0x44, 0x01, 0x54}, {0x47, 0x2D, 0x7B}, {0x3B, 0x52, 0x8B},
    {0x2C, 0x72, 0x8E}, {0x21, 0x90, 0x8C}, {0x27, 0xAD, 0x81},
    {0x5D, 0xC8, 0x63}, {0xAA, 0xDC, 0x32}, {0xFD, 0xE7, 0x25}};

// Moreland's cool to warm diverging map ("Diverging Color Maps for Scientific Visualization",
// ISVC 2009), its table at every eighth: blue, a neutral grey in the middle, red, with the
// same lightness on both sides of the middle so neither side draws the eye more.
constexpr unsigned char cool_warm_stops[stops][3] = {
    {59, 76, 192},   {98, 130, 234},  {141, 176, 254}, {184, 208, 249}, {221, 221, 221},
    {245, 196, 173}, {244, 154, 123}, {222, 96, 77},   {180, 4, 38}};

float byte(unsigned char b) {
    return static_cast<float>(b) / 255.0f;
}

Color3 between_stops(const unsigned char (*table)[3], float t) {
    if (!(t > 0.0f)) t = 0.0f; // NaN too
    if (t > 1.0f) t = 1.0f;
    const float at = t * static_cast<float>(stops - 1);
    int k = static_cast<int>(at);
    if (k > stops - 2) k = stops - 2;
    const float f = at - static_cast<float>(k);
    const unsigned char* a = table[k];
    const unsigned char* b = table[k + 1];
    return Color3{byte(a[0]) + (byte(b[0]) - byte(a[0])) * f,
                  byte(a[1]) + (byte(b[1]) - byte(a[1])) * f,
                  byte(a[2]) + (byte(b[2]) - byte(a[2])) * f};
}
} // namespace

Color3 viridis(float t) {
    return between_stops(viridis_stops, t);
}

Color3 cool_warm(float t) {
    return between_stops(cool_warm_stops, t);
}

Color3 density_ramp(float t) {
    if (!(t > 1.0f)) return Color3{t, t, 1.0f - t};
    float u = (t - 1.0f) * 0.5f;
    if (u > 1.0f) u = 1.0f;
    return Color3{1.0f, 1.0f - u, 0.0f};
}
