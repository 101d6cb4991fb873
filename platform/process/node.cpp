#include "platform/process/process.h"

#include <emscripten.h>

// Under node /proc/self/exe is node itself; the runtime hands the script's own path over as
// argv[0] instead.
std::string program_path(const char* argv0) {
    return argv0 != nullptr ? std::string(argv0) : std::string();
}

// The runtime's file system calls every standard stream a terminal; node knows the truth.
// JavaScript, which the formatter would break:
// clang-format off
EM_JS(int, node_stderr_is_tty, (), {
    return (typeof process !== "undefined" && process.stderr && process.stderr.isTTY) ? 1 : 0;
});
// clang-format on

bool stderr_is_terminal() {
    return node_stderr_is_tty() != 0;
}
