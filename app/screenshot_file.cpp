#include "app/screenshot_file.h"

#include <cerrno>

std::FILE* open_new_screenshot(const std::string& folder, std::time_t when, std::string* path) {
    std::tm local{};
    if (localtime_r(&when, &local) == nullptr) local = std::tm{};
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    for (int k = 1; k <= 1000; ++k) {
        *path = folder + "tarnwell-" + stamp;
        if (k > 1) *path += "-" + std::to_string(k);
        *path += ".png";
        // "x": fail rather than replace, atomically (O_CREAT | O_EXCL).
        if (std::FILE* file = std::fopen(path->c_str(), "wbx")) return file;
        if (errno != EEXIST) return nullptr;
    }
    errno = EEXIST;
    return nullptr;
}
