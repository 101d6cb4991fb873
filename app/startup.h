#pragma once
#include <string>

constexpr const char* program_title = "Tarnwell SPH v 1.09a";

// The program's own folder, '/' included (empty when started by a bare name). config.ini,
// vs.glsl and fs.glsl are looked up with it as prefix.
extern std::string exe_folder;

// Folder part of a program path, up to and including its last '/'; empty without one or for a
// null path.
std::string exe_folder_of(const char* path);

// The folder of the running executable itself (/proc/self/exe), however it was started: by a
// bare name through PATH, through a link, from anywhere. Falls back to exe_folder_of(argv0)
// where /proc is missing.
std::string program_folder(const char* argv0);
