// Refuses, before anything is allocated, the settings that would make the program write out of
// bounds, ask for absurd memory or compute with values that are not finite. Everything else, odd
// as it may look (no particles, no bodies, an unknown drawing mode), is left to the program.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bodies/rigid_body.h"
#include "config/config.h"
#include "config/validate.h"
#include "sph/sim_state.h"
#include "surface/surface.h"

namespace {

// The limits of the simulation, the bodies and the lattice are their own; these are the
// program's policy.
constexpr int max_window_size = 16384;        // beyond any real display or GL viewport
// Without a window manager the window is placed at (-1, -1): a 1-pixel window lies wholly
// off the screen, is never shown and so never draws or steps. 16 leaves a visible square.
constexpr int min_window_size = 16;
constexpr int max_bodies = 256;
constexpr int min_body_corners = 3;           // fewer corners enclose no area
constexpr int max_threads_setting = 256;      // far beyond any desktop's cores

struct Text {
    char s[48];
};

Text show(int32_t value) {
    Text t;
    std::snprintf(t.s, sizeof t.s, "%d", static_cast<int>(value));
    return t;
}

// The shortest decimal form that reads back as the same float, so 0.01 shows as "0.01", with
// whole numbers up to 1e9 written out rather than in exponent form (20000, not 2e+04).
Text show(float value) {
    Text t;
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

// Rounds to single precision through memory, so the checks below see the float results the
// simulation sees even where the compiler would keep intermediates wider (x87).
float f32(float value) {
    volatile float stored = value;
    return stored;
}

// A setting's value as checked, with what it takes to tell whether a text gave it.
struct Value {
    Value(int32_t v) : whole(true), whole_value(v), number(0.0f) {}
    Value(float v) : whole(false), whole_value(0), number(v) {}
    bool whole;
    int32_t whole_value;
    float number;
};

Text show(const Value& value) { return value.whole ? show(value.whole_value) : show(value.number); }

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

struct Refusals {
    std::FILE* err;
    const WrittenSettings* written;  // null: where the values came from is not known
    int count;
    const char* keys[64];  // keys refused so far; key names are unique across both sections

    bool has(const char* key) const {
        for (int i = 0; i < count; ++i)
            if (std::strcmp(keys[i], key) == 0) return true;
        return false;
    }
    bool has_any(const char* a, const char* b, const char* c = "", const char* d = "") const {
        return has(a) || has(b) || has(c) || has(d);
    }
};

// One line per refused key: the first rule a key breaks is the one reported. Beside the value
// stands what the file says for the key, since the value may differ from the text that gave it
// (99999999999 saturates to 2147483647, 1e99 overflows to inf), or that the file does not set
// it. A value changed after reading (a fix-up, a key in play, a command-line option) came from
// no text of the file, and is shown alone.
__attribute__((format(printf, 5, 6))) void refuse(Refusals& r, const char* section,
                                                  const char* key, Value value,
                                                  const char* accepted, ...) {
    if (r.has(key) || r.count == static_cast<int>(sizeof r.keys / sizeof r.keys[0])) return;
    r.keys[r.count++] = key;
    const WrittenSetting* written = r.written ? find_written(*r.written, key) : nullptr;
    std::string remark;
    if (written != nullptr && written->value_bits == bits_of(value))
        remark = written->in_file ? " (the file says " + quote(*written) + ")"
                                  : " (the default: the file does not set it)";
    std::fprintf(r.err, "error: [%s] %s = %s%s is not accepted: ", section, key, show(value).s,
                 remark.c_str());
    va_list args;
    va_start(args, accepted);
    std::vfprintf(r.err, accepted, args);
    va_end(args);
    std::fputc('\n', r.err);
}

void check_range(Refusals& r, const char* section, const char* key, int32_t value, int lo, int hi,
                 const char* why) {
    if (value < lo || value > hi)
        refuse(r, section, key, value, "use a whole number from %d to %d (%s)", lo, hi, why);
}

void check_finite(Refusals& r, const char* section, const char* key, float value) {
    if (!std::isfinite(value))
        refuse(r, section, key, value,
               "use a finite number (every result computed from it would be meaningless)");
}

void check_positive(Refusals& r, const char* section, const char* key, float value,
                    const char* why) {
    if (!(value > 0.0f)) refuse(r, section, key, value, "use a number above 0 (%s)", why);
}

bool usable(float coef) { return std::isfinite(coef) && coef != 0.0f; }

// The kernel coefficients as the simulation derives them. One that overflows to infinity, or
// underflows to zero although its setting is not zero, would spread non-finite densities and
// forces through the whole fluid (the density is inverted every step).
void check_kernel_coefficients(Refusals& r, const PhysConfig& p) {
    const char* s = "phys";
    const float h = p.smooth_radius;
    const SimDerived d = derive_sim_values(p);
    // With every factor at 1, a coefficient out of range is the fault of h alone.
    PhysConfig unit = p;
    unit.mass = 1.0f;
    unit.stiff = 1.0f;
    unit.viscosity = 1.0f;
    const SimDerived at_unit = derive_sim_values(unit);

    if (!usable(d.poly6_coef)) {
        if (!usable(at_unit.poly6_coef))
            refuse(r, s, "smooth_radius", h,
                   "smooth_radius^9 leaves the float range, so the density coefficient "
                   "mass*315/(64*pi*smooth_radius^9) comes out %s; use a value nearer 1",
                   show(d.poly6_coef).s);
        else
            refuse(r, s, "mass", p.mass,
                   "with smooth_radius = %s the density coefficient "
                   "mass*315/(64*pi*smooth_radius^9) comes out %s; use a value nearer 1",
                   show(h).s, show(d.poly6_coef).s);
    }

    struct Coefficient {
        const char* key;
        float setting;
        float coef;
        float coef_at_unit;
        const char* formula;
    };
    const Coefficient coefficients[] = {
        {"stiff", p.stiff, d.pressure_coef, at_unit.pressure_coef,
         "stiff*mass*45/(2*pi*smooth_radius^6)"},
        {"viscosity", p.viscosity, d.viscosity_coef, at_unit.viscosity_coef,
         "viscosity*mass*45/(pi*smooth_radius^6)"},
    };
    for (const Coefficient& c : coefficients) {
        if (r.has(c.key) || r.has("mass")) continue;  // a refused mass spoils all three
        // A zero setting asks for no pressure or no viscosity; only a lost non-zero one is wrong.
        if (std::isfinite(c.coef) && (c.coef != 0.0f || c.setting == 0.0f)) continue;
        if (!usable(c.coef_at_unit))
            refuse(r, s, "smooth_radius", h,
                   "smooth_radius^6 leaves the float range, so %s comes out %s; use a value "
                   "nearer 1", c.formula, show(c.coef).s);
        else
            refuse(r, s, c.key, c.setting,
                   "with mass = %s and smooth_radius = %s the coefficient %s comes out %s; use a "
                   "value nearer 1", show(p.mass).s, show(h).s, c.formula, show(c.coef).s);
    }
}

void check_graph(Refusals& r, const GraphConfig& g, const PhysConfig& p) {
    const char* s = "graph";
    check_range(r, s, "window_size", g.window_size, min_window_size, max_window_size,
                "the window is window_size pixels square and must be large enough to be seen");
    check_range(r, s, "realtime", g.realtime, 0, 1, "it is off (0) or on (1)");
    check_finite(r, s, "point_size", g.point_size);
    check_finite(r, s, "point_diffusion", g.point_diffusion);
    check_finite(r, s, "surf_radius", g.surf_radius);
    check_finite(r, s, "surf_size", g.surf_size);

    // Colour exchange per pair runs at point_diffusion / smooth_radius; an infinite rate turns
    // every colour into NaN at the first step.
    if (g.point_colors != 0 && g.point_diffusion != 0.0f && !r.has("point_diffusion") &&
        std::isfinite(p.smooth_radius) && p.smooth_radius > 0.0f &&
        !std::isfinite(f32(g.point_diffusion / p.smooth_radius)))
        refuse(r, s, "point_diffusion", g.point_diffusion,
               "point_diffusion/smooth_radius with smooth_radius = %s is not finite; use a "
               "smaller rate", show(p.smooth_radius).s);

    if (g.render_type != 1) return;  // the surface lattice exists in outline mode only
    check_range(r, s, "surf_resolution", g.surf_resolution, 1, max_surface_resolution,
                "the lattice block of 4096*surf_resolution+4 bytes must hold its "
                "(surf_resolution+1)^2 samples");
    check_positive(r, s, "surf_radius", g.surf_radius,
                   "the splat weight 1 - d^2/surf_radius^2 divides by it");
    if (r.has_any("surf_resolution", "surf_radius")) return;
    // World positions map into the lattice with the scale (R - 4r)/field_size; at zero or below
    // every particle lands outside it and the outline is empty.
    const float room = f32(static_cast<float>(g.surf_resolution) - f32(4.0f * g.surf_radius));
    if (!(room > 0.0f))
        refuse(r, s, "surf_radius", g.surf_radius,
               "use a number below surf_resolution/4 = %s (the lattice scale "
               "(surf_resolution - 4*surf_radius)/field_size must be positive)",
               show(f32(static_cast<float>(g.surf_resolution) / 4.0f)).s);
}

void check_phys(Refusals& r, const PhysConfig& p) {
    const char* s = "phys";
    check_range(r, s, "count", p.count, 0, max_particle_count, "particle indices are 16-bit");

    const struct {
        const char* key;
        float value;
    } floats[] = {
        {"smooth_radius", p.smooth_radius}, {"mass", p.mass},
        {"field_size", p.field_size},       {"timestep", p.timestep},
        {"viscosity", p.viscosity},         {"stiff", p.stiff},
        {"rest_density", p.rest_density},   {"gravity", p.gravity},
        {"ext_stiff", p.ext_stiff},         {"damp", p.damp},
        {"geom_w_min", p.geom_w_min},       {"geom_w_max", p.geom_w_max},
        {"geom_h_min", p.geom_h_min},       {"geom_h_max", p.geom_h_max},
        {"geom_mass_min", p.geom_mass_min}, {"geom_mass_max", p.geom_mass_max},
        {"geom_m_inert_min", p.geom_m_inert_min}, {"geom_m_inert_max", p.geom_m_inert_max},
        {"geom_stiff", p.geom_stiff},       {"mouse_radius", p.mouse_radius},
        {"mouse_force", p.mouse_force},
    };
    for (const auto& f : floats) check_finite(r, s, f.key, f.value);

    check_positive(r, s, "smooth_radius", p.smooth_radius,
                   "it is the kernel radius and the side of a grid cell");
    check_positive(r, s, "mass", p.mass, "the fluid density is proportional to it and inverted");
    if (!r.has_any("smooth_radius", "field_size") && !(p.field_size > p.smooth_radius))
        refuse(r, s, "field_size", p.field_size,
               "use a number above smooth_radius = %s (the walls stand at smooth_radius and at "
               "field_size)", show(p.smooth_radius).s);

    if (!r.has_any("smooth_radius", "field_size")) {
        const SimDerived d = derive_sim_values(p);
        if (d.cells_per_row == 0)
            refuse(r, s, "smooth_radius", p.smooth_radius,
                   "with field_size = %s the grid has (2*smooth_radius + field_size)/"
                   "smooth_radius = %s cells per row; use values giving at most %d (each cell "
                   "takes %d bytes of buckets)",
                   show(p.field_size).s, show(d.cells_per_row_exact).s, max_cells_per_row,
                   cell_capacity * static_cast<int>(sizeof(uint16_t)));
    }
    if (!r.has_any("smooth_radius", "mass")) check_kernel_coefficients(r, p);

    // The stirring compares squared distances with (smooth_radius*mouse_radius)^2; if that
    // square overflows, every particle is stirred with an infinite kick.
    if (!r.has_any("smooth_radius", "mouse_radius")) {
        const float reach = f32(p.smooth_radius * p.mouse_radius);
        if (!std::isfinite(f32(reach * reach)))
            refuse(r, s, "mouse_radius", p.mouse_radius,
                   "(smooth_radius*mouse_radius)^2 with smooth_radius = %s is not finite; use a "
                   "smaller radius", show(p.smooth_radius).s);
    }

    check_range(r, s, "threads", p.threads, 0, max_threads_setting,
                "0 is one thread per core, 1 a single thread");

    if (p.geom_count == 0) return;  // no bodies: their shape settings are never used
    check_range(r, s, "geom_count", p.geom_count, 0, max_bodies,
                "bodies are placed in the box without overlapping");
    if (p.geom_count < 0) return;
    check_range(r, s, "geom_vertex_count_min", p.geom_vertex_count_min, min_body_corners,
                body_vertex_capacity, "a body is a convex polygon of at most 32 corners");
    const int most_lo = r.has("geom_vertex_count_min")
                            ? min_body_corners
                            : static_cast<int>(p.geom_vertex_count_min);
    check_range(r, s, "geom_vertex_count_max", p.geom_vertex_count_max, most_lo,
                body_vertex_capacity, "at least geom_vertex_count_min, and at most 32 corners fit a body");
    const char* size_why = "a body's width and height must be positive";
    check_positive(r, s, "geom_w_min", p.geom_w_min, size_why);
    check_positive(r, s, "geom_w_max", p.geom_w_max, size_why);
    check_positive(r, s, "geom_h_min", p.geom_h_min, size_why);
    check_positive(r, s, "geom_h_max", p.geom_h_max, size_why);
    const char* mass_why = "the body's linear contact response divides by its mass";
    check_positive(r, s, "geom_mass_min", p.geom_mass_min, mass_why);
    check_positive(r, s, "geom_mass_max", p.geom_mass_max, mass_why);
    const char* inertia_why = "the body's angular contact response divides by its inertia";
    check_positive(r, s, "geom_m_inert_min", p.geom_m_inert_min, inertia_why);
    check_positive(r, s, "geom_m_inert_max", p.geom_m_inert_max, inertia_why);
}

}  // namespace

int validate_settings(const GraphConfig& graph, const PhysConfig& phys,
                      const WrittenSettings* written, std::FILE* err) {
    Refusals r{};
    r.err = err;
    r.written = written;
    // Lines go out section by section in file order.
    check_graph(r, graph, phys);
    check_phys(r, phys);
    return r.count;
}
