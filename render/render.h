#pragma once
// Drawing with the window's GL context current. World coordinates throughout, except the
// iso-lines of mode 1, which are in surface-lattice units.

// Prints vendor, renderer, version and the extensions one per line.
void print_gl_info();
// Fixed-function state of the chosen render mode: smoothing, blending, line width, point size,
// projection; creates the surface grid (mode 1) or the shader program (mode 2); then viewport
// and clear colour. Called once after the window exists; the shaders come from `program_folder`.
void setup_render_state(const char* program_folder);
// Viewport over the whole client area after a resize; the projection stays, so the picture
// stretches with the window.
void set_viewport(int width, int height);
// Clears the frame and draws it in the configured render mode (nothing for unknown modes).
void draw_frame();
void draw_particles();
void draw_bodies();
// Mode 1: rebuilds and draws the iso-lines.
void draw_surface();
