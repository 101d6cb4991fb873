#pragma once
#include <ctime>
#include <string>

// The names of the screenshots the s key takes at `when` (local time) in `folder` ("" for the
// current one): tarnwell-YYYYMMDD-HHMMSS.png, then with -2, -3, ... before ".png" for further
// pictures in the same second. Written through commit_output_new, which takes the first name
// that is free, so no existing file is ever replaced.
struct ScreenshotNames {
    std::string folder;
    char stamp[32];
};
ScreenshotNames screenshot_names(const std::string& folder, std::time_t when);
// The k-th name (k from 1); `names` is a ScreenshotNames.
std::string screenshot_name(int k, const void* names);
