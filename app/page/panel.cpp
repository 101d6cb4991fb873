// The page has no panel in the canvas: its controls, when it has them, are the page's own HTML.
// The window's calls find nothing to do.
#include "app/gl/callbacks.h"

void toggle_panel() {}
void draw_panel() {}
bool panel_mouse(int, int, int, int) {
    return false;
}
bool panel_motion(int, int) {
    return false;
}
bool panel_key(unsigned char, int, int) {
    return false;
}
bool panel_special(int, int, int) {
    return false;
}
void panel_reshape(int, int) {}
void release_panel() {}
