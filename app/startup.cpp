#include "app/startup.h"

#include <unistd.h>

#include <vector>

std::string exe_folder;

std::string exe_folder_of(const char* program_path) {
    if (program_path == nullptr) return std::string();
    std::string folder(program_path);
    const std::string::size_type slash = folder.rfind('/');
    if (slash == std::string::npos) return std::string();
    folder.resize(slash + 1);
    return folder;
}

std::string program_folder(const char* argv0) {
    // readlink does not say whether it cut the name short: grow until the answer fits.
    for (size_t size = 256; size <= (size_t{1} << 20); size *= 2) {
        std::vector<char> buffer(size);
        const ssize_t n = readlink("/proc/self/exe", buffer.data(), size);
        if (n < 0) break;
        if (static_cast<size_t>(n) < size) {
            const std::string path(buffer.data(), static_cast<size_t>(n));
            return exe_folder_of(path.c_str());
        }
    }
    return exe_folder_of(argv0);
}
