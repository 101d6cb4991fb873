#include <emscripten.h>

#include "platform/window.h"

// The page decides where the lines go; without its hooks they are dropped.
// JavaScript, which the formatter would break:
// clang-format off
EM_JS(void, page_show_title, (const char* text), {
    if (Module["onTitle"]) Module["onTitle"](UTF8ToString(text));
});
// clang-format on

// JavaScript, which the formatter would break:
// clang-format off
EM_JS(void, page_stopped, (), {
    if (Module["onStop"]) Module["onStop"]();
});
// clang-format on

// The browser allows fullscreen only from an input event, which a key press is.
// JavaScript, which the formatter would break:
// clang-format off
EM_JS(void, page_toggle_fullscreen, (), {
    if (document.fullscreenElement) {
        document.exitFullscreen();
    } else if (Module["canvas"].requestFullscreen) {
        Module["canvas"].requestFullscreen();
    }
});
// clang-format on

void show_title(const char* text) {
    page_show_title(text);
}

void return_from_main_loop_on_close() {}

void on_window_close(void (*)()) {}

void on_window_status_change(void (*)(int)) {}

namespace {
void no_frame() {}
} // namespace

void leave_main_loop() {
    // No more frames: nothing asks for them and a frame already asked for draws nothing, so the
    // canvas keeps the last picture. (An empty display function would be called all the same.)
    glutIdleFunc(nullptr);
    glutDisplayFunc(no_frame);
    page_stopped();
}

int freeglut_button(int button) {
    if (button == 3) return 4;
    if (button == 4) return 3;
    return button;
}

void toggle_fullscreen() {
    page_toggle_fullscreen();
}
