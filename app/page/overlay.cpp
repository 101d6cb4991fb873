// The page shows the overlay as text over the canvas: WebGL has no bitmap fonts, and a page has
// no window title to compete with. Same lines as the desktop overlay.
#include <emscripten.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/frame_stats.h"
#include "app/gl/callbacks.h"
#include "app/play.h"
#include "sph/sim_state.h"

namespace {
// Filled each frame the overlay is shown; kept here so that nothing is allocated per frame.
char lines[overlay_max_lines + 1][overlay_line_size];
constexpr int text_size = (overlay_max_lines + 1) * overlay_line_size;
char text[text_size];
char shown[text_size]; // what the page shows: it hears only of changes
} // namespace

// JavaScript, which the formatter would break:
// clang-format off
EM_JS(void, page_show_overlay, (const char* text, int status_line), {
    if (Module["onOverlay"]) Module["onOverlay"](UTF8ToString(text), status_line);
});
// clang-format on

// JavaScript, which the formatter would break:
// clang-format off
EM_JS(void, page_show_keys, (const char* text), {
    if (Module["onKeys"]) Module["onKeys"](UTF8ToString(text));
});
// clang-format on

namespace {
// The page lists the keys as --help does, once.
void send_key_help() {
    char* help = nullptr;
    std::size_t size = 0;
    if (std::FILE* out = open_memstream(&help, &size)) {
        print_key_help(out);
        std::fclose(out);
        page_show_keys(help);
    }
    std::free(help);
}
} // namespace

void draw_overlay() {
    static bool keys_sent = false;
    if (!keys_sent) {
        keys_sent = true;
        send_key_help();
    }
    const PlayState& play = play_state;
    const bool status = play.status[0] != '\0';
    int n =
        play.overlay ? format_overlay(play, sim, frame_stats.live, lines, overlay_max_lines) : 0;
    if (status) std::memcpy(lines[n++], play.status, overlay_line_size - 1);
    std::size_t used = 0;
    for (int i = 0; i < n; ++i) {
        lines[i][overlay_line_size - 1] = '\0';
        const std::size_t length = std::strlen(lines[i]);
        std::memcpy(text + used, lines[i], length);
        used += length;
        if (i + 1 < n) text[used++] = '\n';
    }
    text[used] = '\0';
    if (std::strcmp(text, shown) == 0) return;
    std::memcpy(shown, text, used + 1);
    page_show_overlay(text, status ? 1 : 0);
}
