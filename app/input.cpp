#include "app/input.h"

#include "sph/sim_state.h"

MouseState mouse_state;
int32_t window_width;
int32_t window_height;

void map_pointer(MouseState& mouse, int x, int y, int width, int height, float extent) {
    // A zero-sized window would turn the pointer into inf/NaN and stir the fluid with it.
    if (width <= 0 || height <= 0) return;
    mouse.pointer.x = extent * (static_cast<float>(x) / static_cast<float>(width));
    // Subtract in 64 bits: y is a raw event coordinate and may lie far outside the window.
    const int64_t from_bottom = static_cast<int64_t>(height) - static_cast<int64_t>(y);
    mouse.pointer.y = extent * (static_cast<float>(from_bottom) / static_cast<float>(height));
}

void apply_mouse_button(MouseState& mouse, SimState& state, int button, int button_state) {
    if (button < 0 || button > 2) return;
    if (button_state == button_pressed) {
        mouse.button_down[button] = 1;
        if (button == button_middle) state.current_gravity = 0.0f;
    } else if (button_state == button_released) {
        mouse.button_down[button] = 0;
        // A release without a press still flips: gravity follows the releases, not the pairs.
        if (button == button_middle) {
            state.toggled_gravity = -state.toggled_gravity;
            state.current_gravity = state.toggled_gravity;
        }
    }
}

void release_held_buttons(MouseState& mouse, SimState& state) {
    for (int button = button_left; button <= button_right; ++button)
        if (mouse.button_down[button] != 0)
            apply_mouse_button(mouse, state, button, button_released);
}

int stirring_signs(const MouseState& mouse, float signs[2]) {
    int n = 0;
    if (mouse.button_down[button_left] != 0) signs[n++] = 1.0f;
    if (mouse.button_down[button_right] != 0) signs[n++] = -1.0f;
    return n;
}
