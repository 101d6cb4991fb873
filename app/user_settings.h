#pragma once
// The user's own settings file: which settings file a program reads, and keeping what the user
// tuned while it ran (the w key). None of it needs a window.
#include <cstdint>
#include <cstdio>
#include <string>

#include "config/config.h"

struct PlayState;

// The user's settings file by the XDG rule: $XDG_CONFIG_HOME/tarnwell/config.ini when that
// variable holds an absolute path, else $HOME/.config/tarnwell/config.ini; empty when neither
// variable gives one. Either argument may be null (unset).
std::string user_settings_path(const char* xdg_config_home, const char* home);

// The settings file a program reads when none is named on the command line: the user's when it
// exists (a file that exists but cannot be read is still the one named in the messages), else
// config.ini in `folder`, the program's own.
std::string settings_file_to_read(const std::string& user_file, const std::string& folder);

// The user's settings file of this run (main fills it in), where w saves unless --config named
// another.
extern std::string user_settings_file;

// A setting's value in the records, for code that goes over the table.
uint32_t setting_value_bits(const SettingInfo& info, const GraphConfig& graph,
                            const PhysConfig& phys);
// The text a settings file gives to read the value back exactly (floats in the fewest digits
// that do).
std::string setting_value_text(const SettingInfo& info, const GraphConfig& graph,
                               const PhysConfig& phys);
void copy_setting(const SettingInfo& info, const GraphConfig& from_graph,
                  const PhysConfig& from_phys, GraphConfig* graph, PhysConfig* phys);

// `existing` (a settings file's text, may be empty) with every setting set to its value in
// `graph` and `phys`: a key the file gives another value has that value replaced on its line (a
// remark after a number stays); a key the file lacks is added at the end of its section (the
// section is added when missing) only when its value differs from the default. Comments, blank
// lines, unknown keys and sections, line ends and the order of everything stay as they were.
std::string merge_settings_text(const std::string& existing, const GraphConfig& graph,
                                const PhysConfig& phys);

// What w keeps of a session: each setting the user changed since the settings were read (keys,
// panel) at its value now, every other at the value the settings file `source_text` gives it
// alone, so that a scene's own settings never leak into the saved file. A scene chosen with
// --scene or e is kept as the scene setting.
void settings_to_save(const PlayState& play, const std::string& source_text, GraphConfig* graph,
                      PhysConfig* phys);

// Saves play's settings (settings_to_save, read from `source`, the file the settings came from)
// into the settings file `target` through the safe writer, creating its folder when missing.
// A target that exists but cannot be read, a folder that cannot be made and a file that cannot
// be written are named on `err` with the reason, and leave the target as it was. Reports the
// file written on `out`.
bool save_settings(const PlayState& play, const char* source, const std::string& target,
                   std::FILE* out, std::FILE* err);
