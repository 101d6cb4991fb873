#include "app/state_dump.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "sph/sim_state.h"
#include "surface/surface.h"

namespace {

__attribute__((format(printf, 2, 3))) void put(DumpFile* dump, const char* format, ...) {
    if (dump->error != 0) return;
    va_list args;
    va_start(args, format);
    const int n = std::vfprintf(dump->file.out, format, args);
    va_end(args);
    if (n < 0) dump->error = errno != 0 ? errno : EIO;
}

} // namespace

bool open_dump(const char* program, const std::string& path, DumpFile* dump) {
    dump->error = 0;
    return open_output(&dump->file, program, "the dump", path, stderr);
}

void abandon_dump(DumpFile* dump) {
    abandon_output(&dump->file);
}

bool write_dump(DumpFile* dump, long long steps, bool with_surface) {
    // Until the scene keeps its own clock and name, the time is the steps' sum and the scene the
    // plain box; %.17g gives back the same double when read.
    put(dump, "# tarnwell-sim state: step=%lld time=%.17g scene=%s count=%d bodies=%d\n", steps,
        static_cast<double>(steps) * static_cast<double>(sim.timestep), "box", sim.count,
        sim.geom_count);
    for (int32_t i = 0; i < sim.count && dump->error == 0; ++i) {
        const Vec2 p = sim.position[i];
        const Vec2 v = sim.velocity[i];
        const Vec2 e = sim.velocity_eval[i];
        const Vec2 dp = sim.density_pressure[i];
        const Color3 c = sim.color != nullptr ? sim.color[i] : Color3{0.0f, 0.0f, 0.0f};
        put(dump, "p %d %.9g %.9g %.9g %.9g %.9g %.9g %.9g %.9g %.9g %.9g %.9g\n", i, p.x, p.y, v.x,
            v.y, e.x, e.y, dp.x, dp.y, c.r, c.g, c.b);
    }
    for (int32_t k = 0; k < sim.geom_count; ++k) {
        const RigidBody& b = sim.bodies[k];
        put(dump, "b %d %.9g %.9g %.9g %.9g %.9g %.9g\n", k, b.center.x, b.center.y, b.angle,
            b.linear_velocity.x, b.linear_velocity.y, b.angular_velocity);
    }
    if (with_surface) {
        const int32_t n = surface_grid != nullptr ? surface_grid->line_vertex_count : 0;
        put(dump, "s %d\n", n);
        const Vec2* v = n > 0 ? surface_line_vertices(surface_grid) : nullptr;
        for (int32_t i = 0; i < n && dump->error == 0; ++i)
            put(dump, "v %.9g %.9g\n", v[i].x, v[i].y);
    }

    return commit_output(&dump->file, dump->error, stderr);
}

std::string numbered_dump_path(const std::string& path, long long step) {
    const std::string::size_type slash = path.rfind('/');
    const std::string::size_type name_start = slash == std::string::npos ? 0 : slash + 1;
    std::string::size_type dot = path.rfind('.');
    if (dot == std::string::npos || dot <= name_start) dot = path.size();
    char number[32];
    std::snprintf(number, sizeof number, "-%06lld", step);
    return path.substr(0, dot) + number + path.substr(dot);
}
