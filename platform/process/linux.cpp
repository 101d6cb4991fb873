#include "platform/process/process.h"

#include <unistd.h>

#include <vector>

std::string program_path(const char* argv0) {
    // readlink does not say whether it cut the name short: grow until the answer fits.
    for (std::size_t size = 256; size <= (std::size_t{1} << 20); size *= 2) {
        std::vector<char> buffer(size);
        const ssize_t n = readlink("/proc/self/exe", buffer.data(), size);
        if (n <= 0) break;
        if (static_cast<std::size_t>(n) < size)
            return std::string(buffer.data(), static_cast<std::size_t>(n));
    }
    return argv0 != nullptr ? std::string(argv0) : std::string();
}

bool stderr_is_terminal() {
    return isatty(STDERR_FILENO) != 0;
}
