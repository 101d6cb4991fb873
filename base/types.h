#pragma once
// Plain value types shared by the simulation and the drawing. They are packed without gaps so
// that the particle and corner arrays can go to OpenGL as client-side vertex arrays unchanged.
#include <cstdint>
#include <cstring>

struct Vec2 {
    float x;
    float y;
};

struct Color3 {
    float r;
    float g;
    float b;
};

static_assert(sizeof(Vec2) == 8, "Vec2 must be two packed floats");
static_assert(sizeof(Color3) == 12, "Color3 must be three packed floats");

// Whether a float as stored in memory is finite: its eight exponent bits are not all ones.
// Judging the stored bits rather than the value keeps the x87 build, whose registers are wider
// than a float, from calling finite what memory holds as infinity.
inline bool stored_finite(const float& value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return (bits & 0x7f800000u) != 0x7f800000u;
}
