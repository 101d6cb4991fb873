#pragma once
// The GLUT side of the program: window creation and the six callbacks.

// Opens the square window, binds the callbacks, prints the driver's identification, switches
// vertical sync off where possible and sets up the render mode. argc/argv go to glutInit.
void init_graphics(int argc, char** argv);

// One frame: a physics step, stirring, drawing, statistics and, once a second, the title.
void on_display();
// Requests the next frame at once: the loop runs free, one physics step per frame.
void on_idle();
void on_reshape(int width, int height);
void on_mouse(int button, int state, int x, int y);
void on_motion(int x, int y);
// Pointer moved with no button held: any button still marked held lost its release.
void on_passive_motion(int x, int y);
// Hidden or fully covered, the window cannot draw: frames stop until it is shown again.
void on_window_status(int state);

// The blow-up message once the simulation has blown up and paused; empty before.
const char* blow_up_message();
// The window is going, by the window manager's close or at the end of the main loop: releases
// the GL objects while its context is still current.
void on_close();

// Current GLUT clock, milliseconds since glutInit.
int glut_time_ms();
