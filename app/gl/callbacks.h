#pragma once
// The GLUT side of the program: window creation and the callbacks.
#include "base/types.h"

// Opens the square window, binds the callbacks, prints the driver's identification, switches
// vertical sync off where possible and sets up the render mode. argc/argv go to glutInit.
void init_graphics(int argc, char** argv);

// One frame: the physics steps (one, none while paused, or as many as real time asks),
// stirring, drawing, statistics and, once a second, the title.
void on_display();
// Requests the next frame at once: the loop runs free.
void on_idle();
void on_reshape(int width, int height);
// A window pixel in box units, as the mouse callbacks map it; the mouse state stays as it is.
Vec2 pointer_at(int x, int y);
void on_mouse(int button, int state, int x, int y);
void on_motion(int x, int y);
// Pointer moved with no button held: any button still marked held lost its release.
void on_passive_motion(int x, int y);
// Hidden or fully covered, the window cannot draw: frames stop until it is shown again.
void on_window_status(int state);

void on_keyboard(unsigned char key, int x, int y);
void on_special(int key, int x, int y);
// The window is going away (closed, or the program quits): the --screenshot of the last frame,
// redrawn unless `drawn` says the back buffer holds it already. Runs once.
void save_final_screenshot(bool drawn);
// The window is going, by the window manager's close or at the end of the main loop: saves the
// --screenshot, then releases the GL objects while its context is still current.
void on_close();

// Draws the keys and the live state, and the status line, over the frame.
void draw_overlay();

// The settings panel (p), over the frame and the overlay. While it is hidden none of these
// does anything. The input functions return whether the panel took the event, which then
// stirs nothing and presses no key.
void toggle_panel();
void draw_panel();
bool panel_mouse(int button, int state, int x, int y);
bool panel_motion(int x, int y);
bool panel_key(unsigned char key, int x, int y);
bool panel_special(int key, int x, int y);
void panel_reshape(int width, int height);
// Its GL objects, before the context goes.
void release_panel();
// The panel's Restart: its restart settings given to the play, then a restart as r does (a new
// scene as e does), the window resized to a new window_size.
void restart_with_panel();
// Work the keys left for the window: mode, colours, restarts, fullscreen.
void serve_requests();
// Takes the picture of the frame just drawn (in the back buffer) and starts writing it: to
// `path` (replaced only once the new picture is whole), or to a new tarnwell-*.png in the
// current folder when `path` is null. Refusals go to stderr and the status line at once;
// returns whether the picture is on its way.
bool take_screenshot(const char* path);
// Reports the pictures written since the last frame: where on stdout, or why not on stderr.
void poll_screenshots();
// Waits for the pictures still being written and reports them; returns false when the
// --screenshot was not written.
bool finish_screenshots();

// Recordings (--record, the v key): an animated GIF of every record_every-th frame drawn, to
// `path` (replaced only once the recording is whole) or to a new tarnwell-*.gif in the current
// folder when `path` is null. Refusals go to stderr and the status line; returns whether the
// recording runs.
bool start_recording(const char* path);
bool recording_active();
// Keeps the frame just drawn (in the back buffer) when it is one the recording keeps.
void record_drawn_frame();
// Ends a running recording and reports it; returns false when any recording of this run could
// not be saved.
bool stop_recording();

// Current GLUT clock, milliseconds since glutInit.
int glut_time_ms();
