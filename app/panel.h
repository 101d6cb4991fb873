#pragma once
// The settings panel without its widgets: what each setting of the table becomes in it, how a
// value set there reaches the running simulation, and the values waiting for a restart. The
// window draws it with dear imgui (app/gl/desktop/panel.cpp); nothing here needs a window.
#include <cstdint>
#include <cstdio>

#include "app/play.h"
#include "config/config.h"

struct SimState;

// When a value set in the panel takes effect: at once, or with the panel's Restart (the
// particles, the grid, the bodies or the window are built from it).
enum class PanelEffect { live, restart };
PanelEffect panel_effect(const SettingInfo& info);

// The values the panel lets a setting take: the table's range for a range check, above 0 for a
// positive one, any finite number otherwise (whole numbers within int32_t).
struct PanelBounds {
    double lo;
    double hi;
};
PanelBounds panel_bounds(const SettingInfo& info);
// `value` moved into the bounds (a positive setting's 0 or less becomes its smallest value).
double clamp_to_bounds(const SettingInfo& info, double value);
// How far one pixel of dragging moves a number: a hundredth of its default's size.
float panel_drag_speed(const SettingInfo& info);

struct PanelState {
    bool visible;
    // What the panel shows: play's settings with the changes waiting for Restart.
    GraphConfig graph;
    PhysConfig phys;
    bool restart_waiting;           // a restart setting differs from the running one
    char message[status_text_size]; // why the last value was refused (empty: none)
};
extern PanelState panel_state;

// Shows play's settings as they are now, forgetting changes not yet restarted (on showing the
// panel, and after r, l or e replaced the settings).
void panel_sync(PanelState& panel, const PlayState& play);

// The user set `info` to its value in panel.graph or panel.phys (already within the bounds). A
// live setting is checked with the running ones as start-up checks them and, when accepted,
// given to play, graph_config or phys_config and the simulation at once (mode and colours as
// requests for the shell); a refused one goes back to its running value, with the reason in
// panel.message and on `err`. A restart setting waits for panel_restart. Returns whether the
// value was taken (now or for the restart).
bool panel_set(PanelState& panel, PlayState& play, SimState& state, const SettingInfo& info,
               std::FILE* err);

// The restart settings of the panel, given to play: the shell then restarts as r does (a new
// scene as e does). Returns whether the scene changed.
bool panel_take_restart(PanelState& panel, PlayState& play);
