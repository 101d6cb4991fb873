#include "platform/window.h"

void show_title(const char* text) {
    glutSetWindowTitle(text);
}

void return_from_main_loop_on_close() {
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
}

void on_window_close(void (*callback)()) {
    glutCloseFunc(callback);
}

void on_window_status_change(void (*callback)(int)) {
    glutWindowStatusFunc(callback);
}

void leave_main_loop() {
    glutLeaveMainLoop();
}

int freeglut_button(int button) {
    return button;
}

void toggle_fullscreen() {
    glutFullScreenToggle();
}
