#pragma once
// Plain value types shared by the simulation and the drawing. They are packed without gaps so
// that the particle and corner arrays can go to OpenGL as client-side vertex arrays unchanged.

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
