#pragma once
// The mouse's tools on a running scene. With Shift the left button draws a fixed obstacle along
// its path and the right one erases obstacles under the pointer; with Ctrl the left button
// carries the body under the pointer. Any other press is a plain one and stirs as it always did.
// Nothing here needs a window: the shell passes GLUT's modifier bits, and the scene's tool
// functions run between steps, as the callbacks do.
#include <cstdint>

#include "base/types.h"

struct MouseState;
struct PlayState;

// GLUT_ACTIVE_SHIFT and GLUT_ACTIVE_CTRL.
constexpr int modifier_shift = 1;
constexpr int modifier_ctrl = 2;

// In smoothing radii: a stroke adds a piece each time the pointer is this far from where the
// last piece ended; pieces are this thick; the eraser takes obstacles this close. Obstacles
// push particles out through their nearest side, so a fast particle past the middle of a thin
// one goes through: fluid rising 0.5 box units onto a shelf 1.5 h thick loses one particle in
// six through it, one 2 h thick about one in three thousand.
constexpr float stroke_spacing = 2.0f;
constexpr float stroke_thickness = 2.0f;
constexpr float eraser_radius = 2.0f;

enum class Tool : int32_t {
    none,
    draw,
    erase,
    carry, // body >= 0: held; -1: the press found no body and only waits for its release
};

// Written by the mouse callbacks, read before each step.
struct ToolState {
    Tool tool;
    int32_t button; // the button whose release ends the tool
    Vec2 last;      // draw: where the stroke's last piece ended
    int32_t pieces; // draw: pieces of this stroke so far
    int32_t body;   // carry: the body held, -1 none
    Vec2 grip;      // carry: the body's centre less the pointer where it was picked up
};

extern ToolState tool_state;

// A press or release of `button` at mouse.pointer (already mapped) with GLUT's `modifiers` at
// the press. Returns true when a tool took the event; the plain bookkeeping (apply_mouse_button)
// must then not see it, so a tool's button never stirs. Only the tool's own button ends it.
bool tool_button(ToolState& tool, MouseState& mouse, PlayState& play, int button, int button_state,
                 int modifiers);
// The pointer, mapped anew, moved with a button held.
void tool_motion(ToolState& tool, PlayState& play, Vec2 pointer);
// Before every step: the carried body where the pointer holds it, at rest; then it falls when
// let go.
void tool_before_step(const ToolState& tool, Vec2 pointer);
// Ends the tool without finishing it: its release was lost, or the simulation restarted under it.
void drop_tool(ToolState& tool);

// The `b` key: a body dropped at the pointer, the outcome on the status line.
void drop_body_from_key(PlayState& play, Vec2 pointer);
