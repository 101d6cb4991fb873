// The two section loaders and the text-to-number conversions they use.
#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <type_traits>

#include "config/config.h"

GraphConfig graph_config;
PhysConfig phys_config;

namespace {

// The "C" locale, made once: numbers in the settings file always use "." as decimal point,
// whatever locale the user runs in. Null only if the C library cannot make it.
locale_t c_locale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

// The largest double that still rounds to a finite float under round-to-nearest-even:
// FLT_MAX = (2 - 2^-23) * 2^127 and the next step would be 2^128, so every value below the
// halfway point 2^128 - 2^103 rounds down to FLT_MAX and the halfway point itself rounds (to even)
// up to infinity.
constexpr double float_overflow_threshold = 0x1.ffffffp127;

} // namespace

int32_t ini_to_int(const char* text) {
    // strtol in base 10 reads what atoi reads (blanks, sign, decimal digits) but reports overflow
    // instead of leaving it undefined; a long may be wider than 32 bits, so clamp once more.
    locale_t locale = c_locale();
    long value = locale ? strtol_l(text, nullptr, 10, locale) : std::strtol(text, nullptr, 10);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

float ini_to_float(const char* text) {
    locale_t locale = c_locale();
    double value = locale ? strtod_l(text, nullptr, locale) : std::strtod(text, nullptr);
    // Rounding an out-of-range double to float is left undefined by C++, so overflow is settled
    // here with the result IEEE rounding would give; NaN passes through unchanged.
    if (value >= float_overflow_threshold) return HUGE_VALF;
    if (value <= -float_overflow_threshold) return -HUGE_VALF;
    if (value > FLT_MAX) return FLT_MAX;
    if (value < -FLT_MAX) return -FLT_MAX;
    return static_cast<float>(value);
}

namespace {

// Where the loaders read from and, when wanted, where they note each key's text.
struct Source {
    const std::string& file;
    WrittenSettings* written;
};

void note_written(WrittenSettings* written, const char* key, bool in_file, const char* text,
                  uint32_t value_bits) {
    // A key read again (the same record loaded twice) keeps its one entry.
    auto* entry = const_cast<WrittenSetting*>(find_written(*written, key));
    if (entry == nullptr) {
        if (written->count == written_setting_capacity) return;
        entry = &written->settings[written->count++];
        entry->key = key;
    }
    entry->in_file = in_file;
    entry->value_bits = value_bits;
    entry->length = static_cast<int>(std::strlen(text));
    // Only the start is kept: a cut, not a formatted copy, so nothing warns of truncation.
    const std::size_t kept = std::min(std::strlen(text), sizeof entry->start - 1);
    std::memcpy(entry->start, text, kept);
    entry->start[kept] = '\0';
}

// The key's text through `convert`, noted beside the value it gave when wanted.
template <typename T>
T read_value(const Source& source, const char* section, const char* key, const char* default_text,
             T (*convert)(const char*)) {
    char text[ini_text_size];
    const bool in_file = ini_lookup(text, source.file, section, key, default_text);
    const T value = convert(text);
    if (source.written != nullptr)
        note_written(source.written, key, in_file, text, setting_bits(value));
    return value;
}

int32_t convert(const char* text, int32_t*) {
    return ini_to_int(text);
}
float convert(const char* text, float*) {
    return ini_to_float(text);
}
SettingText convert(const char* text, SettingText*) {
    SettingText value;
    std::snprintf(value.text, sizeof value.text, "%s", text);
    return value;
}

template <typename T> constexpr SettingType setting_type() {
    return std::is_same<T, int32_t>::value ? SettingType::whole
           : std::is_same<T, float>::value ? SettingType::number
                                           : SettingType::text;
}

template <typename T>
T read_value(const Source& source, const char* section, const char* key, const char* default_text) {
    return read_value(
        source, section, key, default_text,
        +[](const char* text) { return convert(text, static_cast<T*>(nullptr)); });
}

} // namespace

const WrittenSetting* find_written(const WrittenSettings& written, const char* key) {
    for (int i = 0; i < written.count; ++i)
        if (std::strcmp(written.settings[i].key, key) == 0) return &written.settings[i];
    return nullptr;
}

// Each loader clears its record, then reads every key of its section in the order of the
// list, converting the text as the field's type says.
#define TARNWELL_LOAD_SETTING(type, key, default_text, ...)                                        \
    config->key = read_value<type>(file, section, #key, default_text);

void load_graph_config_text(GraphConfig* config, const std::string& text,
                            WrittenSettings* written) {
    const Source file{text, written};
    const char* section = "graph";
    std::memset(config, 0, sizeof *config);
    TARNWELL_GRAPH_SETTINGS(TARNWELL_LOAD_SETTING)
}

void load_phys_config_text(PhysConfig* config, const std::string& text, WrittenSettings* written) {
    const Source file{text, written};
    const char* section = "phys";
    std::memset(config, 0, sizeof *config);
    TARNWELL_PHYS_SETTINGS(TARNWELL_LOAD_SETTING)
}
#undef TARNWELL_LOAD_SETTING

void load_graph_config(GraphConfig* config, const char* path) {
    std::string text;
    ini_load(path, &text);
    load_graph_config_text(config, text, nullptr);
}

void load_phys_config(PhysConfig* config, const char* path) {
    std::string text;
    ini_load(path, &text);
    load_phys_config_text(config, text, nullptr);
}

// One entry of setting_infos from a line of the lists, for a field of `record` in `section`.
#define TARNWELL_SETTING_INFO(record, section, type, key, default_text, check, lo, hi, when, why,  \
                              description)                                                         \
    SettingInfo{section,                                                                           \
                #key,                                                                              \
                setting_type<type>(),                                                              \
                default_text,                                                                      \
                SettingCheck::check,                                                               \
                lo,                                                                                \
                hi,                                                                                \
                SettingWhen::when,                                                                 \
                why,                                                                               \
                description,                                                                       \
                static_cast<int>(offsetof(record, key))},
#define TARNWELL_GRAPH_INFO(...) TARNWELL_SETTING_INFO(GraphConfig, "graph", __VA_ARGS__)
#define TARNWELL_PHYS_INFO(...) TARNWELL_SETTING_INFO(PhysConfig, "phys", __VA_ARGS__)
const SettingInfo setting_infos[] = {TARNWELL_GRAPH_SETTINGS(TARNWELL_GRAPH_INFO)
                                         TARNWELL_PHYS_SETTINGS(TARNWELL_PHYS_INFO)};
#undef TARNWELL_GRAPH_INFO
#undef TARNWELL_PHYS_INFO
#undef TARNWELL_SETTING_INFO
const int setting_count = static_cast<int>(sizeof setting_infos / sizeof setting_infos[0]);
static_assert(sizeof setting_infos / sizeof setting_infos[0] <= written_setting_capacity,
              "every key's text must fit WrittenSettings");

const SettingInfo* find_setting(const char* key) {
    for (int i = 0; i < setting_count; ++i)
        if (std::strcmp(setting_infos[i].key, key) == 0) return &setting_infos[i];
    return nullptr;
}

bool read_settings_file(const char* path, bool required, std::string* text, std::FILE* err) {
    const IniLoad load = ini_load(path, text);
    const bool ok = load.status == IniLoad::ok || !required;
    if (load.status != IniLoad::ok && (required || load.status != IniLoad::missing)) {
        std::fprintf(err, "%s: cannot read the settings file '%s': %s%s\n",
                     required ? "error" : "warning", printable_text(path).c_str(),
                     ini_load_reason(load).c_str(),
                     required ? "" : "; every setting takes its default");
    }
    if (load.status == IniLoad::ok) ini_warn(*text, path, err);
    return ok;
}

void load_settings_texts(const std::string& scene_text, const std::string& settings_text,
                         GraphConfig* graph, PhysConfig* phys, WrittenSettings* written) {
    // The lookup takes a key's first line, so the scene's text goes first; "[]" closes its last
    // section, so that lines above the settings file's first header stay outside any section.
    const std::string text =
        scene_text.empty() ? settings_text : scene_text + "\n[]\n" + settings_text;
    if (written != nullptr) written->count = 0;
    load_graph_config_text(graph, text, written);
    load_phys_config_text(phys, text, written);
}

bool load_settings(const char* path, bool required, GraphConfig* graph, PhysConfig* phys,
                   WrittenSettings* written, std::FILE* err) {
    std::string text;
    const bool ok = read_settings_file(path, required, &text, err);
    load_settings_texts(std::string(), text, graph, phys, written);
    return ok;
}

GraphConfig default_graph_config() {
    GraphConfig config;
    load_graph_config_text(&config, std::string(), nullptr);
    return config;
}

PhysConfig default_phys_config() {
    PhysConfig config;
    load_phys_config_text(&config, std::string(), nullptr);
    return config;
}
