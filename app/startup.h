#pragma once
#include <string>

constexpr const char* program_title = "Tarnwell SPH v 1.09a";

// The folder of the program's data, '/' included: its own folder (empty when started by a bare
// name), or the installed data folder (data_folder). config.ini, vs.glsl, fs.glsl and scenes/
// are looked up with it as prefix.
extern std::string exe_folder;

// Folder part of a program path, up to and including its last '/'; empty without one or for a
// null path.
std::string exe_folder_of(const char* path);

// The folder of the running executable itself (/proc/self/exe), however it was started: by a
// bare name through PATH, through a link, from anywhere. Falls back to exe_folder_of(argv0)
// where /proc is missing.
std::string program_folder(const char* argv0);

// Where the data of a program in `folder` (program_folder's) is: an installed program finds
// it in installed_data_path relative to its own folder (../share/tarnwell from bin/), which the
// install marks with config.ini; a program anywhere else, a build folder among them, beside
// itself. Either way with a '/' at the end, or empty for an empty `folder`.
std::string data_folder(const std::string& folder);
extern const char* const installed_data_path;

#include <cstdint>
#include <cstdio>

#include "config/scene.h"

struct GraphConfig;
struct PhysConfig;
struct WrittenSettings;

// The scene of the running simulation, beside graph_config and phys_config: what a restart
// that runs out of memory brings back.
extern SceneDescription running_scene;

// What a run asks of its settings beyond the file: tarnwell-sim's --threads and --surface, and
// --scene (or the scene the e key moves to).
struct SettingsRequest {
    int threads = -1;            // 0 or more: in place of the threads setting
    bool outline_used = false;   // the outline is built whatever render_type says: check it too
    const char* scene = nullptr; // non-empty: in place of the scene setting
    int solver = -1;             // 0 or 1: in place of the solver setting
};

// The settings a simulation starts from, as every start takes them (both programs, r, l and e):
// the fix-ups between settings, the request's overrides, the particle count of the scene's
// lattice blocks (when it has any), the checks (each refusal a line on `err`) and, with `warn`,
// a warning for each setting that will make the fluid blow up. `graph` and `phys` hold the
// chosen settings on entry and the ones to run on return; `written` (may be null) the texts
// they were read from. Returns false when any setting, or the scene's count, is refused.
bool settle_settings(GraphConfig* graph, PhysConfig* phys, const WrittenSettings* written,
                     const SettingsRequest& request, const SceneDescription& scene, bool warn,
                     std::FILE* err);

// Reads the settings file at `path` and the scene it (or the request) chooses, and settles
// their settings: what start-up, l and e do. A file `named` on the command line must exist and
// be readable; the one beside the program may be missing (every default). The scene's [graph]
// and [phys] keys override the file's. `file_graph` and `file_phys` receive the settings before
// the fix-ups, from which the keys in play start; `scene` the scene's description. Returns
// false, with the reasons on `err`, when a file cannot be read, the scene is refused or the
// settings are.
bool read_settings(const char* path, bool named, const SettingsRequest& request,
                   GraphConfig* file_graph, PhysConfig* file_phys, GraphConfig* graph,
                   PhysConfig* phys, WrittenSettings* written, SceneDescription* scene,
                   std::FILE* err);

// Builds the simulation from settled settings, the scene and `seed`; says so on `err` when
// memory runs out.
bool start_simulation(const GraphConfig& graph, const PhysConfig& phys,
                      const SceneDescription& scene, uint32_t seed, std::FILE* err);

// What sim_init_seeded is given for `scene`: nothing for the box (named so, adding nothing),
// so that its run is bit for bit the run without scenes.
const SceneDescription* seeded_scene(const SceneDescription& scene);
