#include "platform/program_path.h"

// Under node /proc/self/exe is node itself; the runtime hands the script's own path over as
// argv[0] instead.
std::string program_path(const char* argv0) {
    return argv0 != nullptr ? std::string(argv0) : std::string();
}
