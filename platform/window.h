#pragma once
// The window calls that differ between the desktop (freeglut on X11) and a web page (the
// WebAssembly runtime's GLUT drawing into a canvas). Everything else goes straight to GLUT.
#ifdef __EMSCRIPTEN__
#include <GL/glut.h>
#else
#include <GL/freeglut.h>
#endif

// Shows the statistics line: the window title on the desktop, the status line of the page.
void show_title(const char* text);

// Makes closing the window end glutMainLoop instead of the process, so that main can tear down.
// A page is never closed from inside; its main loop does not return.
void return_from_main_loop_on_close();
// Calls `callback` when the window is about to close (needs the window).
void on_window_close(void (*callback)());

// Calls `callback` with GLUT's window status (hidden, fully covered, visible) when it changes. A
// page has no such report; the browser itself stops drawing a hidden tab.
void on_window_status_change(void (*callback)(int));

// Ends glutMainLoop after this frame. A page stops drawing and says so instead.
void leave_main_loop();

// The mouse button in freeglut's numbering (wheel up 3, down 4); the browser runtime reports the
// wheel the other way round.
int freeglut_button(int button);

// Fullscreen on or off: the window on the desktop, the canvas on a page.
void toggle_fullscreen();
