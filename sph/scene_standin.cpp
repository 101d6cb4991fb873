// Temporary stand-in until the scene seeding lands: counts lattice sites of rectangles and discs.
#include <cmath>

#include "config/scene.h"
#include "sph/scene_state.h"

int64_t scene_lattice_sites(const SceneDescription& description, float smooth_radius,
                            float field_size, Vec2* out, int64_t limit) {
    const float wall = smooth_radius;
    const float width = field_size - smooth_radius;
    const float step = description.spacing * smooth_radius;
    int64_t n = 0;
    for (int b = 0; b < description.fluid_count; ++b) {
        const SceneFluid& f = description.fluids[b];
        const float x0 = f.disc ? f.x0 - f.r : f.x0;
        const float x1 = f.disc ? f.x0 + f.r : f.x1;
        const float y0 = f.disc ? f.y0 - f.r : f.y0;
        const float y1 = f.disc ? f.y0 + f.r : f.y1;
        for (float y = wall + y0 * width + step / 2; y < wall + y1 * width; y += step)
            for (float x = wall + x0 * width + step / 2; x < wall + x1 * width; x += step) {
                if (f.disc && std::hypot(x - wall - f.x0 * width, y - wall - f.y0 * width) >
                                  f.r * width)
                    continue;
                if (n == limit) return -1;
                if (out != nullptr) out[n] = Vec2{x, y};
                ++n;
            }
    }
    return n;
}
