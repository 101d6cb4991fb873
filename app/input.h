#pragma once
#include <cstdint>

#include "base/types.h"

struct SimState;

// Pointer and buttons as the mouse callbacks last saw them.
struct MouseState {
    Vec2 pointer;           // simulation coordinates, y up
    int32_t button_down[3]; // by GLUT button number: 0 left, 1 middle, 2 right; 1 while held
};

extern MouseState mouse_state;
// Client size of the window in pixels: set at creation, kept current by the reshape callback.
extern int32_t window_width;
extern int32_t window_height;

constexpr int button_left = 0;
constexpr int button_middle = 1;
constexpr int button_right = 2;
constexpr int button_pressed = 0;  // GLUT_DOWN
constexpr int button_released = 1; // GLUT_UP

// Window pixel (x right, y down) to simulation coordinates on the square 0..extent, y up.
// A window with no area (minimised) leaves the pointer where it was.
void map_pointer(MouseState& mouse, int x, int y, int width, int height, float extent);

// Button bookkeeping after the pointer is mapped. The middle button makes the fluid weightless
// while held and reverses gravity on release; unknown buttons and states change nothing.
void apply_mouse_button(MouseState& mouse, SimState& state, int button, int button_state);

// Releases every held button with the effects of a real release (the middle one reverses
// gravity), left, middle, right. For events that prove no button is held any more: a release
// lost while the window was unmapped would otherwise keep stirring or keep gravity off.
void release_held_buttons(MouseState& mouse, SimState& state);

// Sign of each stirring call this frame, left (pull, +1) before right (push, -1); returns how
// many of the two slots of `signs` were filled.
int stirring_signs(const MouseState& mouse, float signs[2]);
