#include "app/panel.h"

#include <cfloat>
#include <cmath>
#include <cstring>

#include "app/play.h"
#include "app/user_settings.h"
#include "base/workers.h"
#include "sph/settings_check.h"
#include "sph/sim_state.h"

PanelState panel_state;

namespace {

bool is(const SettingInfo& info, const char* key) {
    return std::strcmp(info.key, key) == 0;
}

// The settings the simulation, the drawing or the play read afresh every step or frame; every
// other sizes something built at the start (arrays, grid, bodies, lattice, window, scene).
const char* const live_keys[] = {
    "render_type",     "point_size", "point_colors", "speed_scale",  "compression_range",
    "point_diffusion", "surf_size",  "graph_smooth", "graph_blend",  "realtime",
    "timestep",        "viscosity",  "stiff",        "rest_density", "gravity",
    "ext_stiff",       "damp",       "geom_stiff",   "mouse_radius", "mouse_force",
    "threads"};

// The first line the checks wrote, for the panel.
void first_line(const char* text, char* out, std::size_t size) {
    std::size_t n = std::strcspn(text, "\n");
    if (n >= size) n = size - 1;
    std::memcpy(out, text, n);
    out[n] = '\0';
}

} // namespace

PanelEffect panel_effect(const SettingInfo& info) {
    for (const char* key : live_keys)
        if (is(info, key)) return PanelEffect::live;
    return PanelEffect::restart;
}

PanelBounds panel_bounds(const SettingInfo& info) {
    if (info.check == SettingCheck::range) return {double(info.lo), double(info.hi)};
    if (info.type == SettingType::whole) return {double(INT32_MIN), double(INT32_MAX)};
    if (info.check == SettingCheck::positive) return {double(FLT_MIN), double(FLT_MAX)};
    return {double(-FLT_MAX), double(FLT_MAX)};
}

double clamp_to_bounds(const SettingInfo& info, double value) {
    const PanelBounds b = panel_bounds(info);
    if (!(value >= b.lo)) return b.lo; // NaN too
    if (value > b.hi) return b.hi;
    return value;
}

float panel_drag_speed(const SettingInfo& info) {
    const float size = std::fabs(ini_to_float(info.default_text));
    return size > 0.0f ? size * 0.01f : 0.001f;
}

void panel_sync(PanelState& panel, const PlayState& play) {
    panel.graph = play.graph;
    panel.phys = play.phys;
    panel.restart_waiting = false;
    panel.message[0] = '\0';
}

bool panel_set(PanelState& panel, PlayState& play, SimState& state, const SettingInfo& info,
               std::FILE* err) {
    panel.message[0] = '\0';
    if (panel_effect(info) == PanelEffect::restart) {
        panel.restart_waiting = false;
        for (int i = 0; i < setting_count; ++i)
            if (panel_effect(setting_infos[i]) == PanelEffect::restart &&
                setting_value_bits(setting_infos[i], panel.graph, panel.phys) !=
                    setting_value_bits(setting_infos[i], play.graph, play.phys))
                panel.restart_waiting = true;
        return true;
    }
    // Checked with the running settings, as start-up would check them.
    GraphConfig graph = graph_config;
    PhysConfig phys = phys_config;
    copy_setting(info, panel.graph, panel.phys, &graph, &phys);
    char refusal[512] = "";
    std::FILE* text = fmemopen(refusal, sizeof refusal - 1, "w");
    const int refused = validate_settings(graph, phys, &play.written, text != nullptr ? text : err);
    if (text != nullptr) std::fclose(text);
    if (refused != 0) {
        std::fputs(refusal, err);
        first_line(refusal, panel.message, sizeof panel.message);
        copy_setting(info, play.graph, play.phys, &panel.graph, &panel.phys);
        return false;
    }
    copy_setting(info, panel.graph, panel.phys, &play.graph, &play.phys);
    if (is(info, "render_type")) {
        play.requests |= request_mode;
    } else if (is(info, "point_colors") || is(info, "point_diffusion")) {
        play.requests |= request_colours;
    } else if (std::strcmp(info.section, "graph") == 0) {
        // Sizes, smoothing and blending are GL state that a switch to the same mode sets anew.
        copy_setting(info, panel.graph, panel.phys, &graph_config, &phys_config);
        play.realtime = play.graph.realtime != 0;
        if (!is(info, "realtime")) play.requests |= request_mode;
    } else {
        copy_setting(info, panel.graph, panel.phys, &graph_config, &phys_config);
#define TARNWELL_SET_SIM(type, key, ...)                                                           \
    if (is(info, #key)) state.key = phys_config.key;
        TARNWELL_SIM_SETTINGS(TARNWELL_SET_SIM)
#undef TARNWELL_SET_SIM
        const SimDerived derived = derive_sim_values(phys_config);
        state.pressure_coef = derived.pressure_coef;
        state.viscosity_coef = derived.viscosity_coef;
        if (is(info, "gravity")) {
            // Held by the middle button, gravity stays off until it is let go.
            state.toggled_gravity = phys_config.gravity;
            state.current_gravity = phys_config.gravity;
        } else if (is(info, "mouse_force")) {
            // The [ and ] keys step from here now.
            play.file_mouse_force = phys_config.mouse_force;
            play.strength_step = 0;
        } else if (is(info, "threads")) {
            start_workers(phys_config.threads);
        }
    }
    return true;
}

bool panel_take_restart(PanelState& panel, PlayState& play) {
    const bool new_scene = std::strcmp(panel.graph.scene.text, play.graph.scene.text) != 0;
    for (int i = 0; i < setting_count; ++i)
        if (panel_effect(setting_infos[i]) == PanelEffect::restart)
            copy_setting(setting_infos[i], panel.graph, panel.phys, &play.graph, &play.phys);
    if (new_scene)
        std::snprintf(play.scene_choice, sizeof play.scene_choice, "%s", panel.graph.scene.text);
    panel.restart_waiting = false;
    return new_scene;
}
