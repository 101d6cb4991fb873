// A page cannot write files where the user would find them, so a screenshot becomes a download
// of the canvas. The browser snapshots the canvas at once, while it still holds the frame just
// drawn (before the frame is handed over, which clears it); encoding and saving follow later.
#include <emscripten.h>

#include <cstdio>

#include "app/gl/callbacks.h"
#include "app/play.h"

// JavaScript, which the formatter would break:
// clang-format off
EM_JS(int, page_download_canvas, (), {
    const canvas = Module["canvas"];
    if (!canvas || !canvas.toBlob) return 0;
    const now = new Date();
    const two = (n) => String(n).padStart(2, "0");
    const name = "tarnwell-" + now.getFullYear() + two(now.getMonth() + 1) + two(now.getDate()) +
                 "-" + two(now.getHours()) + two(now.getMinutes()) + two(now.getSeconds()) + ".png";
    canvas.toBlob((blob) => {
        if (!blob) return;
        const link = document.createElement("a");
        link.href = URL.createObjectURL(blob);
        link.download = name;
        link.click();
        setTimeout(() => URL.revokeObjectURL(link.href), 10000);
    }, "image/png");
    return 1;
});
// clang-format on

bool take_screenshot(const char*) {
    if (page_download_canvas() != 0) return true;
    std::fprintf(stderr, "Screenshot not saved: the browser cannot save the canvas\n");
    set_status(play_state, "screenshot not saved: the browser cannot save the canvas");
    return false;
}

// The browser saves the download on its own; there is nothing to wait for or report.
void poll_screenshots() {}
bool finish_screenshots() {
    return true;
}
