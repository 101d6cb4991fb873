#include "platform/gl_proc.h"

#include <GL/freeglut.h>

GlProc gl_get_proc_address(const char* name) {
    return reinterpret_cast<GlProc>(glutGetProcAddress(name));
}

bool gl_extension_offered(const char* name) {
    return extension_listed(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)), name);
}
