#include <GL/gl.h>
#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "app/gl/desktop/png_file.h"

void read_back_buffer(int width, int height, unsigned char* rgb) {
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb);
}

int write_png(std::FILE* out, const unsigned char* rgb, int width, int height, char* error,
              int error_size) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    // GL's rows run bottom to top: a negative stride writes them top to bottom.
    const png_int_32 stride = -static_cast<png_int_32>(width * 3);
    // Encoded into memory first and written by us, so that a failed write has its own errno
    // (libpng's stdio writer reports every failure as "Write Error").
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(image);
    std::unique_ptr<unsigned char[]> encoded(new (std::nothrow) unsigned char[size]);
    if (!encoded) {
        std::snprintf(error, static_cast<size_t>(error_size), "no memory to encode %d x %d pixels",
                      width, height);
        return ENOMEM;
    }
    if (png_image_write_to_memory(&image, encoded.get(), &size, 0, rgb, stride, nullptr) == 0) {
        std::snprintf(error, static_cast<size_t>(error_size), "%s", image.message);
        png_image_free(&image);
        return EIO;
    }
    errno = 0;
    if (std::fwrite(encoded.get(), 1, size, out) != size) {
        const int e = errno != 0 ? errno : EIO;
        std::snprintf(error, static_cast<size_t>(error_size), "%s", std::strerror(e));
        return e;
    }
    return 0;
}
