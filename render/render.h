#pragma once
#include <cstdint>
#include <cstdio>
// Drawing with the window's GL context current. World coordinates throughout, except the
// iso-lines of mode 1, which are in surface-lattice units.

// Prints vendor, renderer, version and the extensions one per line.
void print_gl_info();
// Fixed-function state of the chosen render mode: smoothing, blending, line width, point size,
// projection; creates the surface grid (mode 1) or the shader program (mode 2); then viewport
// and clear colour. Called once after the window exists; the shaders come from `program_folder`.
// Returns whether the mode's objects could be made (render_mode_refusal says why not).
bool setup_render_state(const char* program_folder);
// Viewport over the whole client area after a resize; the projection stays, so the picture
// stretches with the window.
void set_viewport(int width, int height);
// Whether the driver can draw a window of this size: both sides within GL_MAX_VIEWPORT_DIMS
// (queried by setup_render_state). Mesa's rasteriser crashes on much larger drawables.
bool fits_max_viewport(int width, int height);
// The size, each side cut to the largest viewport, that a window too large should take.
void clamp_to_max_viewport(int* width, int* height);
// Switches the render mode while the program runs, making its lattice or shader program the
// first time (shaders from `program_folder`). When that fails the points mode is drawn instead;
// returns whether the mode asked for is the one now drawn.
bool switch_render_mode(int32_t mode, const char* program_folder);
// Clears the frame and draws it in the configured render mode (nothing for unknown modes).
void draw_frame();
void draw_particles();
void draw_bodies();
// The scene's fixed parts, drawn under the fluid: obstacles filled and outlined, the moving wall
// as a bar. Then its marks over the fluid: emitters' mouths with an arrow, drains' outlines.
// Each draws nothing, and makes no GL call, when the scene has none of its parts.
void draw_scene_solids();
void draw_scene_marks();
// Mode 1: rebuilds and draws the iso-lines.
void draw_surface();
// Mode 3: the shader programs and the offscreen picture of the liquid, made once. False, with
// what the driver lacks in `why`, when they cannot be made (then the points are drawn).
bool make_liquid(const char** why);
void release_liquid();
// Mode 3: the fluid as a filled, shaded surface in the particles' colours, the bodies filled.
void draw_liquid();
// Why the last switch to a mode failed, in words for a message ("" when it did not).
const char* render_mode_refusal();
// The particles' colours as drawn (the scheme's, speed colours computed from the velocities
// now), or null for white.
const float* particle_colours();
// Over every mode: the stirring circle while a stirring button is held, and the colour bar of a
// scheme that shows a quantity (density, speed) with its values, in the lower right corner.
void draw_stirring_circle();
void draw_colour_bar();
