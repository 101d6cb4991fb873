#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "app/gl/callbacks.h"
#include "app/input.h"
#include "app/options.h"
#include "app/panel.h"
#include "app/play.h"
#include "app/session.h"
#include "app/startup.h"
#include "app/tools.h"
#include "app/user_settings.h"
#include "config/config.h"
#include "config/scene_file.h"
#include "platform/window.h"
#include "render/render.h"
#include "sph/sim_state.h"

static_assert(GLUT_KEY_F1 == 1 && GLUT_KEY_F12 == 12, "the key map uses GLUT's numbers");

namespace {

void switch_mode() {
    PlayState& play = play_state;
    const int32_t wanted = play.graph.render_type;
    if (!mode_settings_accepted(play, wanted, stderr)) {
        std::printf("Mode %d (%s) refused by the settings above; staying with mode %d (%s).\n",
                    wanted, render_mode_name(wanted), graph_config.render_type,
                    render_mode_name(graph_config.render_type));
        set_status(play, "mode %d refused by the settings (see the console)", wanted);
        play.graph.render_type = graph_config.render_type;
        return;
    }
    if (!switch_render_mode(wanted, exe_folder.c_str())) {
        std::printf("Mode %d (%s) is not available (%s); drawing mode 0 (points).\n", wanted,
                    render_mode_name(wanted), render_mode_refusal());
        set_status(play, "mode %d not available: drawing points", wanted);
        play.graph.render_type = 0;
    } else {
        play.status[0] = '\0';
    }
    // Leaving the outline brings back the chosen colours, which a start in mode 1 switched off.
    if (graph_config.render_type != 1 && graph_config.point_colors != play.graph.point_colors)
        switch_colours(play, stderr);
    std::fflush(stdout);
}

void restart(bool reload) {
    PlayState& play = play_state;
    const uint32_t seed = next_seed(play.seed);
    // The body held or the stroke drawn belongs to the simulation being replaced.
    drop_tool(tool_state);
    const bool ok = reload ? reload_settings(play, program_options.config_path.c_str(),
                                             program_options.config_named, seed, stdout, stderr)
                           : restart_simulation(play, seed, stdout, stderr);
    if (!ok) {
        set_status(play, "%s refused: the running simulation goes on (see the console)",
                   reload ? "reload" : "restart");
        return;
    }
    // The new settings may change the mode's look (sizes, smoothing) or the mode itself.
    if (!switch_render_mode(graph_config.render_type, exe_folder.c_str()))
        play.graph.render_type = 0;
}

// The scene `e` last could not start: the next press moves on past it, so one broken file
// does not bar the way to the scenes after it.
std::string refused_scene;

// The next scene beside the program, with the settings file read again.
void next_scene() {
    PlayState& play = play_state;
    const char* from = refused_scene.empty() ? play.scene.name : refused_scene.c_str();
    const std::string choice = next_scene_name(builtin_scene_names(exe_folder), from);
    drop_tool(tool_state); // what the tool held belongs to the scene being left
    if (!switch_scene(play, program_options.config_path.c_str(), program_options.config_named,
                      choice.c_str(), next_seed(play.seed), stdout, stderr)) {
        refused_scene = choice;
        set_status(play, "scene %s refused: %s goes on (see the console)", choice.c_str(),
                   play.scene.name);
        return;
    }
    refused_scene.clear();
    if (!switch_render_mode(graph_config.render_type, exe_folder.c_str()))
        play.graph.render_type = 0;
}

// Saves to the file named with --config, else to the user's own: never to the config.ini beside
// the program, which the next build or install replaces.
void save() {
    PlayState& play = play_state;
    const std::string target =
        program_options.config_named ? program_options.config_path : user_settings_file;
    if (!save_settings(play, program_options.config_path.c_str(), target, stdout, stderr)) {
        set_status(play, "settings not saved (see the console)");
        return;
    }
    // l reads what was saved from now on, as the next start will.
    program_options.config_path = target;
    set_status(play, "settings saved to %s", printable_text(target.c_str()).c_str());
}

} // namespace

void restart_with_panel() {
    PlayState& play = play_state;
    const int32_t window_size = graph_config.window_size;
    const PlayState before = play;
    const PanelState wanted = panel_state;
    bool restart_needed = true;
    if (panel_take_restart(panel_state, play)) {
        drop_tool(tool_state);
        const std::string choice = play.scene_choice;
        play = before; // the scene's settings come from the files, as with e
        if (!switch_scene(play, program_options.config_path.c_str(), program_options.config_named,
                          choice.c_str(), next_seed(play.seed), stdout, stderr)) {
            set_status(play, "scene %s refused: %s goes on (see the console)", choice.c_str(),
                       play.scene.name);
            panel_sync(panel_state, play);
            return;
        }
        // What else the panel changed goes on top of them.
        restart_needed = false;
        for (int i = 0; i < setting_count; ++i) {
            const SettingInfo& info = setting_infos[i];
            if (panel_effect(info) != PanelEffect::restart || info.type == SettingType::text ||
                setting_value_bits(info, wanted.graph, wanted.phys) ==
                    setting_value_bits(info, before.graph, before.phys))
                continue;
            copy_setting(info, wanted.graph, wanted.phys, &play.graph, &play.phys);
            restart_needed = true;
        }
    }
    if (restart_needed) restart(false);
    if (graph_config.window_size != window_size)
        glutReshapeWindow(graph_config.window_size, graph_config.window_size);
    panel_sync(panel_state, play);
}

void serve_requests() {
    PlayState& play = play_state;
    const bool replaced =
        (play.requests & (request_restart | request_reload | request_next_scene)) != 0;
    if (play.requests & (request_restart | request_reload)) {
        const bool reload = (play.requests & request_reload) != 0;
        play.requests &= ~(request_restart | request_reload);
        restart(reload);
    }
    if (play.requests & request_next_scene) {
        play.requests &= ~request_next_scene;
        next_scene();
    }
    // The panel shows the settings the restart left.
    if (replaced && panel_state.visible) panel_sync(panel_state, play);
    if (play.requests & request_panel) {
        play.requests &= ~request_panel;
        toggle_panel();
    }
    if (play.requests & request_save) {
        play.requests &= ~request_save;
        save();
    }
    if (play.requests & request_mode) {
        play.requests &= ~request_mode;
        switch_mode();
    }
    if (play.requests & request_colours) {
        play.requests &= ~request_colours;
        switch_colours(play, stderr);
    }
    if (play.requests & request_record) {
        play.requests &= ~request_record;
        if (recording_active())
            stop_recording();
        else
            start_recording(nullptr);
    }
    if (play.requests & request_fullscreen) {
        play.requests &= ~request_fullscreen;
        toggle_fullscreen();
    }
    // Screenshots and quitting wait for the next frame, which draws what they need.
}

void on_keyboard(unsigned char key, int x, int y) {
    end_start_hint(play_state);       // the newcomer has found the keys
    if (panel_key(key, x, y)) return; // typed into the panel
    const Action action = action_for_key(key);
    if (action == Action::drop_body) drop_body_from_key(play_state, pointer_at(x, y));
    apply_action(play_state, sim, action);
    serve_requests();
}

void on_special(int key, int x, int y) {
    end_start_hint(play_state);
    if (panel_special(key, x, y)) return;
    apply_action(play_state, sim, action_for_special_key(key));
    serve_requests();
}

void save_final_screenshot(bool drawn) {
    static bool done = false;
    if (done || program_options.screenshot_path.empty()) return;
    done = true;
    if (!drawn) {
        draw_frame();
        draw_overlay();
    }
    take_screenshot(program_options.screenshot_path.c_str());
}
