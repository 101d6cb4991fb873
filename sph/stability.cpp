// When do the settings make the fluid blow up, and which one is to blame?
//
// The binding limit is the wall. A wall is a spring of stiffness k = ext_stiff (acceleration per
// unit of depth) that the fluid above keeps a particle pressed into, so near the floor the
// integration is, for the depth u and the velocity v with damping factor d = damp,
//     v' = d (v - dt k u),    u' = u + dt v'.
// Its matrix on (u, v) is [[1 - d k dt^2, d dt], [-d k dt, d]], with determinant d and trace
// 1 + d - d k dt^2. For 0 < d <= 1 both eigenvalues stay inside the unit circle exactly while
// |trace| < 1 + d, that is while
//     dt < sqrt(2 (1 + d) / (d k)).
// Beyond it every bounce into the floor comes back deeper and the depths grow geometrically
// until they overflow. With the defaults (k = 100000, d = 0.998) the limit is 0.006327; on the
// default scene 0.0063 runs 1500 steps finite and 0.0065 blows up, and with ext_stiff = 1e6
// (limit 0.002) 0.002 stays finite and 0.0025 blows up.
//
// Pressure (stiff up to 10000), viscosity (up to 50) and the body contacts (geom_stiff up to
// 1e8) were tried at the default timestep and never produced infinity or NaN: they are one-sided
// pushes that throw particles apart rather than springs that hold them, so they set no limit of
// their own. What does blow up besides the timestep is arithmetic leaving the float range: a
// damping factor above 1, a mass so small that the density squared underflows, a gravity the
// walls cannot hold, a stirring kick that flings particles out of the box.
#include "sph/stability.h"

#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <limits>

#include "config/config.h"

float wall_timestep_limit(float ext_stiff, float damp) {
    const double k = ext_stiff;
    const double d = damp;
    if (!(k > 0.0) || !(d > 0.0)) return std::numeric_limits<float>::infinity();
    // Above d = 1 no timestep is stable (the determinant d exceeds 1); the bound of d = 1 is
    // still the one that keeps the bounces from growing faster than the damping does.
    const double dd = d > 1.0 ? 1.0 : d;
    return static_cast<float>(std::sqrt(2.0 * (1.0 + dd) / (dd * k)));
}

namespace {

constexpr double pi = 3.14159265358979323846;

struct Findings {
    Instability* out;
    int count;
};

__attribute__((format(printf, 3, 4))) void add(Findings& f, const char* key, const char* format,
                                               ...) {
    if (f.count >= max_instabilities) return;
    Instability& item = f.out[f.count++];
    item.key = key;
    va_list args;
    va_start(args, format);
    std::vsnprintf(item.text, sizeof item.text, format, args);
    va_end(args);
}

} // namespace

int find_instabilities(const PhysConfig& p, Instability out[max_instabilities]) {
    Findings f{out, 0};
    const double dt = p.timestep;
    const double h = p.smooth_radius;

    const float limit = wall_timestep_limit(p.ext_stiff, p.damp);
    // Not a blow-up at 0, but never what anyone wants: nothing moves. Below 0 the walls' spring
    // pushes a particle outwards (the step runs the motion backwards), so it does blow up.
    if (!(dt > 0.0))
        add(f, "timestep",
            "[phys] timestep = %g: a step of 0 moves nothing, and one below 0 runs the fluid "
            "backwards, where the walls push it out instead of back; use a timestep above 0 "
            "(the default is 0.0015)",
            dt);
    else if (dt > static_cast<double>(limit))
        add(f, "timestep",
            "[phys] timestep = %g is above %.3g, the largest step at which a particle held "
            "against a wall stays bounded (sqrt(2*(1+damp)/(damp*ext_stiff)) with ext_stiff = "
            "%g, damp = %g); use a smaller timestep or a smaller ext_stiff",
            dt, static_cast<double>(limit), static_cast<double>(p.ext_stiff),
            static_cast<double>(p.damp));

    if (p.damp > 1.0f)
        add(f, "damp",
            "[phys] damp = %g is above 1: every step multiplies all velocities by it, so any "
            "motion grows without bound; use a value from 0 to 1",
            static_cast<double>(p.damp));

    // A particle's own kernel term alone gives it the density mass*315/(64*pi*h^3); the pair
    // forces divide by the product of two densities, which must stay a normal float.
    const double own_density = static_cast<double>(p.mass) * 315.0 / (64.0 * pi * h * h * h);
    if (own_density > 0.0 && own_density * own_density < static_cast<double>(FLT_MIN))
        add(f, "mass",
            "[phys] mass = %g gives a particle the density mass*315/(64*pi*smooth_radius^3) = "
            "%.3g, whose square is below the smallest float; the pair forces divide by it. Use "
            "a larger mass",
            static_cast<double>(p.mass), own_density);

    // Pressed into the floor by gravity alone, the fluid settles |gravity|/ext_stiff deep.
    const double depth = std::fabs(static_cast<double>(p.gravity)) / p.ext_stiff;
    if (p.ext_stiff > 0.0f && depth > p.field_size)
        add(f, "gravity",
            "[phys] gravity = %g would press the fluid |gravity|/ext_stiff = %.3g deep into the "
            "floor, more than the box is wide (field_size = %g); use a weaker gravity or a "
            "stiffer ext_stiff",
            static_cast<double>(p.gravity), depth, static_cast<double>(p.field_size));

    // Next to the pointer a stirring kick adds mouse_force*R/100 to the speed (R =
    // smooth_radius*mouse_radius), which the next step turns into a move of timestep times it.
    const double kick = std::fabs(static_cast<double>(p.mouse_force)) * h * p.mouse_radius / 100.0;
    if (kick * dt > p.field_size)
        add(f, "mouse_force",
            "[phys] mouse_force = %g kicks a stirred particle %.3g per step, further than the "
            "box is wide (field_size = %g); use a smaller mouse_force",
            static_cast<double>(p.mouse_force), kick * dt, static_cast<double>(p.field_size));
    return f.count;
}

void describe_blow_up(char* out, size_t size, int64_t step, const PhysConfig& phys) {
    Instability found[max_instabilities];
    const int n = find_instabilities(phys, found);
    std::snprintf(out, size,
                  "the simulation blew up at step %lld: a particle or body position or velocity "
                  "is no longer a finite number. %s%s",
                  static_cast<long long>(step), n > 0 ? "Most likely cause: " : "",
                  n > 0 ? found[0].text
                        : "No setting stands out; a smaller timestep is the usual cure");
}
