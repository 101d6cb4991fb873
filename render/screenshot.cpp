#include <GL/gl.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "render/render.h"

bool save_back_buffer_png(const char* path, std::FILE* file, int width, int height, char* error,
                          int error_size) {
    if (width <= 0 || height <= 0) {
        std::snprintf(error, static_cast<size_t>(error_size), "the window has no area (%d x %d)",
                      width, height);
        return false;
    }
    const size_t row = static_cast<size_t>(width) * 3;
    // Allocated per picture, not per frame: screenshots are rare.
    std::unique_ptr<unsigned char[]> pixels(new (std::nothrow)
                                                unsigned char[row * static_cast<size_t>(height)]);
    if (!pixels) {
        std::snprintf(error, static_cast<size_t>(error_size), "no memory for %d x %d pixels",
                      width, height);
        return false;
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.get());

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    // GL's rows run bottom to top: a negative stride writes them top to bottom.
    const png_int_32 stride = -static_cast<png_int_32>(row);
    const int written =
        file != nullptr
            ? png_image_write_to_stdio(&image, file, 0, pixels.get(), stride, nullptr)
            : png_image_write_to_file(&image, path, 0, pixels.get(), stride, nullptr);
    if (written == 0) {
        std::snprintf(error, static_cast<size_t>(error_size), "%s", image.message);
        png_image_free(&image);
        return false;
    }
    return true;
}
