#pragma once
#include <cstdio>
#include <ctime>
#include <string>

// Opens a new file for a screenshot taken at `when` (local time) in `folder` ("" for the
// current one): tarnwell-YYYYMMDD-HHMMSS.png, or with -2, -3, ... before ".png" when that name
// is taken. An existing file is never opened, even when another program creates one between
// the look and the open. Returns the open file and its name in `path`, or null with errno set
// (after 1000 names taken, EEXIST).
std::FILE* open_new_screenshot(const std::string& folder, std::time_t when, std::string* path);
