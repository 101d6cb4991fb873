#pragma once
#include <cstddef>
#include <cstdint>

struct PhysConfig;

// Largest timestep at which a particle held against a wall stays bounded, for wall stiffness
// ext_stiff (acceleration per unit of depth) and damping factor damp; infinity when the walls
// set no limit (no stiffness, or damping that stops every motion).
float wall_timestep_limit(float ext_stiff, float damp);

constexpr int max_instabilities = 4;

// One setting that makes the fluid blow up: its key and a sentence on why, with the numbers.
struct Instability {
    const char* key;
    char text[320];
};

// The settings that make the simulation blow up (reach infinity or NaN), the most likely cause
// first; returns how many were found (0 for settings that stay finite).
int find_instabilities(const PhysConfig& phys, Instability out[max_instabilities]);

// The message for a blow-up noticed after step `step` (counted from 1): what happened and the
// setting most likely to blame. Both tools print it; it fits in `size` characters.
void describe_blow_up(char* out, size_t size, int64_t step, const PhysConfig& phys);
