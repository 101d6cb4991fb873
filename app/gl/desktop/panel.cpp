// The settings panel in the window, drawn with dear imgui over the frame. Its context and GL
// objects are made the first time it is shown; while it is hidden nothing of it runs: no
// frame, no drawing, no input.
#include <GL/freeglut.h>
#include <backends/imgui_impl_glut.h>
#include <backends/imgui_impl_opengl2.h>
#include <imgui.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/gl/callbacks.h"
#include "app/input.h"
#include "app/panel.h"
#include "app/play.h"
#include "app/startup.h"
#include "app/user_settings.h"
#include "config/scene_file.h"
#include "platform/window.h"
#include "sph/sim_state.h"

namespace {

bool made = false;
bool taken[3] = {false, false, false}; // buttons pressed on the panel, released there too
// This imgui reads the buttons and keys as they stand at each frame: a press let go before the
// next frame would never be seen. Such a release waits until a frame has seen the press.
int64_t panel_frames = 0;
int64_t pressed_in[3] = {-1, -1, -1};
bool release_waiting[3] = {false, false, false};
int64_t key_pressed_in[256];
// Where the panel was drawn last: a press there is the panel's even when it comes before any
// frame has seen the pointer arrive (imgui's own WantCaptureMouse is a frame behind).
ImVec2 panel_min(0.0f, 0.0f);
ImVec2 panel_max(0.0f, 0.0f);

bool over_panel(int x, int y) {
    const float fx = static_cast<float>(x);
    const float fy = static_cast<float>(y);
    return ImGui::GetIO().WantCaptureMouse ||
           (fx >= panel_min.x && fx < panel_max.x && fy >= panel_min.y && fy < panel_max.y);
}
bool key_up_waiting[256];
std::vector<std::string> scene_names; // beside the program, read when the panel is made

const ImVec4 restart_colour(1.0f, 0.8f, 0.3f, 1.0f);
const ImVec4 refusal_colour(1.0f, 0.45f, 0.4f, 1.0f);

// GLUT tells the modifiers only inside its input callbacks.
void take_modifiers() {
    ImGuiIO& io = ImGui::GetIO();
    const int modifiers = glutGetModifiers();
    io.KeyCtrl = (modifiers & GLUT_ACTIVE_CTRL) != 0;
    io.KeyShift = (modifiers & GLUT_ACTIVE_SHIFT) != 0;
    io.KeyAlt = (modifiers & GLUT_ACTIVE_ALT) != 0;
}

void on_key_up(unsigned char key, int x, int y) {
    if (key_pressed_in[key] == panel_frames) {
        key_up_waiting[key] = true;
        return;
    }
    ImGui_ImplGLUT_KeyboardUpFunc(key, x, y);
}

// Releases held back for the frame that has now seen their presses.
void let_go_waiting() {
    for (int b = 0; b < 3; ++b)
        if (release_waiting[b]) {
            release_waiting[b] = false;
            ImGui_ImplGLUT_MouseFunc(b, GLUT_UP, static_cast<int>(ImGui::GetIO().MousePos.x),
                                     static_cast<int>(ImGui::GetIO().MousePos.y));
        }
    for (int k = 0; k < 256; ++k)
        if (key_up_waiting[k]) {
            key_up_waiting[k] = false;
            ImGui_ImplGLUT_KeyboardUpFunc(static_cast<unsigned char>(k), 0, 0);
        }
}

void make_panel() {
    if (made) return;
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr; // no imgui.ini in the user's working folder
    io.LogFilename = nullptr;
    ImGui::StyleColorsDark();
    ImGui::GetStyle().Alpha = 0.92f;
    ImGui_ImplGLUT_Init();
    ImGui_ImplOpenGL2_Init();
    ImGui_ImplGLUT_ReshapeFunc(window_width, window_height);
    // Key releases reach the panel's fields, so a held key does not repeat for ever.
    glutKeyboardUpFunc(on_key_up);
    glutSpecialUpFunc(ImGui_ImplGLUT_SpecialUpFunc);
    scene_names = builtin_scene_names(exe_folder);
    made = true;
}

// What the checks accept, for the tooltip.
void accepted_text(const SettingInfo& info, char* out, std::size_t size) {
    const char* when = info.when == SettingWhen::outline  ? " (in mode 1)"
                       : info.when == SettingWhen::bodies ? " (with bodies)"
                                                          : "";
    switch (info.check) {
    case SettingCheck::range:
        std::snprintf(out, size, "%d to %d%s", info.lo, info.hi, when);
        return;
    case SettingCheck::positive:
        std::snprintf(out, size, "above 0%s", when);
        return;
    case SettingCheck::none:
    case SettingCheck::finite:
        break;
    }
    std::snprintf(out, size, "%s", info.type == SettingType::text ? "a scene" : "any number");
}

char* field_of(const SettingInfo& info) {
    char* record = std::strcmp(info.section, "graph") == 0
                       ? reinterpret_cast<char*>(&panel_state.graph)
                       : reinterpret_cast<char*>(&panel_state.phys);
    return record + info.offset;
}

// One setting's widget; true when the user changed its value.
bool setting_widget(const SettingInfo& info) {
    char* field = field_of(info);
    const PanelBounds bounds = panel_bounds(info);
    bool changed = false;
    switch (info.type) {
    case SettingType::whole: {
        int32_t& value = *reinterpret_cast<int32_t*>(field);
        if (info.check == SettingCheck::range) {
            changed = ImGui::SliderInt(info.key, &value, info.lo, info.hi, "%d",
                                       ImGuiSliderFlags_AlwaysClamp);
        } else {
            changed =
                ImGui::InputInt(info.key, &value, 1, 10, ImGuiInputTextFlags_EnterReturnsTrue);
        }
        break;
    }
    case SettingType::number: {
        float& value = *reinterpret_cast<float*>(field);
        changed = ImGui::DragFloat(info.key, &value, panel_drag_speed(info),
                                   static_cast<float>(bounds.lo), static_cast<float>(bounds.hi),
                                   "%.7g", ImGuiSliderFlags_AlwaysClamp);
        if (changed) value = static_cast<float>(clamp_to_bounds(info, value));
        break;
    }
    case SettingType::text: {
        SettingText& value = *reinterpret_cast<SettingText*>(field);
        if (ImGui::BeginCombo(info.key, value.text)) {
            for (const std::string& name : scene_names) {
                const bool chosen = name == value.text;
                if (ImGui::Selectable(name.c_str(), chosen)) {
                    std::snprintf(value.text, sizeof value.text, "%s", name.c_str());
                    changed = !chosen;
                }
            }
            ImGui::EndCombo();
        }
        break;
    }
    }
    if (ImGui::IsItemHovered()) {
        char accepted[64];
        accepted_text(info, accepted, sizeof accepted);
        ImGui::BeginTooltip();
        ImGui::PushTextWrapPos(ImGui::GetFontSize() * 32.0f);
        ImGui::TextUnformatted(info.description);
        ImGui::Text("accepted: %s%s", accepted,
                    panel_effect(info) == PanelEffect::restart ? "; takes effect with Restart"
                                                               : "");
        ImGui::PopTextWrapPos();
        ImGui::EndTooltip();
    }
    return changed;
}

void section(const char* name, const char* title) {
    if (!ImGui::CollapsingHeader(title, ImGuiTreeNodeFlags_DefaultOpen)) return;
    for (int i = 0; i < setting_count; ++i) {
        const SettingInfo& info = setting_infos[i];
        if (std::strcmp(info.section, name) != 0) continue;
        ImGui::PushID(i);
        const bool restart = panel_effect(info) == PanelEffect::restart;
        // Restart settings are marked; one that waits for Restart stands out.
        const bool waiting =
            restart && setting_value_bits(info, panel_state.graph, panel_state.phys) !=
                           setting_value_bits(info, play_state.graph, play_state.phys);
        ImGui::TextColored(waiting ? restart_colour : ImVec4(0.5f, 0.5f, 0.5f, 1.0f), "%s",
                           restart ? (waiting ? "R*" : "R ") : "  ");
        ImGui::SameLine();
        if (setting_widget(info)) panel_set(panel_state, play_state, sim, info, stderr);
        ImGui::PopID();
    }
}

} // namespace

void toggle_panel() {
    panel_state.visible = !panel_state.visible;
    if (!panel_state.visible) {
        // Buttons the panel held are let go with it.
        for (bool& t : taken)
            t = false;
        return;
    }
    make_panel();
    panel_sync(panel_state, play_state);
}

void draw_panel() {
    if (!panel_state.visible) return;
    ImGui_ImplOpenGL2_NewFrame();
    ImGui_ImplGLUT_NewFrame();
    ImGui::SetNextWindowPos(ImVec2(8.0f, 8.0f), ImGuiCond_FirstUseEver);
    ImGui::SetNextWindowSize(ImVec2(380.0f, static_cast<float>(window_height) * 0.8f),
                             ImGuiCond_FirstUseEver);
    bool open = true;
    const bool expanded = ImGui::Begin("Settings (p)", &open);
    panel_min = ImGui::GetWindowPos();
    panel_max =
        ImVec2(panel_min.x + ImGui::GetWindowSize().x, panel_min.y + ImGui::GetWindowSize().y);
    if (expanded) {
        ImGui::PushItemWidth(-150.0f);
        if (ImGui::Button("Save (w)")) play_state.requests |= request_save;
        ImGui::SameLine();
        ImGui::BeginDisabled(!panel_state.restart_waiting);
        if (ImGui::Button("Restart")) restart_with_panel();
        ImGui::EndDisabled();
        ImGui::SameLine();
        ImGui::TextColored(restart_colour, "R: with Restart");
        if (panel_state.message[0] != '\0')
            ImGui::TextColored(refusal_colour, "%s", panel_state.message);
        section("graph", "Window and drawing [graph]");
        section("phys", "Simulation and bodies [phys]");
        ImGui::PopItemWidth();
    }
    ImGui::End();
    ImGui::Render();
    ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
    ++panel_frames;
    let_go_waiting();
    if (!open) toggle_panel();
    // Mode, colours and saving asked for by the panel are served as the keys' are.
    if (play_state.requests & (request_mode | request_colours | request_save)) serve_requests();
}

bool panel_mouse(int button, int state, int x, int y) {
    if (!panel_state.visible) return false;
    ImGui_ImplGLUT_MotionFunc(x, y);
    if (button == 3 || button == 4) {
        if (!over_panel(x, y)) return false;
        if (state == GLUT_DOWN) ImGui_ImplGLUT_MouseWheelFunc(0, button == 3 ? 1 : -1, x, y);
        return true;
    }
    if (button < 0 || button > 2) return false;
    if (state == GLUT_DOWN) {
        if (!over_panel(x, y)) return false;
        taken[button] = true;
        pressed_in[button] = panel_frames;
        release_waiting[button] = false;
        // Ctrl+click types a value into a slider.
        take_modifiers();
        ImGui_ImplGLUT_MouseFunc(button, state, x, y);
        return true;
    }
    // A release belongs where its press went: a stir begun on the fluid ends there.
    take_modifiers();
    if (taken[button] && pressed_in[button] == panel_frames)
        release_waiting[button] = true;
    else
        ImGui_ImplGLUT_MouseFunc(button, state, x, y);
    const bool was_taken = taken[button];
    taken[button] = false;
    return was_taken;
}

bool panel_motion(int x, int y) {
    if (!panel_state.visible) return false;
    ImGui_ImplGLUT_MotionFunc(x, y);
    return taken[0] || taken[1] || taken[2];
}

bool panel_key(unsigned char key, int x, int y) {
    if (!panel_state.visible || !ImGui::GetIO().WantCaptureKeyboard) return false;
    take_modifiers(); // Ctrl left over from a Ctrl+click would block the typing
    key_pressed_in[key] = panel_frames;
    key_up_waiting[key] = false;
    ImGui_ImplGLUT_KeyboardFunc(key, x, y);
    return true;
}

bool panel_special(int key, int x, int y) {
    if (!panel_state.visible || !ImGui::GetIO().WantCaptureKeyboard) return false;
    ImGui_ImplGLUT_SpecialFunc(key, x, y);
    return true;
}

void panel_reshape(int width, int height) {
    if (made) ImGui_ImplGLUT_ReshapeFunc(width, height);
}

void release_panel() {
    if (!made) return;
    glutKeyboardUpFunc(nullptr);
    glutSpecialUpFunc(nullptr);
    ImGui_ImplOpenGL2_Shutdown();
    ImGui_ImplGLUT_Shutdown();
    ImGui::DestroyContext();
    made = false;
    panel_state.visible = false;
}
