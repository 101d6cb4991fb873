#include "app/startup.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "config/config.h"
#include "config/fixups.h"
#include "config/scene_file.h"
#include "platform/process/process.h"
#include "sph/scene_state.h"
#include "sph/settings_check.h"
#include "sph/sim_state.h"
#include "sph/stability.h"

std::string exe_folder;
SceneDescription running_scene = default_scene();

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

#ifndef TARNWELL_DATA_FROM_BIN
#define TARNWELL_DATA_FROM_BIN "../share/tarnwell"
#endif
const char* const installed_data_path = TARNWELL_DATA_FROM_BIN;

std::string data_folder(const std::string& folder) {
    if (folder.empty()) return folder;
    const std::string installed = folder + installed_data_path + "/";
    struct stat st;
    if (stat((installed + "config.ini").c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return folder;
    // /usr/share/tarnwell/ reads better in messages than /usr/bin/../share/tarnwell/.
    char* resolved = realpath(installed.c_str(), nullptr);
    if (resolved == nullptr) return installed;
    std::string path = std::string(resolved) + "/";
    std::free(resolved);
    return path;
}

namespace {

// phys->count from the scene's lattice blocks; false, said on `err`, when they hold no site or
// more than the particle limit. Walls that are no box leave the count alone: the checks refuse
// them by their own keys.
bool count_scene_sites(const SceneDescription& scene, PhysConfig* phys, std::FILE* err) {
    const float h = phys->smooth_radius;
    const float field = phys->field_size;
    if (!(h > 0.0f) || !std::isfinite(field) || !(field > h)) return true;
    const int64_t sites = scene_lattice_sites(scene, h, field, nullptr, setting_limit::count_hi);
    if (sites > 0) {
        phys->count = static_cast<int32_t>(sites);
        return true;
    }
    std::fprintf(err,
                 "error: the fluid blocks of the scene '%s' hold %s at spacing %g times "
                 "smooth_radius = %g in a box of field_size = %g; accepted: 1 to %d particles "
                 "(%s)\n",
                 printable_text(scene.name).c_str(),
                 sites < 0 ? "more lattice sites than the particle limit" : "no lattice site",
                 static_cast<double>(scene.spacing), static_cast<double>(h),
                 static_cast<double>(field), setting_limit::count_hi,
                 sites < 0
                     ? "raise smooth_radius or the scene's spacing, or make its blocks smaller"
                     : "lower smooth_radius or the scene's spacing, or make its blocks larger");
    return false;
}

} // namespace

const SceneDescription* seeded_scene(const SceneDescription& scene) {
    const bool box = std::strcmp(scene.name, default_scene_name) == 0;
    return box && scene_is_plain(scene) ? nullptr : &scene;
}

bool settle_settings(GraphConfig* graph, PhysConfig* phys, const WrittenSettings* written,
                     const SettingsRequest& request, const SceneDescription& scene, bool warn,
                     std::FILE* err) {
    apply_fixups(*graph, *phys);
    if (request.threads >= 0) phys->threads = request.threads;
    if (request.solver >= 0) phys->solver = request.solver;
    const bool counted = scene.fluid_count == 0 || count_scene_sites(scene, phys, err);
    GraphConfig checked = *graph;
    if (request.outline_used) checked.render_type = 1;
    if (validate_settings(checked, *phys, written, err) != 0 || !counted) return false;
    // Settings that will blow up still start: the run shows what they do, the warning says why.
    if (warn) {
        Instability unstable[max_instabilities];
        const int count = find_instabilities(*phys, unstable);
        for (int i = 0; i < count; ++i)
            std::fprintf(err, "warning: %s\n", unstable[i].text);
    }
    return true;
}

bool read_settings(const char* path, bool named, const SettingsRequest& request,
                   GraphConfig* file_graph, PhysConfig* file_phys, GraphConfig* graph,
                   PhysConfig* phys, WrittenSettings* written, SceneDescription* scene,
                   std::FILE* err) {
    std::string settings_text;
    if (!read_settings_file(path, named, &settings_text, err)) return false;
    GraphConfig chosen;
    load_graph_config_text(&chosen, settings_text, nullptr);
    const bool requested = request.scene != nullptr && request.scene[0] != '\0';
    SettingText choice;
    std::snprintf(choice.text, sizeof choice.text, "%s",
                  requested ? request.scene : chosen.scene.text);
    // Blanks after the value are no part of a name or a path anyone means.
    for (std::size_t n = std::strlen(choice.text);
         n > 0 && (choice.text[n - 1] == ' ' || choice.text[n - 1] == '\t');)
        choice.text[--n] = '\0';
    SceneFile file;
    if (!load_scene(choice.text, exe_folder, &file, err)) return false;
    load_settings_texts(file.text, settings_text, file_graph, file_phys, written);
    // The scene the run has is the one chosen, whatever a scene file may say of it.
    file_graph->scene = choice;
    *scene = file.description;
    *graph = *file_graph;
    *phys = *file_phys;
    return settle_settings(graph, phys, written, request, *scene, true, err);
}

bool start_simulation(const GraphConfig& graph, const PhysConfig& phys,
                      const SceneDescription& scene, uint32_t seed, std::FILE* err) {
    if (sim_init_seeded(graph.point_colors, phys, graph.point_diffusion, seed,
                        seeded_scene(scene))) {
        running_scene = scene;
        return true;
    }
    std::fprintf(err,
                 "Not enough memory for the simulation of %d particles and %d bodies; lower "
                 "count or geom_count.\n",
                 phys.count, phys.geom_count);
    return false;
}
