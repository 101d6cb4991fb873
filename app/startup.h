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

#include <cstdint>
#include <cstdio>

struct GraphConfig;
struct PhysConfig;
struct WrittenSettings;

// What a run asks of its settings beyond the file: tarnwell-sim's --threads and --surface.
struct SettingsRequest {
    int threads = -1;          // 0 or more: in place of the threads setting
    bool outline_used = false; // the outline is built whatever render_type says: check it too
};

// The settings a simulation starts from, as every start takes them (both programs, r and l):
// the fix-ups between settings, the request's overrides, the checks (each refusal a line on
// `err`) and, with `warn`, a warning for each setting that will make the fluid blow up.
// `graph` and `phys` hold the chosen settings on entry and the ones to run on return; `written`
// (may be null) the texts they were read from. Returns false when any setting is refused.
bool settle_settings(GraphConfig* graph, PhysConfig* phys, const WrittenSettings* written,
                     const SettingsRequest& request, bool warn, std::FILE* err);

// Reads the settings file at `path` and settles its settings: what start-up and l do. A file
// `named` on the command line must exist and be readable; the one beside the program may be
// missing (every default). `file_graph` and `file_phys` receive the file's settings before the
// fix-ups, from which the keys in play start. Returns false, with the reasons on `err`, when the
// file cannot be read or its settings are refused.
bool read_settings(const char* path, bool named, const SettingsRequest& request,
                   GraphConfig* file_graph, PhysConfig* file_phys, GraphConfig* graph,
                   PhysConfig* phys, WrittenSettings* written, std::FILE* err);

// Builds the simulation from settled settings and `seed`; says so on `err` when memory runs out.
bool start_simulation(const GraphConfig& graph, const PhysConfig& phys, uint32_t seed,
                      std::FILE* err);
