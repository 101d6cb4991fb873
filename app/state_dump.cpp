#include "app/state_dump.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "surface/surface.h"
#include "sph/sim_state.h"

bool write_state_dump(const char* path, long long steps, bool with_surface, const char* program) {
    std::FILE* out = std::fopen(path, "w");
    if (out == nullptr) {
        std::fprintf(stderr, "%s: cannot write '%s': %s\n", program, path, std::strerror(errno));
        return false;
    }
    std::fprintf(out, "# tarnwell-sim state: step=%lld count=%d bodies=%d\n", steps, sim.count,
                 sim.geom_count);
    for (int32_t i = 0; i < sim.count; ++i) {
        const Vec2 p = sim.position[i];
        const Vec2 v = sim.velocity[i];
        const Vec2 e = sim.velocity_eval[i];
        const Vec2 dp = sim.density_pressure[i];
        const Color3 c = sim.color != nullptr ? sim.color[i] : Color3{0.0f, 0.0f, 0.0f};
        std::fprintf(out, "p %d %.9g %.9g %.9g %.9g %.9g %.9g %.9g %.9g %.9g %.9g %.9g\n", i, p.x,
                     p.y, v.x, v.y, e.x, e.y, dp.x, dp.y, c.r, c.g, c.b);
    }
    for (int32_t k = 0; k < sim.geom_count; ++k) {
        const RigidBody& b = sim.bodies[k];
        std::fprintf(out, "b %d %.9g %.9g %.9g %.9g %.9g %.9g\n", k, b.center.x, b.center.y,
                     b.angle, b.linear_velocity.x, b.linear_velocity.y, b.angular_velocity);
    }
    if (with_surface) {
        const int32_t n = surface_grid != nullptr ? surface_grid->line_vertex_count : 0;
        std::fprintf(out, "s %d\n", n);
        const Vec2* v = n > 0 ? surface_line_vertices(surface_grid) : nullptr;
        for (int32_t i = 0; i < n; ++i) std::fprintf(out, "v %.9g %.9g\n", v[i].x, v[i].y);
    }
    const bool ok = std::ferror(out) == 0;
    if (std::fclose(out) != 0 || !ok) {
        std::fprintf(stderr, "%s: writing '%s' failed\n", program, path);
        return false;
    }
    return true;
}
