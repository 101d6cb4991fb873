#pragma once
#include <string>

struct GraphConfig;
struct PhysConfig;

// The program's own folder, ending in '/' (or empty): config.ini, vs.glsl and fs.glsl live there.
extern std::string exe_folder;

constexpr const char* program_title = "Tarnwell SPH v 1.09a";

// Folder part of a program path, up to and including its last '/'; empty without one.
std::string exe_folder_of(const char* program_path);

// Settings that depend on each other, written into the records so every reader sees them:
// mode 1 has no colours, diffusion or bodies; density colours do not diffuse.
void apply_fixups(GraphConfig& graph, PhysConfig& phys);
