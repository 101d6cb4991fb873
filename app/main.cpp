#include <GL/freeglut.h>

#include <cstdio>
#include <string>

#include "app/frame_stats.h"
#include "app/gl/callbacks.h"
#include "app/input.h"
#include "app/startup.h"
#include "config/config.h"
#include "config/fixups.h"
#include "config/validate.h"
#include "sph/sim_state.h"
#include "sph/stability.h"
#include "surface/surface.h"

int main(int argc, char** argv) {
    std::printf("%s\n%s\n\n", program_title,
                "Mouse: hold left to pull the fluid, right to push it, middle to float "
                "(release reverses gravity)");

    exe_folder = program_folder(argc > 0 ? argv[0] : nullptr);
    const std::string config_path = exe_folder + "config.ini";
    std::printf("Load config from file: %s\n\n", config_path.c_str());
    std::fflush(stdout);
    load_settings(config_path.c_str(), false, &graph_config, &phys_config, stderr);
    apply_fixups(graph_config, phys_config);

    // Refuse settings the program cannot run with before any window opens.
    std::fflush(stdout);
    if (validate_settings(graph_config, phys_config, stderr) != 0) {
        std::fprintf(stderr, "Correct the settings above in %s (or remove them to use the "
                             "defaults) and start again.\n",
                     config_path.c_str());
        return 1;
    }
    // Settings that will blow up still start: the run shows what they do, and the warning says why.
    Instability unstable[max_instabilities];
    const int unstable_count = find_instabilities(phys_config, unstable);
    for (int i = 0; i < unstable_count; ++i) std::fprintf(stderr, "warning: %s\n", unstable[i].text);
    if (!sim_init(graph_config.point_colors, phys_config, graph_config.point_diffusion)) {
        std::fprintf(stderr,
                     "Not enough memory for the simulation of %d particles and %d bodies; lower "
                     "count or geom_count in %s.\n",
                     phys_config.count, phys_config.geom_count, config_path.c_str());
        return 1;
    }

    init_graphics(argc, argv);

    mouse_state = MouseState{};
    frame_stats = FrameStats{};
    format_title(title_text, 0, 0.0f, frame_stats.physics_ms, phys_config.count);
    glutSetWindowTitle(title_text);
    frame_stats.frame_start_ms = glut_time_ms();

    glutMainLoop();

    // The GL objects went with the window (on_close); what is left needs no context.
    release_surface_grid();
    sim_free();
    return 0;
}
