#pragma once
// Restarting and changing the running simulation from the keys, with the same checks as at
// start. None of it needs a window.
#include <cstdint>
#include <cstdio>

struct PlayState;

// New simulation from play's chosen settings and `seed`, after the start-up fix-ups and checks.
// Settings that are refused are reported on `err` and leave the running simulation as it was.
// Prints the seed on `out`. Returns whether the new simulation runs.
bool restart_simulation(PlayState& play, uint32_t seed, std::FILE* out, std::FILE* err);

// Reads the settings file again into play and restarts from it, by the rules of start-up: a
// file `named` on the command line that is gone or cannot be read is refused, and so are
// settings the start-up check refuses; both are reported on `err` and change nothing. Settings
// that will blow up are warned about, as at start.
bool reload_settings(PlayState& play, const char* config_path, bool named, uint32_t seed,
                     std::FILE* out, std::FILE* err);

// Restarts on the scene `choice` (a name or a path) with the settings file read again, by the
// rules of reload_settings; the scene stays chosen for later restarts and reloads. On success the
// status line names the scene; a scene that is refused is reported on `err` and changes nothing.
bool switch_scene(PlayState& play, const char* config_path, bool named, const char* choice,
                  uint32_t seed, std::FILE* out, std::FILE* err);

// Switches to colour scheme play.graph.point_colors without restarting. Returns false, with
// play.graph back at the scheme in use, when the settings refuse it or memory runs out.
bool switch_colours(PlayState& play, std::FILE* err);

// Whether render mode `mode` may run with the current settings (the outline has settings of its
// own, checked only when it is used); refusals go to `err`.
bool mode_settings_accepted(const PlayState& play, int32_t mode, std::FILE* err);
