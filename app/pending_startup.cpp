// Placeholder until the start-up logic lands; delete with that change.
#include "app/startup.h"
std::string exe_folder;
std::string exe_folder_of(const char*) { return std::string(); }
void apply_fixups(GraphConfig&, PhysConfig&) {}
