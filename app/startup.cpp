#include "app/startup.h"

std::string exe_folder;

std::string exe_folder_of(const char* program_path) {
    if (program_path == nullptr) return std::string();
    std::string folder(program_path);
    const std::string::size_type slash = folder.rfind('/');
    if (slash == std::string::npos) return std::string();
    folder.resize(slash + 1);
    return folder;
}
