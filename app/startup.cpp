#include "app/startup.h"

#include "platform/process/process.h"

std::string exe_folder;

std::string exe_folder_of(const char* path) {
    if (path == nullptr) return std::string();
    std::string folder(path);
    const std::string::size_type slash = folder.rfind('/');
    if (slash == std::string::npos) return std::string();
    folder.resize(slash + 1);
    return folder;
}

std::string program_folder(const char* argv0) {
    return exe_folder_of(program_path(argv0).c_str());
}
