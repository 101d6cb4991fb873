#include "platform/gl_proc.h"

#include <GL/freeglut.h>

#include <cstring>

GlProc gl_get_proc_address(const char* name) {
    return reinterpret_cast<GlProc>(glutGetProcAddress(name));
}

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
