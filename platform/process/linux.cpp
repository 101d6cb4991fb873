#include "platform/process/process.h"

#include <unistd.h>

std::string program_path(const char* argv0) {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n > 0) return std::string(buffer, static_cast<std::size_t>(n));
    return argv0 != nullptr ? std::string(argv0) : std::string();
}

bool stderr_is_terminal() { return isatty(STDERR_FILENO) != 0; }
