// A page cannot write files where the user would find them, so a screenshot becomes a download
// of the canvas. The browser snapshots the canvas at once, while it still holds the frame just
// drawn (before the frame is handed over, which clears it); encoding and saving follow later.
#include <emscripten.h>

#include <cstdio>

#include "render/render.h"

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

bool save_back_buffer_png(const char*, std::FILE*, int, int, char* error, int error_size) {
    if (page_download_canvas() != 0) return true;
    std::snprintf(error, static_cast<std::size_t>(error_size), "the browser cannot save the canvas");
    return false;
}
