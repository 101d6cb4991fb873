#include "platform/swap_control.h"

#include <GL/glx.h>

#include "platform/gl_proc.h"

void disable_vsync() {
    Display* display = glXGetCurrentDisplay();
    const GLXDrawable drawable = glXGetCurrentDrawable();
    if (display == nullptr || drawable == 0) return;
    // Mesa hands out a stub for any name it is asked, so only an advertised extension counts.
    const char* glx_extensions = glXQueryExtensionsString(display, DefaultScreen(display));

    if (extension_listed(glx_extensions, "GLX_EXT_swap_control")) {
        using SwapIntervalExt = void (*)(Display*, GLXDrawable, int);
        auto swap_interval =
            reinterpret_cast<SwapIntervalExt>(gl_get_proc_address("glXSwapIntervalEXT"));
        if (swap_interval != nullptr) {
            swap_interval(display, drawable, 0);
            return;
        }
    }
    if (extension_listed(glx_extensions, "GLX_MESA_swap_control")) {
        using SwapIntervalMesa = int (*)(unsigned int);
        auto swap_interval =
            reinterpret_cast<SwapIntervalMesa>(gl_get_proc_address("glXSwapIntervalMESA"));
        if (swap_interval != nullptr) swap_interval(0);
    }
}
