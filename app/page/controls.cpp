// The page's own controls: the settings, and touch.
//
// The settings: the page builds them as HTML from the settings table sent from
// here, and every change comes back through the functions below into the same panel as the
// window's (app/panel.h): the same bounds, the same checks, live settings at once and the others
// with Restart. The canvas draws no panel of its own, so the window's calls find nothing to do.
#include <emscripten.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/gl/callbacks.h"
#include "app/panel.h"
#include "app/play.h"
#include "app/startup.h"
#include "app/user_settings.h"
#include "config/scene_file.h"
#include "platform/window.h"
#include "sph/sim_state.h"

namespace {

bool sent = false;
uint32_t sent_seed = 0;
std::vector<std::string> scene_names;

// `text` as a JSON string.
void quote(std::string& out, const char* text) {
    out += '"';
    for (const char* c = text; *c != '\0'; ++c) {
        const unsigned char u = static_cast<unsigned char>(*c);
        if (*c == '"' || *c == '\\') {
            out += '\\';
            out += *c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += *c;
        }
    }
    out += '"';
}

// The table, the values the controls show (the panel's), the ones running (play's, what a link
// carries), the scenes and the seed, for Module.onSettings.
void send_settings() {
    std::string json = "{\"settings\":[";
    for (int i = 0; i < setting_count; ++i) {
        const SettingInfo& info = setting_infos[i];
        const PanelBounds bounds = panel_bounds(info);
        if (i > 0) json += ',';
        json += "{\"key\":";
        quote(json, info.key);
        json += ",\"section\":";
        quote(json, info.section);
        json += ",\"type\":";
        quote(json, info.type == SettingType::whole    ? "whole"
                    : info.type == SettingType::number ? "number"
                                                       : "text");
        json += ",\"range\":";
        json += info.check == SettingCheck::range ? "true" : "false";
        char number[64];
        std::snprintf(number, sizeof number, ",\"lo\":%.9g,\"hi\":%.9g", bounds.lo, bounds.hi);
        json += number;
        json += ",\"positive\":";
        json += info.check == SettingCheck::positive ? "true" : "false";
        json += ",\"restart\":";
        json += panel_effect(info) == PanelEffect::restart ? "true" : "false";
        json += ",\"description\":";
        quote(json, info.description);
        json += ",\"default\":";
        quote(json, info.default_text);
        json += ",\"value\":";
        quote(json, setting_value_text(info, panel_state.graph, panel_state.phys).c_str());
        json += ",\"running\":";
        quote(json, setting_value_text(info, play_state.graph, play_state.phys).c_str());
        json += '}';
    }
    json += "],\"scenes\":[";
    for (std::size_t k = 0; k < scene_names.size(); ++k) {
        if (k > 0) json += ',';
        quote(json, scene_names[k].c_str());
    }
    char tail[128];
    std::snprintf(tail, sizeof tail,
                  "],\"seed\":%u,\"restart_waiting\":%s,\"message\":", play_state.seed,
                  panel_state.restart_waiting ? "true" : "false");
    json += tail;
    quote(json, panel_state.message);
    json += '}';
    EM_ASM(
        {
            if (Module["onSettings"]) Module["onSettings"](UTF8ToString($0));
        },
        json.c_str());
}

} // namespace

// p: the controls are below the canvas; the page brings them into view.
void toggle_panel() {
    EM_ASM({
        if (Module["onPanel"]) Module["onPanel"]();
    });
}

// Called every frame: sends the settings once, and again whenever a restart (r, l, e or the
// controls' Restart, each with a new seed) replaced them.
void draw_panel() {
    if (sent && play_state.seed == sent_seed) return;
    if (!sent) scene_names = builtin_scene_names(exe_folder);
    panel_state.visible = true; // the controls are always on the page
    panel_sync(panel_state, play_state);
    sent = true;
    sent_seed = play_state.seed;
    send_settings();
}

bool panel_mouse(int, int, int, int) {
    return false;
}
bool panel_motion(int, int) {
    return false;
}
bool panel_key(unsigned char, int, int) {
    return false;
}
bool panel_special(int, int, int) {
    return false;
}
void panel_reshape(int, int) {}
void release_panel() {}

extern "C" {

// Setting `index` of the table set to `value` from the page (bounded as the window's panel
// bounds it). Returns whether it was taken.
EMSCRIPTEN_KEEPALIVE int tarnwell_panel_set(int index, double value) {
    if (index < 0 || index >= setting_count) return 0;
    const SettingInfo& info = setting_infos[index];
    char* record = std::strcmp(info.section, "graph") == 0
                       ? reinterpret_cast<char*>(&panel_state.graph)
                       : reinterpret_cast<char*>(&panel_state.phys);
    const double bounded = clamp_to_bounds(info, value);
    if (info.type == SettingType::whole) {
        const int32_t whole = static_cast<int32_t>(bounded);
        std::memcpy(record + info.offset, &whole, sizeof whole);
    } else if (info.type == SettingType::number) {
        const float number = static_cast<float>(bounded);
        std::memcpy(record + info.offset, &number, sizeof number);
    } else {
        return 0;
    }
    const bool taken = panel_set(panel_state, play_state, sim, info, stderr);
    serve_requests();
    send_settings();
    return taken ? 1 : 0;
}

// The scene setting set to scene `k` of the list sent.
EMSCRIPTEN_KEEPALIVE int tarnwell_panel_scene(int k) {
    if (k < 0 || static_cast<std::size_t>(k) >= scene_names.size()) return 0;
    std::snprintf(panel_state.graph.scene.text, sizeof panel_state.graph.scene.text, "%s",
                  scene_names[static_cast<std::size_t>(k)].c_str());
    panel_set(panel_state, play_state, sim, *find_setting("scene"), stderr);
    send_settings();
    return 1;
}

// The controls' Restart.
EMSCRIPTEN_KEEPALIVE void tarnwell_panel_restart() {
    restart_with_panel();
    sent_seed = play_state.seed;
    send_settings();
}

} // extern "C"

// Touch and pen, turned by page.js into the mouse's own actions: one finger pulls (left button),
// two push at their midpoint (right button), a long press floats (middle button, gravity
// reversed when it is let go), a pinch turns the stirring radius as the wheel does. The program
// sees them exactly as it sees the mouse. (Here rather than in a file of their own: the linker
// takes from the page's library only the files the program calls into.)
extern "C" {

// GLUT's button number (0 left, 1 middle, 2 right) pressed (down) or let go at canvas pixel
// (x, y).
EMSCRIPTEN_KEEPALIVE void tarnwell_touch_button(int button, int down, int x, int y) {
    if (button < 0 || button > 2) return;
    on_mouse(button, down != 0 ? GLUT_DOWN : GLUT_UP, x, y);
}

EMSCRIPTEN_KEEPALIVE void tarnwell_touch_move(int x, int y) {
    on_motion(x, y);
}

// The stirring radius `steps` steps of smooth_radius up (or down when negative).
EMSCRIPTEN_KEEPALIVE void tarnwell_touch_radius(int steps) {
    const Action action = steps > 0 ? Action::radius_up : Action::radius_down;
    for (int n = steps > 0 ? steps : -steps; n > 0; --n)
        apply_action(play_state, sim, action);
}

} // extern "C"
