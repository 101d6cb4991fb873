#pragma once
#include <string>

// The path of the running program, for finding the files installed beside it: the kernel's
// record of the executable where there is one, else `argv0` as given.
std::string program_path(const char* argv0);

// Whether standard error goes to a terminal (where progress may be redrawn in place).
bool stderr_is_terminal();
