#include "app/startup.h"

#include "config/config.h"
#include "config/fixups.h"
#include "platform/process/process.h"
#include "sph/settings_check.h"
#include "sph/sim_state.h"
#include "sph/stability.h"

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

bool settle_settings(GraphConfig* graph, PhysConfig* phys, const WrittenSettings* written,
                     const SettingsRequest& request, bool warn, std::FILE* err) {
    apply_fixups(*graph, *phys);
    if (request.threads >= 0) phys->threads = request.threads;
    GraphConfig checked = *graph;
    if (request.outline_used) checked.render_type = 1;
    if (validate_settings(checked, *phys, written, err) != 0) return false;
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
                   PhysConfig* phys, WrittenSettings* written, std::FILE* err) {
    if (!load_settings(path, named, file_graph, file_phys, written, err)) return false;
    *graph = *file_graph;
    *phys = *file_phys;
    return settle_settings(graph, phys, written, request, true, err);
}

bool start_simulation(const GraphConfig& graph, const PhysConfig& phys, uint32_t seed,
                      std::FILE* err) {
    if (sim_init_seeded(graph.point_colors, phys, graph.point_diffusion, seed)) return true;
    std::fprintf(err,
                 "Not enough memory for the simulation of %d particles and %d bodies; lower "
                 "count or geom_count.\n",
                 phys.count, phys.geom_count);
    return false;
}
