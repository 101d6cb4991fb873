#include "app/tools.h"

#include <cmath>

#include "app/input.h"
#include "app/play.h"
#include "config/config.h"
#include "sph/scene_state.h"
#include "sph/sim_state.h"

ToolState tool_state;

namespace {

float distance(Vec2 a, Vec2 b) {
    const float dx = b.x - a.x;
    const float dy = b.y - a.y;
    return std::sqrt(dx * dx + dy * dy);
}

float clamp(float v, float lo, float hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

// Mode 1 draws no bodies: carrying or dropping one there would act on something unseen.
bool bodies_shown() {
    return graph_config.render_type != 1;
}

void add_piece(ToolState& tool, PlayState& play, Vec2 to) {
    if (add_stroke_obstacle(tool.last, to, stroke_thickness * sim.smooth_radius)) {
        ++tool.pieces;
    } else if (scene.obstacle_count >= obstacle_capacity) {
        set_status(play, "no room for more obstacles (%d); Shift+right erases", obstacle_capacity);
    }
    tool.last = to;
}

void erase_at(Vec2 point) {
    erase_obstacles_near(point, eraser_radius * sim.smooth_radius);
}

void begin(ToolState& tool, Tool kind, int button) {
    tool = ToolState{};
    tool.tool = kind;
    tool.button = button;
    tool.body = -1;
}

} // namespace

bool tool_button(ToolState& tool, MouseState& mouse, PlayState& play, int button, int button_state,
                 int modifiers) {
    if (button != button_left && button != button_right) return false;
    const Vec2 pointer = mouse.pointer;
    if (button_state == button_released) {
        if (tool.tool == Tool::none || button != tool.button) return false;
        // The stroke reaches where the button went up, unless that is too close to its last
        // piece to make a piece of its own.
        if (tool.tool == Tool::draw &&
            distance(tool.last, pointer) >= 0.25f * stroke_spacing * sim.smooth_radius)
            add_piece(tool, play, pointer);
        drop_tool(tool);
        return true;
    }
    if (button_state != button_pressed) return false;

    const bool ctrl = (modifiers & modifier_ctrl) != 0;
    const bool shift = (modifiers & modifier_shift) != 0;
    Tool kind = Tool::none;
    if (button == button_left && ctrl) {
        kind = Tool::carry;
    } else if (button == button_left && shift) {
        kind = Tool::draw;
    } else if (button == button_right && shift) {
        kind = Tool::erase;
    }
    if (kind == Tool::none) return false;
    // One tool at a time: a second tool press is swallowed and leaves the first one going.
    if (tool.tool != Tool::none) return true;
    // A press proves any earlier press of this button was released, even if the release was
    // lost: it must not go on stirring under the tool.
    mouse.button_down[button] = 0;

    begin(tool, kind, button);
    switch (kind) {
    case Tool::draw:
        tool.last = pointer;
        break;
    case Tool::erase:
        erase_at(pointer);
        break;
    case Tool::carry:
        tool.body = bodies_shown() ? body_at(pointer) : -1;
        if (tool.body >= 0) {
            const Vec2 centre = sim.bodies[tool.body].center;
            tool.grip = Vec2{centre.x - pointer.x, centre.y - pointer.y};
        }
        break;
    case Tool::none:
        break;
    }
    return true;
}

void tool_motion(ToolState& tool, PlayState& play, Vec2 pointer) {
    if (tool.tool == Tool::draw) {
        if (distance(tool.last, pointer) >= stroke_spacing * sim.smooth_radius)
            add_piece(tool, play, pointer);
    } else if (tool.tool == Tool::erase) {
        erase_at(pointer);
    } else if (tool.tool == Tool::carry && tool.body >= 0) {
        // Also between steps, so the body follows the pointer while the play is paused.
        tool_before_step(tool, pointer);
    }
}

void tool_before_step(const ToolState& tool, Vec2 pointer) {
    if (tool.tool != Tool::carry || tool.body < 0 || tool.body >= sim.geom_count) return;
    // The centre stays in the box, so a body dragged out of the window still comes back.
    const float lo = sim.smooth_radius;
    const float hi = sim.field_size;
    move_body_to(tool.body, Vec2{clamp(pointer.x + tool.grip.x, lo, hi),
                                 clamp(pointer.y + tool.grip.y, lo, hi)});
}

void drop_tool(ToolState& tool) {
    tool = ToolState{};
    tool.body = -1;
}

void drop_body_from_key(PlayState& play, Vec2 pointer) {
    if (!bodies_shown()) {
        set_status(play, "no bodies in mode 1 (outline): 0 or 2 shows them");
        return;
    }
    // The dropped square is eight smoothing radii wide: its centre keeps four from the walls.
    const float h = sim.smooth_radius;
    const float lo = 5.0f * h;
    const float hi = sim.field_size - 4.0f * h;
    const Vec2 at{clamp(pointer.x, lo, hi), clamp(pointer.y, lo, hi)};
    if (drop_body_at(at)) {
        set_status(play, "body dropped; bodies: %d", sim.geom_count);
    } else {
        set_status(play, "no room for another body (%d of %d)", sim.geom_count,
                   scene.body_capacity);
    }
}
