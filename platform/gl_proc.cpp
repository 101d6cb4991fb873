#include "platform/gl_proc.h"

#include <GL/freeglut.h>

GlProc gl_get_proc_address(const char* name) {
    return reinterpret_cast<GlProc>(glutGetProcAddress(name));
}
