#pragma once
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/printable_text.h"

// Settings of section [graph]: window and drawing. Field order is the key order of the file.
struct GraphConfig {
    int32_t window_size;      // window width and height in pixels at start
    int32_t render_type;      // 0 points, 1 iso-line outline, 2 shader sprites, other: nothing
    float point_size;         // point size in pixels (mode 0); "scalar" uniform (mode 2)
    int32_t point_colors;     // 0 white, 1 diffusing gradient, 2 density ramp
    float point_diffusion;    // colour exchange rate between neighbours
    int32_t surf_resolution;  // surface lattice cells per side (mode 1)
    float surf_radius;        // splat radius in lattice units (mode 1)
    float surf_size;          // line width in pixels
    int32_t graph_smooth;     // non-zero: anti-aliased points/lines
    int32_t graph_blend;      // non-zero: alpha blending (modes 0 and 1)
    int32_t realtime;         // 1: steps per frame follow the wall clock; 0: one step a frame
};

// Settings of section [phys]: simulation and bodies. Field order is the key order of the file.
struct PhysConfig {
    int32_t count;
    float smooth_radius;
    float mass;
    float field_size;
    float timestep;
    float viscosity;
    float stiff;
    float rest_density;
    float gravity;
    float ext_stiff;
    float damp;
    int32_t geom_count;
    int32_t geom_vertex_count_min;
    int32_t geom_vertex_count_max;
    float geom_w_min;
    float geom_w_max;
    float geom_h_min;
    float geom_h_max;
    float geom_mass_min;
    float geom_mass_max;
    float geom_m_inert_min;
    float geom_m_inert_max;
    float geom_stiff;
    float mouse_radius;
    float mouse_force;
    int32_t threads;  // threads of the physics step and the outline; 0: one per core
};

// The process-wide records the program loads at start; the tools and tests use their own.
extern GraphConfig graph_config;
extern PhysConfig phys_config;

constexpr int ini_text_size = 256;  // line, section, key and value buffers, terminator included

constexpr long ini_max_file_size = 1L << 20;  // a settings file is a few hundred bytes

// How reading a settings file went; `error` is the errno of missing and unreadable.
struct IniLoad {
    enum Status { ok, missing, unreadable, not_regular, too_large } status;
    int error;
};
// Reads the whole file at `path` into `text` (empty unless ok), without a leading UTF-8
// byte-order mark. Only regular files up to ini_max_file_size are read; a FIFO or device is
// refused at once, never waited on.
IniLoad ini_load(const char* path, std::string* text);
// Why a load failed, in words for a message.
std::string ini_load_reason(const IniLoad& load);
// Leaves in `out` (ini_text_size chars) the value text of `key` in `section` of the file's text,
// or `default_text`. Returns whether the file gave it.
bool ini_lookup(char* out, const std::string& text, const char* section, const char* key,
                const char* default_text);
// One key the loaders read: its section and whether it takes a whole number (else any number).
struct IniKey {
    const char* section;
    const char* key;
    bool whole_number;
};
extern const IniKey ini_keys[];
extern const int ini_key_count;

// Mistakes the reader passes over silently, each as one warning on `err` naming the file and
// the line: a line that is no section, comment or key=value; a key before any section; a
// section or key no loader knows; a key in the other section; a value that is not a number
// (or not a whole number) where one is read. Values are still read exactly as before.
// Returns the number of warnings; a file without mistakes prints nothing.
int ini_warn(const std::string& text, const char* path, std::FILE* err);
// The same for the file at `path`, read afresh.
void ini_read_value(char* out, const char* path, const char* section, const char* key,
                    const char* default_text);
// Moves the text before the first `separator` into `second`; `text` keeps what follows it.
void ini_split(char* text, char* second, char separator);
// Splits a key line into key and value; returns 1 for a pair, 0 otherwise. Empties `line`.
int ini_parse_pair(char* line, char* value, char* key);

// The text each setting was converted from, kept so that a refusal can quote what the user
// wrote beside the number it gave (a saturated 99999999999, an overflowing 1e99). Written by
// the loaders, one entry per key in the order they read them; read by validate_settings.
// No entries means the texts are not known.
constexpr int written_setting_capacity = 48;  // at least every key of ini_keys
constexpr int written_text_kept = 40;         // characters of a value text that messages show
struct WrittenSetting {
    const char* key;
    bool in_file;         // false: the key's default text gave the value
    uint32_t value_bits;  // the value the text gave (setting_bits), to tell if it changed since
    int length;           // characters of the value text, as the loader converted it
    char start[written_text_kept + 1];  // its first characters
};
struct WrittenSettings {
    int count;
    WrittenSetting settings[written_setting_capacity];
};
// A setting's value as one 32-bit pattern, so a float NaN compares equal to itself.
inline uint32_t setting_bits(int32_t value) { return static_cast<uint32_t>(value); }
inline uint32_t setting_bits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}
// The entry of `key`, or null when the loaders did not record it.
const WrittenSetting* find_written(const WrittenSettings& written, const char* key);

void load_graph_config(GraphConfig* config, const char* path);
void load_phys_config(PhysConfig* config, const char* path);
// The same from a settings file's text already in memory. A non-null `written` receives the
// text of every key read.
void load_graph_config_text(GraphConfig* config, const std::string& text,
                            WrittenSettings* written);
void load_phys_config_text(PhysConfig* config, const std::string& text, WrittenSettings* written);

// Both sections from the settings file at `path`, read once. A file that exists but cannot be
// read (or is no regular file, or too large) is named on `err` with the reason. `required`
// (the user named the file) makes that, and a missing file, an error: false is returned.
// Otherwise every setting then takes its default, as it does silently for a missing file.
// A non-null `written` receives the text every setting was read from.
bool load_settings(const char* path, bool required, GraphConfig* graph, PhysConfig* phys,
                   WrittenSettings* written, std::FILE* err);

// Every [phys] key at its default, as the loader gives them when there is no file.
PhysConfig default_phys_config();

// Text to number as the C library's atoi/atof read it, but locale-independent ("." always),
// saturating integers to the 32-bit range and turning float overflow into +-infinity.
int32_t ini_to_int(const char* text);
float ini_to_float(const char* text);
