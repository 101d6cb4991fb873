#include "app/gl/callbacks.h"
#include "app/input.h"
#include "app/play.h"
#include "app/tools.h"
#include "config/config.h"
#include "platform/window.h"
#include "render/render.h"
#include "sph/sim_state.h"

static_assert(GLUT_LEFT_BUTTON == button_left && GLUT_MIDDLE_BUTTON == button_middle &&
                  GLUT_RIGHT_BUTTON == button_right,
              "button_down is indexed by the GLUT button number");
static_assert(GLUT_DOWN == button_pressed && GLUT_UP == button_released,
              "button states are GLUT's");
static_assert(GLUT_ACTIVE_SHIFT == modifier_shift && GLUT_ACTIVE_CTRL == modifier_ctrl,
              "tools read GLUT's modifier bits");

namespace {
// The window always shows the square 0..h+L, whatever the render mode draws into it.
float world_extent() {
    return phys_config.smooth_radius + phys_config.field_size;
}
} // namespace

Vec2 pointer_at(int x, int y) {
    MouseState where = mouse_state;
    map_pointer(where, x, y, window_width, window_height, world_extent());
    return where.pointer;
}

void on_reshape(int width, int height) {
    panel_reshape(width, height);
    set_viewport(width, height);
    window_width = width;
    window_height = height;
    if (!fits_max_viewport(width, height)) {
        clamp_to_max_viewport(&width, &height);
        glutReshapeWindow(width, height);
    }
}

void on_mouse(int glut_button, int state, int x, int y) {
    if (panel_mouse(glut_button, state, x, y)) return;
    const int button = freeglut_button(glut_button);
    map_pointer(mouse_state, x, y, window_width, window_height, world_extent());
    // The modifiers are only known in this callback; a tool's release needs none of them.
    const int modifiers = state == GLUT_DOWN ? glutGetModifiers() : 0;
    if (tool_button(tool_state, mouse_state, play_state, button, state, modifiers)) return;
    apply_mouse_button(mouse_state, sim, button, state);
    apply_action(play_state, sim, action_for_wheel(button, state));
}

void on_motion(int x, int y) {
    if (panel_motion(x, y)) return;
    map_pointer(mouse_state, x, y, window_width, window_height, world_extent());
    tool_motion(tool_state, play_state, mouse_state.pointer);
}

// The pointer itself is not followed without a button, as before; only the buttons are.
void on_passive_motion(int x, int y) {
    panel_motion(x, y); // where the panel's hover follows the pointer
    release_held_buttons(mouse_state, sim);
    drop_tool(tool_state);
}
