#pragma once
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/printable_text.h"
#include "config/settings_table.h"
#include "io/small_file.h"

// The two sections of config.ini, one field per setting, in the order of the lists in
// config/settings_table.h (which describe each field).
#define TARNWELL_SETTING_FIELD(type, key, ...) type key;
// [graph]: window and drawing.
struct GraphConfig {
    TARNWELL_GRAPH_SETTINGS(TARNWELL_SETTING_FIELD)
};
// [phys]: simulation and bodies.
struct PhysConfig {
    TARNWELL_PHYS_SETTINGS(TARNWELL_SETTING_FIELD)
};
#undef TARNWELL_SETTING_FIELD

// The process-wide records the program loads at start; the tools and tests use their own.
extern GraphConfig graph_config;
extern PhysConfig phys_config;

constexpr int ini_text_size = 256; // line, section, key and value buffers, terminator included
static_assert(setting_text_size == ini_text_size,
              "a text setting holds any value the reader reads");

constexpr long ini_max_file_size = small_file_max_size;

// How reading a settings file went (io/small_file.h).
using IniLoad = SmallFileRead;
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

// Mistakes the reader passes over silently, each as one warning on `err` naming the file and
// the line: a line that is no section, comment or key=value; a key before any section; a
// section or key no loader knows; a key in the other section; a value that is not a number
// (or not a whole number) where one is read. Values are still read exactly as before.
// Returns the number of warnings; a file without mistakes prints nothing.
// In a scene file the [scene] section is the scene reader's; in a settings file it is warned
// about, since its keys are read from scene files only.
enum class IniFile { settings, scene };
int ini_warn(const std::string& text, const char* path, std::FILE* err,
             IniFile kind = IniFile::settings);
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
constexpr int written_setting_capacity = 48; // at least every key of ini_keys
constexpr int written_text_kept = 40;        // characters of a value text that messages show
struct WrittenSetting {
    const char* key;
    bool in_file;        // false: the key's default text gave the value
    uint32_t value_bits; // the value the text gave (setting_bits), to tell if it changed since
    int length;          // characters of the value text, as the loader converted it
    char start[written_text_kept + 1]; // its first characters
};
struct WrittenSettings {
    int count;
    WrittenSetting settings[written_setting_capacity];
};
// A setting's value as one 32-bit pattern, so a float NaN compares equal to itself.
inline uint32_t setting_bits(int32_t value) {
    return static_cast<uint32_t>(value);
}
inline uint32_t setting_bits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}
// A text's FNV-1a hash: enough to tell whether it changed.
inline uint32_t setting_bits(const SettingText& value) {
    uint32_t hash = 2166136261u;
    for (const char* c = value.text; *c != '\0'; ++c)
        hash = (hash ^ static_cast<unsigned char>(*c)) * 16777619u;
    return hash;
}
// The entry of `key`, or null when the loaders did not record it.
const WrittenSetting* find_written(const WrittenSettings& written, const char* key);

void load_graph_config(GraphConfig* config, const char* path);
void load_phys_config(PhysConfig* config, const char* path);
// The same from a settings file's text already in memory. A non-null `written` receives the
// text of every key read.
void load_graph_config_text(GraphConfig* config, const std::string& text, WrittenSettings* written);
void load_phys_config_text(PhysConfig* config, const std::string& text, WrittenSettings* written);

// Both sections from the settings file at `path`, read once. A file that exists but cannot be
// read (or is no regular file, or too large) is named on `err` with the reason. `required`
// (the user named the file) makes that, and a missing file, an error: false is returned.
// Otherwise every setting then takes its default, as it does silently for a missing file.
// A non-null `written` receives the text every setting was read from.
bool load_settings(const char* path, bool required, GraphConfig* graph, PhysConfig* phys,
                   WrittenSettings* written, std::FILE* err);

// The settings file at `path` as load_settings reads it (its messages and warnings on `err`)
// into `text`, empty unless it could be read. Returns false only when `required` and it could not.
bool read_settings_file(const char* path, bool required, std::string* text, std::FILE* err);
// Both sections from a settings file's text with a scene file's text (may be empty) before it:
// each key the scene sets overrides the settings file's.
void load_settings_texts(const std::string& scene_text, const std::string& settings_text,
                         GraphConfig* graph, PhysConfig* phys, WrittenSettings* written);

// Every key at its default, as the loaders give them when there is no file.
GraphConfig default_graph_config();
PhysConfig default_phys_config();
// config.ini with every key at its default, each under its description (data/config.ini).
std::string default_settings_text();
// The same as the README's tables, one per section, in Markdown: key, default and what the
// setting does and accepts (tools/readme_settings.sh writes them into README.md).
std::string settings_markdown();

// Whether the text reads as a number the way it is meant: a whole decimal number when `whole`,
// else a decimal number with optional fraction and exponent (or inf, nan), with only blanks or a
// ";" remark after it.
bool ini_reads_as_number(const char* text, bool whole);

// Text to number as the C library's atoi/atof read it, but locale-independent ("." always),
// saturating integers to the 32-bit range and turning float overflow into +-infinity.
int32_t ini_to_int(const char* text);
float ini_to_float(const char* text);
