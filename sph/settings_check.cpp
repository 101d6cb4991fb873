#include "sph/settings_check.h"

#include <cmath>
#include <cstdint>

#include "config/config.h"
#include "sph/sim_state.h"

namespace {

bool usable(float coef) {
    return std::isfinite(coef) && coef != 0.0f;
}

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
        if (r.has(c.key) || r.has("mass")) continue; // a refused mass spoils all three
        // A zero setting asks for no pressure or no viscosity; only a lost non-zero one is wrong.
        if (std::isfinite(c.coef) && (c.coef != 0.0f || c.setting == 0.0f)) continue;
        if (!usable(c.coef_at_unit))
            refuse(r, s, "smooth_radius", h,
                   "smooth_radius^6 leaves the float range, so %s comes out %s; use a value "
                   "nearer 1",
                   c.formula, show(c.coef).s);
        else
            refuse(r, s, c.key, c.setting,
                   "with mass = %s and smooth_radius = %s the coefficient %s comes out %s; use a "
                   "value nearer 1",
                   show(p.mass).s, show(h).s, c.formula, show(c.coef).s);
    }
}

} // namespace

void check_simulation_settings(Refusals& r, const PhysConfig& p) {
    if (!r.has_any("smooth_radius", "field_size")) {
        const SimDerived d = derive_sim_values(p);
        if (d.cells_per_row == 0)
            refuse(r, "phys", "smooth_radius", p.smooth_radius,
                   "with field_size = %s the grid has (2*smooth_radius + field_size)/"
                   "smooth_radius = %s cells per row; use values giving at most %d (each cell "
                   "takes %d bytes of buckets)",
                   show(p.field_size).s, show(d.cells_per_row_exact).s, max_cells_per_row,
                   cell_capacity * static_cast<int>(sizeof(uint16_t)));
    }
    if (!r.has_any("smooth_radius", "mass")) check_kernel_coefficients(r, p);
}

int validate_settings(const GraphConfig& graph, const PhysConfig& phys,
                      const WrittenSettings* written, std::FILE* err) {
    Refusals r{};
    r.err = err;
    r.written = written;
    check_config(r, graph, phys);
    check_simulation_settings(r, phys);
    return r.count;
}
