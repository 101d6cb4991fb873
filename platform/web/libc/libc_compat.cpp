#include "platform/web/libc/libc_compat.h"

#include <cstdlib>

extern "C" long strtol_l(const char* text, char** end, int base, locale_t) {
    return std::strtol(text, end, base);
}
