#include "base/assert.h"

#include <cstdio>
#include <cstdlib>

void assertion_failed(const char* file, int line, const char* condition, const char* message) {
    std::fprintf(stderr, "%s:%d: broken invariant: %s (%s)\n", file, line, message, condition);
    std::fflush(stderr);
    std::abort();
}
