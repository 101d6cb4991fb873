// The two section loaders and the text-to-number conversions they use.
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale.h>

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

}  // namespace

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
    std::snprintf(entry->start, sizeof entry->start, "%s", text);
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

int32_t read_int(const Source& source, const char* section, const char* key,
                 const char* default_text) {
    return read_value(source, section, key, default_text, ini_to_int);
}

float read_float(const Source& source, const char* section, const char* key,
                 const char* default_text) {
    return read_value(source, section, key, default_text, ini_to_float);
}

}  // namespace

const WrittenSetting* find_written(const WrittenSettings& written, const char* key) {
    for (int i = 0; i < written.count; ++i)
        if (std::strcmp(written.settings[i].key, key) == 0) return &written.settings[i];
    return nullptr;
}

void load_graph_config_text(GraphConfig* config, const std::string& text,
                            WrittenSettings* written) {
    const Source file{text, written};
    const char* s = "graph";
    std::memset(config, 0, sizeof *config);
    config->window_size = read_int(file, s, "window_size", "740");
    config->render_type = read_int(file, s, "render_type", "0");
    config->point_size = read_float(file, s, "point_size", "3.0");
    config->point_colors = read_int(file, s, "point_colors", "1");
    config->point_diffusion = read_float(file, s, "point_diffusion", "0.002");
    config->surf_resolution = read_int(file, s, "surf_resolution", "128");
    config->surf_radius = read_float(file, s, "surf_radius", "2.0");
    config->surf_size = read_float(file, s, "surf_size", "2.0");
    config->graph_smooth = read_int(file, s, "graph_smooth", "1");
    config->graph_blend = read_int(file, s, "graph_blend", "1");
    config->realtime = read_int(file, s, "realtime", "0");
}

void load_phys_config_text(PhysConfig* config, const std::string& text, WrittenSettings* written) {
    const Source file{text, written};
    const char* s = "phys";
    std::memset(config, 0, sizeof *config);
    config->count = read_int(file, s, "count", "10000");
    config->smooth_radius = read_float(file, s, "smooth_radius", "0.01");
    config->mass = read_float(file, s, "mass", "0.0002");
    config->field_size = read_float(file, s, "field_size", "0.8");
    config->timestep = read_float(file, s, "timestep", "0.0015");
    config->viscosity = read_float(file, s, "viscosity", "0.4");
    config->stiff = read_float(file, s, "stiff", "2.5");
    config->rest_density = read_float(file, s, "rest_density", "600.0");
    config->gravity = read_float(file, s, "gravity", "-9.8");
    config->ext_stiff = read_float(file, s, "ext_stiff", "100000.0");
    config->damp = read_float(file, s, "damp", "0.998");
    config->geom_count = read_int(file, s, "geom_count", "2");
    config->geom_vertex_count_min = read_int(file, s, "geom_vertex_count_min", "4");
    config->geom_vertex_count_max = read_int(file, s, "geom_vertex_count_max", "10");
    config->geom_w_min = read_float(file, s, "geom_w_min", "5.0");
    config->geom_w_max = read_float(file, s, "geom_w_max", "10.0");
    config->geom_h_min = read_float(file, s, "geom_h_min", "5.0");
    config->geom_h_max = read_float(file, s, "geom_h_max", "10.0");
    config->geom_mass_min = read_float(file, s, "geom_mass_min", "0.000005");
    config->geom_mass_max = read_float(file, s, "geom_mass_max", "0.00002");
    config->geom_m_inert_min = read_float(file, s, "geom_m_inert_min", "8.0");
    config->geom_m_inert_max = read_float(file, s, "geom_m_inert_max", "12.0");
    config->geom_stiff = read_float(file, s, "geom_stiff", "200000.0");
    config->mouse_radius = read_float(file, s, "mouse_radius", "13.0");
    config->mouse_force = read_float(file, s, "mouse_force", "75.0");
    config->threads = read_int(file, s, "threads", "0");
}

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

const IniKey ini_keys[] = {
    {"graph", "window_size", true},       {"graph", "render_type", true},
    {"graph", "point_size", false},       {"graph", "point_colors", true},
    {"graph", "point_diffusion", false},  {"graph", "surf_resolution", true},
    {"graph", "surf_radius", false},      {"graph", "surf_size", false},
    {"graph", "graph_smooth", true},      {"graph", "graph_blend", true},
    {"graph", "realtime", true},
    {"phys", "count", true},              {"phys", "smooth_radius", false},
    {"phys", "mass", false},              {"phys", "field_size", false},
    {"phys", "timestep", false},          {"phys", "viscosity", false},
    {"phys", "stiff", false},             {"phys", "rest_density", false},
    {"phys", "gravity", false},           {"phys", "ext_stiff", false},
    {"phys", "damp", false},              {"phys", "geom_count", true},
    {"phys", "geom_vertex_count_min", true}, {"phys", "geom_vertex_count_max", true},
    {"phys", "geom_w_min", false},        {"phys", "geom_w_max", false},
    {"phys", "geom_h_min", false},        {"phys", "geom_h_max", false},
    {"phys", "geom_mass_min", false},     {"phys", "geom_mass_max", false},
    {"phys", "geom_m_inert_min", false},  {"phys", "geom_m_inert_max", false},
    {"phys", "geom_stiff", false},        {"phys", "mouse_radius", false},
    {"phys", "mouse_force", false},       {"phys", "threads", true},
};
const int ini_key_count = static_cast<int>(sizeof ini_keys / sizeof ini_keys[0]);
static_assert(sizeof ini_keys / sizeof ini_keys[0] <= written_setting_capacity,
              "every key's text must fit WrittenSettings");

bool load_settings(const char* path, bool required, GraphConfig* graph, PhysConfig* phys,
                   WrittenSettings* written, std::FILE* err) {
    std::string text;
    const IniLoad load = ini_load(path, &text);
    const bool ok = load.status == IniLoad::ok || !required;
    if (load.status != IniLoad::ok && (required || load.status != IniLoad::missing)) {
        std::fprintf(err, "%s: cannot read the settings file '%s': %s%s\n",
                     required ? "error" : "warning", printable_text(path).c_str(),
                     ini_load_reason(load).c_str(),
                     required ? "" : "; every setting takes its default");
    }
    if (load.status == IniLoad::ok) ini_warn(text, path, err);
    if (written != nullptr) written->count = 0;
    load_graph_config_text(graph, text, written);
    load_phys_config_text(phys, text, written);
    return ok;
}

// An empty path never opens, so the loader falls back to its default texts: the defaults live
// in one table only.
PhysConfig default_phys_config() {
    PhysConfig config;
    load_phys_config(&config, "");
    return config;
}
