// Kept out of line in a file of its own: every caller then runs the same machine code, so even
// where float arithmetic runs wider (x87) initialisation and validation see the same bits.
#include <cmath>

#include "config/config.h"
#include "sph/sim_state.h"

SimDerived derive_sim_values(const PhysConfig& phys) {
    SimDerived d{};
    const float h = phys.smooth_radius;
    if (!(h > 0.0f) || !std::isfinite(h)) return d;

    // The quotient is checked before it is truncated: a NaN or out-of-range float-to-int
    // conversion has no defined result.
    const float span = h * 2.0f + phys.field_size;
    const float per_row = span / h;
    d.cells_per_row_exact = per_row;
    if (per_row >= 1.0f && per_row < static_cast<float>(max_cells_per_row + 1)) {
        d.cells_per_row = static_cast<int32_t>(per_row);
        d.cell_count = d.cells_per_row * d.cells_per_row;
    }

    // Kernel normalisations with the mass folded in (h in length units):
    //   poly6 315/(64 pi h^9), spiky gradient 45/(pi h^6) halved for the symmetric pressure
    //   term, viscosity Laplacian 45/(pi h^6). 201.06194 is 64 pi and 3.1415927 is pi, both as
    //   floats; the powers are successive products, each rounded to float.
    float h6 = h * h;
    h6 = h6 * h;
    h6 = h6 * h;
    h6 = h6 * h;
    h6 = h6 * h;
    float h9 = h6 * h;
    h9 = h9 * h;
    h9 = h9 * h;
    d.poly6_coef = (phys.mass * 315.0f) / (h9 * 201.06194f);
    d.pressure_coef = (phys.stiff * phys.mass * 22.5f) / (h6 * 3.1415927f);
    d.viscosity_coef = (phys.viscosity * phys.mass * 45.0f) / (h6 * 3.1415927f);
    return d;
}

bool sim_settings_buildable(const PhysConfig& phys) {
    return phys.count >= 0 && phys.count <= max_particle_count && phys.geom_count >= 0 &&
           std::isfinite(phys.field_size) && derive_sim_values(phys).cells_per_row != 0;
}
