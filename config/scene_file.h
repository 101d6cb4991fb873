#pragma once
// Scene files: finding them, reading their [scene] section, listing the ones beside the program.
// The [graph] and [phys] keys of a scene file are read by the settings loaders
// (load_settings_texts); what is here is the rest.
#include <cstdio>
#include <string>
#include <vector>

#include "config/scene.h"

// The scene of a run when none is chosen: the seed's random block, and no file needed.
constexpr const char* default_scene_name = "box";

// Reads the [scene] section of a scene file's `text` into `scene` (starting from default_scene(),
// named after `path`). Every line that is refused is one "error: PATH:LINE: 'line': ..." on
// `err`, saying what is accepted; all of them, not just the first. Returns how many there were
// (0: the scene is accepted). Other sections are the settings reader's.
int read_scene_text(const std::string& text, const char* path, SceneDescription* scene,
                    std::FILE* err);

// The scene's name for messages and the overlay: the file's name without folder and ".ini".
std::string scene_name_of(const char* path);

// Whether `choice` (a scene setting or --scene) names a scene beside the program rather than a
// file: no '/' and no ".ini" at its end.
bool scene_choice_is_name(const char* choice);
// The file `choice` means: <program folder>scenes/NAME.ini for a name, the path itself otherwise.
std::string scene_path(const char* choice, const std::string& program_folder);

// A scene read from its file: the description and the file's text, whose [graph] and [phys]
// keys override the settings file's.
struct SceneFile {
    std::string path; // empty: the built-in box, from no file
    std::string text;
    SceneDescription description;
};

// Reads and checks the scene `choice` means; the name "box" needs no file. Anything else that
// cannot be read, or is refused, is said on `err` with the file (and the line) and gives false.
// The file's settings warnings (unknown keys, ...) are `err`'s too.
bool load_scene(const char* choice, const std::string& program_folder, SceneFile* scene,
                std::FILE* err);

// Whether the description adds nothing to the box (no blocks, bodies, obstacles, piston,
// emitters or drains).
bool scene_is_plain(const SceneDescription& scene);

// The scenes beside the program: "box" first, then every scenes/NAME.ini in alphabetical order.
std::vector<std::string> builtin_scene_names(const std::string& program_folder);
// The scene after `current` in that list, wrapping; the first when `current` is not in it.
std::string next_scene_name(const std::vector<std::string>& names, const char* current);
// What --scene help prints: each scene's name and its about line, one a line (a scene that is
// refused says so). Returns the number of scenes listed.
int print_scene_list(const std::string& program_folder, std::FILE* out);
