#include "app/screenshot_file.h"

ScreenshotNames screenshot_names(const std::string& folder, std::time_t when) {
    ScreenshotNames names{folder, {}};
    std::tm local{};
    if (localtime_r(&when, &local) == nullptr) local = std::tm{};
    std::strftime(names.stamp, sizeof names.stamp, "%Y%m%d-%H%M%S", &local);
    return names;
}

std::string screenshot_name(int k, const void* context) {
    const ScreenshotNames& names = *static_cast<const ScreenshotNames*>(context);
    std::string path = names.folder + "tarnwell-" + names.stamp;
    if (k > 1) path += "-" + std::to_string(k);
    return path + ".png";
}
