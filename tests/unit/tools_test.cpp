// The mouse's tools: which presses they take from the stirring, how a drag becomes obstacles,
// what the eraser takes, how a body is carried and let go, and the `b` key.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "app/input.h"
#include "app/play.h"
#include "app/tools.h"
#include "bodies/bodies.h"
#include "config/config.h"
#include "sph/physics_step.h"
#include "sph/scene_state.h"
#include "sph/sim_state.h"

namespace {

class Tools : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_graph_ = graph_config;
        graph_config = default_graph_config();
        PhysConfig phys = default_phys_config();
        phys.count = 400;
        phys.geom_count = 1;
        phys.threads = 1;
        ASSERT_TRUE(sim_init_seeded(0, phys, 0.0f, 3u, nullptr));
        h = sim.smooth_radius;
        drop_tool(tool);
    }
    void TearDown() override {
        sim_free();
        graph_config = saved_graph_;
    }

    // A press or release at p as the mouse callback hands it on.
    bool button(int which, int state, int modifiers, Vec2 p) {
        mouse.pointer = p;
        return tool_button(tool, mouse, play, which, state, modifiers);
    }
    void move(Vec2 p) {
        mouse.pointer = p;
        tool_motion(tool, play, p);
    }
    int stirs() const {
        float signs[2];
        return stirring_signs(mouse, signs);
    }

    float h = 0.0f;
    ToolState tool{};
    MouseState mouse{};
    PlayState play{};
    GraphConfig saved_graph_{};
};

bool covers(const RigidBody& outline, Vec2 p) {
    Vec2 push;
    return polygon_point_push(outline, p, &push);
}

} // namespace

// A drag adds a piece each time the pointer is stroke_spacing h from the last piece's end, one
// more for the rest of the way at the release, and none for a remainder too short or a click.
TEST_F(Tools, ShiftDragLaysPiecesAtTheSpacing) {
    const Vec2 start{0.2f, 0.5f};
    ASSERT_TRUE(button(button_left, button_pressed, modifier_shift, start));
    EXPECT_EQ(stirs(), 0);
    // 0.3 h at a time, nine h to the right: the pointer passes 2 h from the last end at 2.1 h.
    for (int i = 1; i <= 30; ++i)
        move(Vec2{start.x + 0.3f * h * static_cast<float>(i), start.y});
    EXPECT_EQ(scene.obstacle_count, 4) << "pieces end at 2.1, 4.2, 6.3 and 8.4 h";
    EXPECT_TRUE(button(button_left, button_released, 0, Vec2{start.x + 9.0f * h, start.y}));
    ASSERT_EQ(scene.obstacle_count, 5) << "the last 0.6 h becomes a piece of its own";
    EXPECT_EQ(tool.tool, Tool::none);

    // Each piece between its two ends, stroke_thickness h thick.
    const float ends[6] = {0.0f, 2.1f, 4.2f, 6.3f, 8.4f, 9.0f};
    const float half = 0.5f * stroke_thickness * h;
    for (int k = 0; k < 5; ++k) {
        const float x = start.x + 0.5f * (ends[k] + ends[k + 1]) * h;
        EXPECT_TRUE(covers(scene.obstacles[k], Vec2{x, start.y + 0.9f * half})) << k;
        EXPECT_FALSE(covers(scene.obstacles[k], Vec2{x, start.y + 1.1f * half})) << k;
        EXPECT_FALSE(covers(scene.obstacles[k], Vec2{start.x + (ends[k] - 1.2f) * h, start.y}))
            << k << " reaches too far back";
    }
    // The stroke is whole: no gap along it.
    for (float x = start.x; x <= start.x + 9.0f * h; x += 0.1f * h) {
        bool any = false;
        for (int k = 0; k < scene.obstacle_count; ++k)
            any = any || covers(scene.obstacles[k], Vec2{x, start.y});
        EXPECT_TRUE(any) << "gap at " << (x - start.x) / h << " h";
    }

    // The drag is over: moving adds nothing.
    move(Vec2{start.x, start.y + 5.0f * h});
    EXPECT_EQ(scene.obstacle_count, 5);

    // A click adds nothing; a release a fifth of the spacing past the last piece adds nothing.
    button(button_left, button_pressed, modifier_shift, Vec2{0.3f, 0.3f});
    button(button_left, button_released, 0, Vec2{0.3f, 0.3f});
    button(button_left, button_pressed, modifier_shift, Vec2{0.3f, 0.3f});
    move(Vec2{0.3f, 0.3f + 2.2f * h});
    EXPECT_EQ(scene.obstacle_count, 6);
    button(button_left, button_released, 0, Vec2{0.3f, 0.3f + 2.6f * h});
    EXPECT_EQ(scene.obstacle_count, 6);
}

// Only Shift+left, Shift+right and Ctrl+left are tools; every other press is the plain button's,
// so it stirs as before. A tool's press and release never reach the stirring, and a second tool
// press while one runs is swallowed.
TEST_F(Tools, PlainPressesStayPlainAndToolPressesNeverStir) {
    const Vec2 p{0.4f, 0.4f};
    EXPECT_FALSE(button(button_left, button_pressed, 0, p));
    EXPECT_FALSE(button(button_right, button_pressed, modifier_ctrl, p));
    EXPECT_FALSE(button(button_middle, button_pressed, modifier_shift, p));
    EXPECT_FALSE(button(3, button_pressed, modifier_shift, p)); // the wheel
    EXPECT_FALSE(button(button_left, button_released, 0, p));
    EXPECT_EQ(tool.tool, Tool::none);

    // The plain left button's release was lost; a Shift+left press ends that stirring.
    mouse.button_down[button_left] = 1;
    EXPECT_TRUE(button(button_left, button_pressed, modifier_shift, p));
    EXPECT_EQ(stirs(), 0);
    EXPECT_EQ(tool.tool, Tool::draw);
    // Erasing or carrying while drawing: swallowed, the stroke goes on.
    EXPECT_TRUE(button(button_right, button_pressed, modifier_shift, p));
    EXPECT_TRUE(button(button_left, button_pressed, modifier_ctrl, p));
    EXPECT_EQ(tool.tool, Tool::draw);
    // Another button's release is not the tool's.
    EXPECT_FALSE(button(button_right, button_released, 0, p));
    EXPECT_EQ(tool.tool, Tool::draw);
    EXPECT_TRUE(button(button_left, button_released, 0, p));
    EXPECT_EQ(stirs(), 0);
    EXPECT_EQ(tool.tool, Tool::none);

    // Shift and Ctrl together on the left button carry rather than draw.
    EXPECT_TRUE(button(button_left, button_pressed, modifier_shift | modifier_ctrl, p));
    EXPECT_EQ(tool.tool, Tool::carry);
}

// Shift+right takes the obstacles within eraser_radius h of the pointer at the press and along
// the drag, and stops at the release.
TEST_F(Tools, EraserTakesObstaclesNearThePointerUntilReleased) {
    const float y = 0.5f;
    for (int k = 0; k < 4; ++k) {
        const float x = 0.2f + 0.1f * static_cast<float>(k);
        ASSERT_TRUE(add_stroke_obstacle(Vec2{x, y}, Vec2{x + 2.0f * h, y}, h));
    }
    // Beyond the reach of the first piece: nothing goes.
    ASSERT_TRUE(button(button_right, button_pressed, modifier_shift,
                       Vec2{0.2f + h, y + 0.5f * h + eraser_radius * h * 1.1f}));
    EXPECT_EQ(scene.obstacle_count, 4);
    EXPECT_EQ(stirs(), 0);
    move(Vec2{0.2f + h, y + 0.5f * h + eraser_radius * h * 0.9f});
    EXPECT_EQ(scene.obstacle_count, 3);
    move(Vec2{0.4f + h, y});
    EXPECT_EQ(scene.obstacle_count, 2);
    button(button_right, button_released, 0, Vec2{0.4f + h, y});
    move(Vec2{0.5f + h, y});
    EXPECT_EQ(scene.obstacle_count, 2);
    // What is left is the second and the fourth piece.
    EXPECT_TRUE(covers(scene.obstacles[0], Vec2{0.3f + h, y}));
    EXPECT_TRUE(covers(scene.obstacles[1], Vec2{0.5f + h, y}));
}

// Ctrl+left on nothing does nothing until its release; on a body it holds the body where it
// was gripped, at rest, inside the box, and lets it fall at the release.
TEST_F(Tools, CtrlCarriesTheBodyUnderThePointerAndLetsItFall) {
    ASSERT_EQ(sim.geom_count, 1);
    const RigidBody before = sim.bodies[0];
    const Vec2 empty{before.max_x + 10.0f * h, before.max_y + 10.0f * h};
    ASSERT_EQ(body_at(empty), -1);
    EXPECT_TRUE(button(button_left, button_pressed, modifier_ctrl, empty));
    EXPECT_EQ(stirs(), 0);
    move(Vec2{0.4f, 0.4f});
    tool_before_step(tool, mouse.pointer);
    EXPECT_EQ(sim.bodies[0].center.x, before.center.x);
    EXPECT_EQ(sim.bodies[0].center.y, before.center.y);
    EXPECT_TRUE(button(button_left, button_released, 0, Vec2{0.4f, 0.4f}));

    // Gripped a little right of the centre: the centre stays that far left of the pointer.
    const Vec2 grip{before.center.x + 0.5f * h, before.center.y};
    ASSERT_EQ(body_at(grip), 0);
    ASSERT_TRUE(button(button_left, button_pressed, modifier_ctrl, grip));
    const Vec2 there{0.45f, 0.6f};
    move(there);
    EXPECT_NEAR(sim.bodies[0].center.x, there.x - 0.5f * h, 1e-6f);
    EXPECT_NEAR(sim.bodies[0].center.y, there.y, 1e-6f);
    // Held through steps: it does not sag.
    for (int s = 0; s < 20; ++s) {
        tool_before_step(tool, mouse.pointer);
        physics_step(nullptr);
    }
    tool_before_step(tool, mouse.pointer);
    EXPECT_NEAR(sim.bodies[0].center.y, there.y, 1e-6f);
    EXPECT_EQ(sim.bodies[0].linear_velocity.y, 0.0f);
    // Dragged out of the window, the centre stays in the box.
    move(Vec2{-0.2f, 2.0f});
    EXPECT_GE(sim.bodies[0].center.x, sim.smooth_radius);
    EXPECT_LE(sim.bodies[0].center.y, sim.field_size);

    button(button_left, button_released, 0, there);
    EXPECT_EQ(tool.tool, Tool::none);
    const float held_y = sim.bodies[0].center.y;
    for (int s = 0; s < 20; ++s) {
        tool_before_step(tool, mouse.pointer);
        physics_step(nullptr);
    }
    EXPECT_LT(sim.bodies[0].center.y, held_y);
    EXPECT_LT(sim.bodies[0].linear_velocity.y, 0.0f);
}

// `b` adds a body at the pointer (kept clear of the walls) until the room for dropped bodies is
// used up, and says which on the status line; mode 1, which shows no bodies, refuses.
TEST_F(Tools, DropKeyAddsBodiesUntilThereIsNoRoom) {
    const int32_t start = sim.geom_count;
    drop_body_from_key(play, Vec2{0.0f, 0.5f}); // on the left wall
    ASSERT_EQ(sim.geom_count, start + 1);
    EXPECT_NE(std::strstr(play.status, "body dropped"), nullptr) << play.status;
    const RigidBody& dropped = sim.bodies[start];
    EXPECT_GE(dropped.min_x, sim.smooth_radius - 1e-6f);
    EXPECT_EQ(body_at(Vec2{dropped.center.x, dropped.center.y}), start);

    for (int i = 1; i < dropped_body_room; ++i)
        drop_body_from_key(play, Vec2{0.4f, 0.6f});
    EXPECT_EQ(sim.geom_count, start + dropped_body_room);
    drop_body_from_key(play, Vec2{0.4f, 0.6f});
    EXPECT_EQ(sim.geom_count, start + dropped_body_room);
    EXPECT_NE(std::strstr(play.status, "no room"), nullptr) << play.status;

    sim_free();
    PhysConfig phys = default_phys_config();
    phys.count = 400;
    phys.threads = 1;
    ASSERT_TRUE(sim_init_seeded(0, phys, 0.0f, 3u, nullptr));
    const int32_t bodies = sim.geom_count;
    graph_config.render_type = 1;
    drop_body_from_key(play, Vec2{0.4f, 0.6f});
    EXPECT_EQ(sim.geom_count, bodies);
    EXPECT_NE(std::strstr(play.status, "mode 1"), nullptr) << play.status;
}

// A stroke that runs out of room says so once the obstacles are full, and adds nothing more.
TEST_F(Tools, StrokeBeyondTheObstacleRoomSaysSo) {
    while (scene.obstacle_count < obstacle_capacity - 1)
        ASSERT_TRUE(add_stroke_obstacle(Vec2{0.3f, 0.3f}, Vec2{0.3f + h, 0.3f}, h));
    button(button_left, button_pressed, modifier_shift, Vec2{0.2f, 0.6f});
    for (int i = 1; i <= 4; ++i)
        move(Vec2{0.2f + 2.2f * h * static_cast<float>(i), 0.6f});
    EXPECT_EQ(scene.obstacle_count, obstacle_capacity);
    EXPECT_NE(std::strstr(play.status, "no room for more obstacles"), nullptr) << play.status;
    button(button_left, button_released, 0, Vec2{0.2f + 9.0f * h, 0.6f});
    EXPECT_EQ(tool.tool, Tool::none);
}
