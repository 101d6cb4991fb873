#include "io/small_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

SmallFileRead read_small_file(const char* path, std::string* text) {
    text->clear();
    // Non-blocking, so that opening a FIFO with no writer returns at once instead of hanging;
    // anything but a regular file is refused below before a byte is read.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return SmallFileRead{errno == ENOENT ? SmallFileRead::missing : SmallFileRead::unreadable,
                             errno};
    struct stat st;
    SmallFileRead result{SmallFileRead::ok, 0};
    if (fstat(fd, &st) != 0) {
        result = SmallFileRead{SmallFileRead::unreadable, errno};
    } else if (!S_ISREG(st.st_mode)) {
        result = SmallFileRead{SmallFileRead::not_regular, 0};
    } else if (st.st_size > small_file_max_size) {
        result = SmallFileRead{SmallFileRead::too_large, 0};
    } else {
        // Read up to one byte past the limit: a file still growing is caught too.
        char buffer[65536];
        for (;;) {
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                result = SmallFileRead{SmallFileRead::unreadable, errno};
                break;
            }
            if (n == 0) break;
            text->append(buffer, static_cast<size_t>(n));
            if (text->size() > static_cast<size_t>(small_file_max_size)) {
                result = SmallFileRead{SmallFileRead::too_large, 0};
                break;
            }
        }
    }
    close(fd);
    if (result.status != SmallFileRead::ok) {
        text->clear();
        return result;
    }
    // A UTF-8 byte-order mark (editors on Windows write one) is not part of the first line.
    if (text->compare(0, 3, "\xEF\xBB\xBF") == 0) text->erase(0, 3);
    return result;
}

std::string small_file_reason(const SmallFileRead& load) {
    switch (load.status) {
    case SmallFileRead::ok:
        return "read";
    case SmallFileRead::not_regular:
        return "not a regular file (a folder, device or pipe)";
    case SmallFileRead::too_large:
        return "larger than " + std::to_string(small_file_max_size / (1024 * 1024)) +
               " MiB, too large for a settings or shader file";
    case SmallFileRead::missing:
    case SmallFileRead::unreadable:
        break;
    }
    return std::strerror(load.error);
}

void strip_cr_before_lf(std::string* text) {
    std::size_t out = 0;
    for (std::size_t in = 0; in < text->size(); ++in) {
        if ((*text)[in] == '\r' && in + 1 < text->size() && (*text)[in + 1] == '\n') continue;
        (*text)[out++] = (*text)[in];
    }
    text->resize(out);
}
