#include "base/random.h"

namespace {
uint32_t state = 0;
}

void rng_seed(uint32_t seed) {
    state = seed;
}

int32_t rng_draw() {
    state = state * 214013u + 2531011u; // unsigned: wraps modulo 2^32 by definition
    return static_cast<int32_t>((state >> 16) & 0x7fffu);
}

uint32_t rng_state() {
    return state;
}
