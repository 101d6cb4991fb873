#include <emscripten.h>

#include "platform/window.h"

// The page decides where the line goes (its status line); without a page hook it is dropped.
EM_JS(void, page_show_title, (const char* text), {
    if (Module["onTitle"]) Module["onTitle"](UTF8ToString(text));
});

void show_title(const char* text) { page_show_title(text); }

void return_from_main_loop_on_close() {}
