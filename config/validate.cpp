#include "config/validate.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/config.h"

namespace {

// A setting's value as checked, with what it takes to tell whether a text gave it.
struct Value {
    bool whole;
    int32_t whole_value;
    float number;
};

ShownNumber show(const Value& value) {
    return value.whole ? ::show(value.whole_value) : ::show(value.number);
}

uint32_t bits_of(const Value& value) {
    return value.whole ? setting_bits(value.whole_value) : setting_bits(value.number);
}

// A value text for a message, in double quotes: only its start when it is long, since a line
// of the file may hold 255 characters.
std::string quote(const WrittenSetting& written) {
    std::string q = "\"" + printable_text(written.start);
    if (written.length > written_text_kept)
        q += "...\", " + std::to_string(written.length) + " characters long";
    else
        q += "\"";
    return q;
}

void refuse_value(Refusals& r, const char* section, const char* key, Value value,
                  const char* accepted, va_list args) {
    if (r.has(key) || r.count == static_cast<int>(sizeof r.keys / sizeof r.keys[0])) return;
    r.keys[r.count++] = key;
    const WrittenSetting* written = r.written ? find_written(*r.written, key) : nullptr;
    std::string remark;
    if (written != nullptr && written->value_bits == bits_of(value))
        remark = written->in_file ? " (the file says " + quote(*written) + ")"
                                  : " (the default: the file does not set it)";
    std::fprintf(r.err, "error: [%s] %s = %s%s is not accepted: ", section, key, show(value).s,
                 remark.c_str());
    std::vfprintf(r.err, accepted, args);
    std::fputc('\n', r.err);
}

// Whether the table's check of a setting applies to these settings.
bool applies(SettingWhen when, const GraphConfig& g, const PhysConfig& p) {
    switch (when) {
    case SettingWhen::always:
        return true;
    case SettingWhen::outline:
        return g.render_type == 1; // the lattice exists there only
    case SettingWhen::bodies:
        return p.geom_count > 0; // no bodies: shapes never used
    }
    return true;
}

void check_setting(Refusals& r, const SettingInfo& s, const void* record, bool applies_now) {
    const char* at = static_cast<const char*>(record) + s.offset;
    if (s.type == SettingType::text) return; // its user checks what it names
    if (s.type == SettingType::whole) {
        int32_t value;
        std::memcpy(&value, at, sizeof value);
        if (applies_now && s.check == SettingCheck::range && (value < s.lo || value > s.hi))
            refuse(r, s.section, s.key, value, "use a whole number from %d to %d (%s)", s.lo, s.hi,
                   s.why);
        return;
    }
    float value;
    std::memcpy(&value, at, sizeof value);
    if (!std::isfinite(value))
        refuse(r, s.section, s.key, value,
               "use a finite number (every result computed from it would be meaningless)");
    else if (applies_now && s.check == SettingCheck::positive && !(value > 0.0f))
        refuse(r, s.section, s.key, value, "use a number above 0 (%s)", s.why);
}

} // namespace

ShownNumber show(int32_t value) {
    ShownNumber t;
    std::snprintf(t.s, sizeof t.s, "%d", static_cast<int>(value));
    return t;
}

// The shortest decimal form that reads back as the same float, so 0.01 shows as "0.01", with
// whole numbers up to 1e9 written out rather than in exponent form (20000, not 2e+04).
ShownNumber show(float value) {
    ShownNumber t;
    const double v = static_cast<double>(value);
    const double magnitude = std::fabs(v);
    const int whole_digits =
        magnitude >= 1.0 && magnitude < 1e9 ? static_cast<int>(std::log10(magnitude)) + 1 : 1;
    for (int digits = 1; digits <= 9; ++digits) {
        std::snprintf(t.s, sizeof t.s, "%.*g", digits > whole_digits ? digits : whole_digits, v);
        if (std::isnan(value) || std::strtof(t.s, nullptr) == value) break;
    }
    return t;
}

float f32(float value) {
    volatile float stored = value;
    return stored;
}

bool Refusals::has(const char* key) const {
    for (int i = 0; i < count; ++i)
        if (std::strcmp(keys[i], key) == 0) return true;
    return false;
}

bool Refusals::has_any(const char* a, const char* b, const char* c, const char* d) const {
    return has(a) || has(b) || has(c) || has(d);
}

void refuse(Refusals& r, const char* section, const char* key, int32_t value, const char* accepted,
            ...) {
    va_list args;
    va_start(args, accepted);
    refuse_value(r, section, key, Value{true, value, 0.0f}, accepted, args);
    va_end(args);
}

void refuse(Refusals& r, const char* section, const char* key, float value, const char* accepted,
            ...) {
    va_list args;
    va_start(args, accepted);
    refuse_value(r, section, key, Value{false, 0, value}, accepted, args);
    va_end(args);
}

void check_config(Refusals& r, const GraphConfig& g, const PhysConfig& p) {
    for (int i = 0; i < setting_count; ++i) {
        const SettingInfo& s = setting_infos[i];
        const bool graph = std::strcmp(s.section, "graph") == 0;
        check_setting(r, s, graph ? static_cast<const void*>(&g) : static_cast<const void*>(&p),
                      applies(s.when, g, p));
    }

    // Drawing a velocity more than half way to its neighbours' each step overshoots: pairs swap
    // and grow instead of settling.
    if (!r.has("water_viscosity") && !(p.water_viscosity >= 0.0f && p.water_viscosity <= 0.5f))
        refuse(r, "phys", "water_viscosity", p.water_viscosity, "use a number from 0 to 0.5");

    // Colour exchange per pair runs at point_diffusion / smooth_radius; an infinite rate turns
    // every colour into NaN at the first step.
    if (g.point_colors != 0 && g.point_diffusion != 0.0f && !r.has("point_diffusion") &&
        std::isfinite(p.smooth_radius) && p.smooth_radius > 0.0f &&
        !std::isfinite(f32(g.point_diffusion / p.smooth_radius)))
        refuse(r, "graph", "point_diffusion", g.point_diffusion,
               "point_diffusion/smooth_radius with smooth_radius = %s is not finite; use a "
               "smaller rate",
               show(p.smooth_radius).s);

    // World positions map into the outline lattice with the scale (R - 4r)/field_size; at zero
    // or below every particle lands outside it and the outline is empty.
    if (g.render_type == 1 && !r.has_any("surf_resolution", "surf_radius")) {
        const float room = f32(static_cast<float>(g.surf_resolution) - f32(4.0f * g.surf_radius));
        if (!(room > 0.0f))
            refuse(r, "graph", "surf_radius", g.surf_radius,
                   "use a number below surf_resolution/4 = %s (the lattice scale "
                   "(surf_resolution - 4*surf_radius)/field_size must be positive)",
                   show(f32(static_cast<float>(g.surf_resolution) / 4.0f)).s);
    }

    if (!r.has_any("smooth_radius", "field_size") && !(p.field_size > p.smooth_radius))
        refuse(r, "phys", "field_size", p.field_size,
               "use a number above smooth_radius = %s (the walls stand at smooth_radius and at "
               "field_size)",
               show(p.smooth_radius).s);

    // The stirring compares squared distances with (smooth_radius*mouse_radius)^2; if that
    // square overflows, every particle is stirred with an infinite kick.
    if (!r.has_any("smooth_radius", "mouse_radius")) {
        const float reach = f32(p.smooth_radius * p.mouse_radius);
        if (!std::isfinite(f32(reach * reach)))
            refuse(r, "phys", "mouse_radius", p.mouse_radius,
                   "(smooth_radius*mouse_radius)^2 with smooth_radius = %s is not finite; use a "
                   "smaller radius",
                   show(p.smooth_radius).s);
    }

    if (p.geom_count > 0) {
        const SettingInfo* most = find_setting("geom_vertex_count_min");
        const int lo = r.has("geom_vertex_count_min") ? most->lo : p.geom_vertex_count_min;
        if (p.geom_vertex_count_max < lo || p.geom_vertex_count_max > most->hi)
            refuse(r, "phys", "geom_vertex_count_max", p.geom_vertex_count_max,
                   "use a whole number from %d to %d (at least geom_vertex_count_min, and at most "
                   "%d corners fit a body)",
                   lo, most->hi, most->hi);
    }
}
