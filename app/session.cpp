#include "app/session.h"

#include "app/play.h"
#include "app/startup.h"
#include "config/config.h"
#include "config/fixups.h"
#include "config/scene_file.h"
#include "sph/settings_check.h"
#include "sph/sim_state.h"
#include "surface/surface.h"

bool restart_simulation(PlayState& play, uint32_t seed, std::FILE* out, std::FILE* err) {
    GraphConfig graph = play.graph;
    PhysConfig phys = play.phys;
    if (!settle_settings(&graph, &phys, &play.written, SettingsRequest{}, play.scene, false, err)) {
        std::fprintf(err, "The settings above are refused; the running simulation goes on.\n");
        return false;
    }
    if (!sim_init_seeded(graph.point_colors, phys, graph.point_diffusion, seed,
                         seeded_scene(play.scene))) {
        // The old simulation is gone by now: bring it back as it started.
        std::fprintf(err,
                     "Not enough memory for the simulation of %d particles and %d bodies; "
                     "restarting with the settings in use.\n",
                     phys.count, phys.geom_count);
        sim_init_seeded(graph_config.point_colors, phys_config, graph_config.point_diffusion,
                        play.seed, seeded_scene(running_scene));
        play.step_count = 0;
        return false;
    }
    graph_config = graph;
    phys_config = phys;
    running_scene = play.scene;
    play.seed = seed;
    play.step_count = 0;
    play.pending_steps = 0;
    play.status[0] = '\0';
    // The outline lattice points into the old particle array: follow the new one, or let the
    // next switch to the outline create it afresh.
    if (surface_grid != nullptr) {
        if (graph.render_type == 1)
            create_surface_grid(graph.surf_radius, graph.surf_resolution, phys.field_size,
                                sim.position, sim.count);
        else
            release_surface_grid();
    }
    std::fprintf(out, "Restart with seed %u\n", seed);
    std::fflush(out);
    return true;
}

namespace {

// Reads the settings file and the scene `choice` (empty: the file's) into a new play state and
// restarts from it; play is left as it was when anything is refused.
bool restart_from_files(PlayState& play, const char* config_path, bool named, const char* choice,
                        uint32_t seed, std::FILE* out, std::FILE* err) {
    GraphConfig graph;
    PhysConfig phys;
    GraphConfig fixed_graph;
    PhysConfig fixed_phys;
    PlayState next = play;
    std::snprintf(next.scene_choice, sizeof next.scene_choice, "%s", choice);
    SettingsRequest request;
    request.scene = next.scene_choice;
    request.solver = play.solver_choice;
    // The rules of start-up: a file named on the command line must still be there and readable.
    if (!read_settings(config_path, named, request, &graph, &phys, &fixed_graph, &fixed_phys,
                       &next.written, &next.scene, err)) {
        std::string text;
        if (named && ini_load(config_path, &text).status != IniLoad::ok)
            std::fprintf(err, "The settings file named with --config cannot be read; the running "
                              "simulation goes on.\n");
        else
            std::fprintf(err,
                         "Correct the settings above in %s or in the scene (or remove them to use "
                         "the defaults) and press l again; the running simulation goes on.\n",
                         printable_text(config_path).c_str());
        return false;
    }
    start_play(next, graph, phys, &next.written, play.seed, &next.scene);
    if (!restart_simulation(next, seed, out, err)) return false;
    play = next;
    return true;
}

} // namespace

bool reload_settings(PlayState& play, const char* config_path, bool named, uint32_t seed,
                     std::FILE* out, std::FILE* err) {
    std::fprintf(out, "Load config from file: %s\n\n", printable_text(config_path).c_str());
    std::fflush(out);
    const std::string choice = play.scene_choice;
    return restart_from_files(play, config_path, named, choice.c_str(), seed, out, err);
}

bool switch_scene(PlayState& play, const char* config_path, bool named, const char* choice,
                  uint32_t seed, std::FILE* out, std::FILE* err) {
    std::fprintf(out, "Scene %s, settings from %s\n", printable_text(choice).c_str(),
                 printable_text(config_path).c_str());
    std::fflush(out);
    if (!restart_from_files(play, config_path, named, choice, seed, out, err)) return false;
    std::fprintf(out, "Scene %s: %d particles\n", printable_text(play.scene.name).c_str(),
                 phys_config.count);
    std::fflush(out);
    set_status(play, "scene %s%s%s", play.scene.name, play.scene.about[0] != '\0' ? ": " : "",
               play.scene.about);
    return true;
}

bool switch_colours(PlayState& play, std::FILE* err) {
    GraphConfig graph = graph_config;
    graph.point_colors = play.graph.point_colors;
    graph.point_diffusion = play.graph.point_diffusion;
    if (colours_show_quantity(graph.point_colors)) graph.point_diffusion = 0.0f;
    if (validate_settings(graph, phys_config, &play.written, err) != 0 ||
        !sim_set_colours(graph.point_colors, graph.point_diffusion)) {
        std::fprintf(err, "Colours stay %s.\n", colour_scheme_name(graph_config.point_colors));
        play.graph.point_colors = graph_config.point_colors;
        return false;
    }
    graph_config.point_colors = graph.point_colors;
    graph_config.point_diffusion = graph.point_diffusion;
    return true;
}

bool mode_settings_accepted(const PlayState& play, int32_t mode, std::FILE* err) {
    GraphConfig graph = graph_config;
    graph.render_type = mode;
    return validate_settings(graph, phys_config, &play.written, err) == 0;
}
