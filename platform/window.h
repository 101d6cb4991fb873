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
