#pragma once
// Every setting of config.ini, once: its section, type, key, default text, the check that
// refuses values the program cannot run with, and its description. The records GraphConfig and
// PhysConfig, the reader's key list, the loaders, the range checks, the defaults and the
// comments of data/config.ini all come from these lists; a test holds data/config.ini and the
// README's settings tables to them. Adding a setting is one line here plus the code that uses it.
//
// X(type, key, default text, check, lo, hi, when, why, description)
//   type: int32_t (a whole number), float (any number, read with "." as decimal point) or
//     SettingText (the value's text as written, up to 255 characters; checked by its user)
//   check: none; finite (floats are always checked finite, this adds nothing); range: a whole
//     number from lo to hi; positive: a number above 0
//   when: always; outline (render_type 1 only, where the lattice exists); bodies (only while
//     geom_count is above 0)
//   why: the reason a refusal gives for the check
//   description: one line for the README's table; the comment above the key in config.ini
// Checks between settings (field_size above smooth_radius, ...) and those that depend on the
// simulation's own sizes (the grid, the kernel coefficients) are code (config/validate.cpp,
// sph/settings_check.cpp). The limits written here are the ones sph/, bodies/ and surface/
// hold themselves to; each checks its own against these with a static_assert.

#define TARNWELL_GRAPH_SETTINGS(X)                                                                 \
    X(int32_t, window_size, "740", range, 16, 16384, always,                                       \
      "the window is window_size pixels square and must be large enough to be seen",               \
      "window width and height in pixels at start (the window is square)")                         \
    X(int32_t, render_type, "0", none, 0, 0, always, "",                                           \
      "drawing mode: 0 particles as points, 1 outline of the fluid (no colours, no "               \
      "bodies), 2 shaded sprites, 3 liquid (a filled, shaded surface); any other value draws "     \
      "nothing")                                                                                   \
    X(float, point_size, "3.0", finite, 0, 0, always, "",                                          \
      "point size in pixels in mode 0; the `scalar` uniform of the shaders in mode 2")             \
    X(int32_t, point_colors, "1", none, 0, 0, always, "",                                          \
      "particle colours: 0 white, 1 a gradient by start position that mixes as the "               \
      "fluid moves, 2 by density, 3 by speed (viridis, up to speed_scale), 4 by compression "      \
      "(density / rest_density: blue below 1, grey at 1, red above)")                              \
    X(float, speed_scale, "3.0", positive, 0, 0, always,                                           \
      "speeds are coloured as a fraction of it",                                                   \
      "speed colours (3): the speed, in box units per second, shown in the brightest colour "      \
      "of the map; faster particles get that colour too")                                          \
    X(float, compression_range, "0.03", positive, 0, 0, always,                                    \
      "compressions are coloured as a fraction of it",                                             \
      "compression colours (4): the bar runs from 1 - compression_range (blue) to 1 + "            \
      "compression_range (red) times rest_density; 0.03 shows the water's 3 %")                    \
    X(float, point_diffusion, "0.002", finite, 0, 0, always, "",                                   \
      "colour exchange between neighbours per step, as a fraction (colours 1 only, 0 "             \
      "for none)")                                                                                 \
    X(int32_t, surf_resolution, "128", range, 1, 1021, outline,                                    \
      "the lattice block of 4096*surf_resolution+4 bytes must hold its "                           \
      "(surf_resolution+1)^2 samples",                                                             \
      "outline mode (1): lattice cells per side, more than 4 times surf_radius")                   \
    X(float, surf_radius, "2.0", positive, 0, 0, outline,                                          \
      "the splat weight 1 - d^2/surf_radius^2 divides by it",                                      \
      "outline mode (1): radius with which a particle spreads onto the lattice, in "               \
      "cells")                                                                                     \
    X(float, surf_size, "2.0", finite, 0, 0, always, "",                                           \
      "line width in pixels of body outlines and of the outline of mode 1")                        \
    X(int32_t, graph_smooth, "1", none, 0, 0, always, "",                                          \
      "1 smooths points and lines, 0 draws them hard-edged")                                       \
    X(int32_t, graph_blend, "1", none, 0, 0, always, "",                                           \
      "1 blends with transparency in modes 0 and 1, 0 draws opaque")                               \
    X(int32_t, realtime, "0", range, 0, 1, always, "it is off (0) or on (1)",                      \
      "1 runs as many steps per frame as keep the fluid in time with the clock (at "               \
      "most 25 a frame), 0 one step per drawn frame; the t key switches it while the "             \
      "program runs")                                                                              \
    X(SettingText, scene, "box", none, 0, 0, always, "",                                           \
      "what is in the box at start: the name of a scene beside the program (scenes/NAME.ini; "     \
      "--scene help lists them) or the path of a scene file; its [graph] and [phys] keys "         \
      "override this file's; box is the seed's random block")                                      \
    X(int32_t, record_every, "2", range, 1, 1000, always,                                          \
      "a recording keeps one of every record_every frames",                                        \
      "recordings (--record, v): keep every record_every-th frame; the GIF plays 25 of them a "    \
      "second")                                                                                    \
    X(int32_t, record_size, "360", range, 16, 2048, always,                                        \
      "a recording's frames are at most record_size pixels on their longer side",                  \
      "recordings: longer side of the GIF in pixels; a smaller window is recorded at its own "     \
      "size")

#define TARNWELL_SIM_SETTINGS(X)                                                                   \
    X(int32_t, count, "10000", range, 0, 65536, always, "particle indices are 16-bit",             \
      "number of particles")                                                                       \
    X(float, smooth_radius, "0.01", positive, 0, 0, always,                                        \
      "it is the kernel radius and the side of a grid cell",                                       \
      "SPH smoothing radius h of a particle, and the side of a grid cell, in box "                 \
      "units")                                                                                     \
    X(float, mass, "0.0002", positive, 0, 0, always,                                               \
      "the fluid density is proportional to it and inverted", "mass of one particle")              \
    X(float, field_size, "0.8", finite, 0, 0, always, "",                                          \
      "position of the upper and right walls (the lower and left ones stand at "                   \
      "smooth_radius): above smooth_radius and at most about 1022 times it (the cells "            \
      "per row of the grid); the window shows 0 to smooth_radius + field_size")                    \
    X(float, timestep, "0.0015", finite, 0, 0, always, "",                                         \
      "time step: one per drawn frame, or as many as keep time with the clock when "               \
      "realtime is on")                                                                            \
    X(float, viscosity, "0.4", finite, 0, 0, always, "",                                           \
      "viscosity: how strongly neighbours pull each other's velocities together, 0 "               \
      "for none")                                                                                  \
    X(float, stiff, "2.5", finite, 0, 0, always, "",                                               \
      "pressure stiffness: how hard the fluid resists compression, 0 for none")                    \
    X(float, rest_density, "600.0", finite, 0, 0, always, "",                                      \
      "rest density: above it particles push apart, below it they pull together")                  \
    X(float, gravity, "-9.8", finite, 0, 0, always, "",                                            \
      "vertical acceleration (negative is down); the middle mouse button suspends and "            \
      "reverses it")                                                                               \
    X(float, ext_stiff, "100000.0", finite, 0, 0, always, "",                                      \
      "spring stiffness of the walls acting on particles that pass them")                          \
    X(float, damp, "0.998", finite, 0, 0, always, "",                                              \
      "velocity damping factor per step: 1 keeps all motion, below 1 slows it")                    \
    X(int32_t, geom_count, "2", range, 0, 256, always,                                             \
      "bodies are placed in the box without overlapping",                                          \
      "number of floating bodies, 0 for none (fewer may fit)")                                     \
    X(int32_t, geom_vertex_count_min, "4", range, 3, 32, bodies,                                   \
      "a body is a convex polygon of at most 32 corners", "fewest corners of a body")              \
    X(int32_t, geom_vertex_count_max, "10", none, 0, 0, bodies, "",                                \
      "most corners of a body, from geom_vertex_count_min to 32")                                  \
    X(float, geom_w_min, "5.0", positive, 0, 0, bodies,                                            \
      "a body's width and height must be positive",                                                \
      "smallest full width of a body, in multiples of smooth_radius")                              \
    X(float, geom_w_max, "10.0", positive, 0, 0, bodies,                                           \
      "a body's width and height must be positive",                                                \
      "largest full width of a body, in multiples of smooth_radius")                               \
    X(float, geom_h_min, "5.0", positive, 0, 0, bodies,                                            \
      "a body's width and height must be positive",                                                \
      "smallest full height of a body, in multiples of smooth_radius")                             \
    X(float, geom_h_max, "10.0", positive, 0, 0, bodies,                                           \
      "a body's width and height must be positive",                                                \
      "largest full height of a body, in multiples of smooth_radius")                              \
    X(float, geom_mass_min, "0.000005", positive, 0, 0, bodies,                                    \
      "the body's linear contact response divides by its mass",                                    \
      "lower bound of a body's drawn mass value (divided by its size, so larger "                  \
      "bodies are lighter)")                                                                       \
    X(float, geom_mass_max, "0.00002", positive, 0, 0, bodies,                                     \
      "the body's linear contact response divides by its mass",                                    \
      "upper bound of a body's drawn mass value")                                                  \
    X(float, geom_m_inert_min, "8.0", positive, 0, 0, bodies,                                      \
      "the body's angular contact response divides by its inertia",                                \
      "lower bound of a body's moment of inertia")                                                 \
    X(float, geom_m_inert_max, "12.0", positive, 0, 0, bodies,                                     \
      "the body's angular contact response divides by its inertia",                                \
      "upper bound of a body's moment of inertia")                                                 \
    X(float, geom_stiff, "200000.0", finite, 0, 0, always, "",                                     \
      "contact stiffness between fluid and bodies (ten times it between two bodies)")              \
    X(float, mouse_radius, "13.0", finite, 0, 0, always, "",                                       \
      "stirring radius around the mouse pointer, in multiples of smooth_radius")                   \
    X(float, mouse_force, "75.0", finite, 0, 0, always, "",                                        \
      "stirring strength: the left button pulls particles in, the right button pushes "            \
      "them away")

// [phys]: the settings the simulation keeps (SimState holds a copy of each), then how it runs.
#define TARNWELL_PHYS_SETTINGS(X)                                                                  \
    TARNWELL_SIM_SETTINGS(X)                                                                       \
    X(int32_t, threads, "0", range, 0, 256, always, "0 is one thread per core, 1 a single thread", \
      "threads of the physics step and the outline, 0 to 256; 0 lets the program "                 \
      "choose as it runs (it starts on the cores less the load average at start, at "              \
      "least one, and moves to fewer or more when they run faster), 1 a single "                   \
      "thread; every count gives the same results bit for bit")                                    \
    X(int32_t, solver, "0", range, 0, 1, always, "there are two fluid models, 0 and 1",            \
      "fluid model: 0 the particle model the settings above describe, 1 water that keeps its "     \
      "volume (position-based fluids; uses rest_density, gravity, timestep, smooth_radius, "       \
      "water_viscosity and water_iterations, not mass, stiff, viscosity, ext_stiff or damp)")      \
    X(float, water_viscosity, "0.02", finite, 0, 0, always, "",                                    \
      "water (solver 1): the fraction by which each particle's velocity moves towards its "        \
      "neighbours' every step, 0 to 0.5 (0 for none)")                                             \
    X(int32_t, water_iterations, "4", range, 2, 8, always,                                         \
      "each step corrects the water's density 2 to 8 times",                                       \
      "water (solver 1): how many times a step corrects the density; each one more costs "         \
      "about a seventh of a step and leaves the water less compressed (a dam break's deepest "     \
      "water 3.1 % over its rest density with 4, 2.2 % with 5)")

// The value of a text setting: a fixed array, so that the records stay plain values that may be
// copied and cleared as a whole.
constexpr int setting_text_size = 256; // the reader's longest value, terminator included
struct SettingText {
    char text[setting_text_size];
};

// What the lists say of one setting, for code that goes over all of them.
enum class SettingType { whole, number, text }; // int32_t, float, SettingText
enum class SettingCheck { none, finite, range, positive };
enum class SettingWhen { always, outline, bodies };
struct SettingInfo {
    const char* section;
    const char* key;
    SettingType type;
    const char* default_text;
    SettingCheck check;
    int lo;
    int hi;
    SettingWhen when;
    const char* why;
    const char* description;
    int offset; // of the field in its record (GraphConfig or PhysConfig)
};

extern const SettingInfo setting_infos[];
extern const int setting_count;
// The entry of `key`, or null.
const SettingInfo* find_setting(const char* key);

// The bounds of each setting's range check, as constants (setting_limit::count_hi), for the
// static_asserts of the modules whose limits they are.
#define TARNWELL_SETTING_LIMITS(type, key, default_text, check, lo, hi, ...)                       \
    constexpr int key##_lo = lo;                                                                   \
    constexpr int key##_hi = hi;
namespace setting_limit {
TARNWELL_GRAPH_SETTINGS(TARNWELL_SETTING_LIMITS)
TARNWELL_PHYS_SETTINGS(TARNWELL_SETTING_LIMITS)
} // namespace setting_limit
#undef TARNWELL_SETTING_LIMITS
