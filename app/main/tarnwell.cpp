#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "app/frame_stats.h"
#include "app/gl/callbacks.h"
#include "app/input.h"
#include "app/options.h"
#include "app/play.h"
#include "app/startup.h"
#include "app/state_dump.h"
#include "app/user_settings.h"
#include "config/config.h"
#include "config/scene_file.h"
#include "io/output_file.h"
#include "platform/window.h"
#include "sph/sim_state.h"
#include "surface/surface.h"

int main(int argc, char** argv) {
    switch (parse_program_options(argc, argv, program_options, stdout, stderr)) {
    case ParseOutcome::run:
        break;
    case ParseOutcome::exit_ok:
        return stdout_written("tarnwell", stderr) ? 0 : 1;
    case ParseOutcome::exit_usage:
        return 2;
    }
    exe_folder = data_folder(program_folder(argc > 0 ? argv[0] : nullptr));
    if (program_options.scene == "help") {
        print_scene_list(exe_folder, stdout);
        return stdout_written("tarnwell", stderr) ? 0 : 1;
    }
    const bool named_config = program_options.config_named;
    user_settings_file = user_settings_path(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
    if (!named_config)
        program_options.config_path = settings_file_to_read(user_settings_file, exe_folder);
    // A copy: w may move the program to the user's file, which l then reads.
    const std::string config_path = program_options.config_path;
    // No output may overwrite the settings it was made from or the file w saves to, or another
    // output.
    const NamedPath files[] = {
        {"the settings file", config_path},
        {"--dump", program_options.dump_path},
        {"--screenshot", program_options.screenshot_path},
        {"--record", program_options.record_path},
        {"your settings file",
         named_config || config_path == user_settings_file ? std::string() : user_settings_file}};
    if (!distinct_files("tarnwell", files, 5, stderr)) return 2;

    std::printf("%s\n%s\n\n", program_title,
                "Mouse: hold left to pull the fluid, right to push it, middle to float "
                "(release reverses gravity)");

    std::printf("Load config from file: %s\n\n", printable_text(config_path.c_str()).c_str());
    std::fflush(stdout);
    // Only the file beside the program may be missing (every setting then has its default): a
    // file named on the command line that cannot be read is a mistake worth stopping for.
    // Settings the program cannot run with are refused before any window opens.
    GraphConfig file_graph;
    PhysConfig file_phys;
    SceneDescription scene;
    SettingsRequest request;
    request.scene = program_options.scene.c_str();
    request.solver = program_options.solver;
    play_state.solver_choice = program_options.solver;
    if (!read_settings(config_path.c_str(), named_config, request, &file_graph, &file_phys,
                       &graph_config, &phys_config, &play_state.written, &scene, stderr)) {
        std::fprintf(stderr,
                     "Correct the settings above in %s or in the scene (or remove them to use "
                     "the defaults) and start again.\n",
                     printable_text(config_path.c_str()).c_str());
        return 1;
    }
    std::printf("Scene %s: %d particles\n\n", printable_text(scene.name).c_str(),
                phys_config.count);
    std::fflush(stdout);
    // Whole seconds of calendar time unless a seed is given.
    const uint32_t seed =
        program_options.has_seed ? program_options.seed : static_cast<uint32_t>(std::time(nullptr));
    if (!start_simulation(graph_config, phys_config, scene, seed, stderr)) return 1;
    std::snprintf(play_state.scene_choice, sizeof play_state.scene_choice, "%s",
                  program_options.scene.c_str());
    start_play(play_state, file_graph, file_phys, &play_state.written, seed, &scene);
    // Outputs that could never be written are refused now, not after the whole session.
    DumpFile dump;
    if ((!program_options.screenshot_path.empty() &&
         !check_output("tarnwell", "the screenshot", program_options.screenshot_path, stderr)) ||
        (!program_options.record_path.empty() &&
         !check_output("tarnwell", "the recording", program_options.record_path, stderr)) ||
        (!program_options.dump_path.empty() &&
         !open_dump("tarnwell", program_options.dump_path, &dump))) {
        sim_free();
        return 1;
    }

    init_graphics(static_cast<int>(program_options.glut_args.size()),
                  program_options.glut_args.data());

    mouse_state = MouseState{};
    frame_stats = FrameStats{};
    format_title(title_text, 0, 0.0f, frame_stats.physics_ms, phys_config.count);
    show_title(title_text);
    frame_stats.frame_start_ms = glut_time_ms();
    // A run told how many frames to draw is a script's, and its pictures must come out the same
    // however fast the machine is: no hint in them. The page says it in its own text above the
    // canvas, where it stays.
#ifndef __EMSCRIPTEN__
    if (program_options.frames == 0) show_start_hint(play_state, frame_stats.frame_start_ms);
#endif
    // A recording that cannot start is reported now and makes the exit status 1 at the end.
    if (!program_options.record_path.empty()) start_recording(program_options.record_path.c_str());

    glutMainLoop();

    // The window is gone; a picture still being encoded is finished first.
    bool outputs_ok = finish_screenshots();
    outputs_ok = stop_recording() && outputs_ok;
    // A simulation that blew up has no state worth keeping, as in tarnwell-sim: an older dump
    // stays as it was, and the status says so.
    const bool blown_up = sim.blown_up;
    if (blown_up) {
        abandon_dump(&dump);
        if (!program_options.dump_path.empty())
            std::fprintf(stderr, "tarnwell: the simulation blew up; no dump written.\n");
    } else if (dump.file.out != nullptr) {
        outputs_ok = write_dump(&dump, play_state.step_count, false) && outputs_ok;
    }
    // The GL objects went with the window (on_close); what is left needs no context.
    release_surface_grid();
    sim_free();
    if (blown_up) return 3;
    return outputs_ok ? 0 : 1;
}
