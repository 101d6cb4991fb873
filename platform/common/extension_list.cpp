#include <cstring>

#include "platform/gl_proc.h"

bool extension_listed(const char* list, const char* name) {
    if (list == nullptr || name == nullptr) return false;
    const std::size_t n = std::strlen(name);
    if (n == 0) return false;
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += n) {
        const bool starts = p == list || p[-1] == ' ';
        const bool ends = p[n] == ' ' || p[n] == '\0';
        if (starts && ends) return true;
    }
    return false;
}
