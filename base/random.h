#pragma once
#include <cstdint>

// The program's single random generator: state = state * 214013 + 2531011 (mod 2^32), each
// draw is bits 16..30 of the new state (0..32767). Particle seeding draws first, body
// generation continues the same sequence, so one seed reproduces the whole scene.
void rng_seed(uint32_t seed);
int32_t rng_draw();
uint32_t rng_state();
