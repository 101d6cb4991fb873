#include <gtest/gtest.h>

#include <cmath>

#include "app/input.h"
#include "sph/sim_state.h"

namespace {
constexpr float extent = 0.81f; // default smooth_radius + field_size
}

TEST(Input, PointerMapsTheWindowOntoTheWorldSquareWithYUp) {
    struct Case {
        int x, y;
        float want_x, want_y;
    };
    // A 1000 x 500 window after a resize: the square is stretched, not cropped.
    const Case cases[] = {
        {500, 250, extent * 0.5f, extent * 0.5f},
        {0, 0, 0.0f, extent}, // top-left pixel is the top of the world
        {0, 500, 0.0f, 0.0f}, // bottom edge
        {1000, 500, extent, 0.0f},
        {1000, 0, extent, extent},
        {250, 125, extent * 0.25f, extent * 0.75f},
        {-100, 750, extent * -0.1f, extent * -0.5f}, // dragged outside the window
    };
    for (const Case& c : cases) {
        MouseState m{};
        map_pointer(m, c.x, c.y, 1000, 500, extent);
        EXPECT_FLOAT_EQ(m.pointer.x, c.want_x) << c.x << "," << c.y;
        EXPECT_FLOAT_EQ(m.pointer.y, c.want_y) << c.x << "," << c.y;
    }

    // The exact single-precision order: extent * (x / width).
    MouseState m{};
    map_pointer(m, 333, 111, 740, 740, extent);
    EXPECT_EQ(m.pointer.x, extent * (333.0f / 740.0f));
    EXPECT_EQ(m.pointer.y, extent * (629.0f / 740.0f));
}

TEST(Input, ZeroSizedWindowLeavesThePointerFinite) {
    MouseState m{};
    m.pointer = {0.3f, 0.4f};
    map_pointer(m, 10, 10, 0, 0, extent);
    map_pointer(m, 10, 10, 500, 0, extent);
    map_pointer(m, 10, 10, 0, 500, extent);
    EXPECT_EQ(m.pointer.x, 0.3f);
    EXPECT_EQ(m.pointer.y, 0.4f);
    // Extreme event coordinates must not overflow the integer subtraction.
    map_pointer(m, INT32_MIN, INT32_MIN, 500, 500, extent);
    EXPECT_TRUE(std::isfinite(m.pointer.x));
    EXPECT_GT(m.pointer.y, 0.0f);
}

TEST(Input, MiddleButtonHoldsGravityOffAndReversesItOnRelease) {
    MouseState m{};
    SimState s{};
    s.toggled_gravity = -9.8f;
    s.current_gravity = -9.8f;

    struct Step {
        int button, state;
        float want_current, want_toggled;
        int want_down[3];
    };
    const Step steps[] = {
        {1, 0, 0.0f, -9.8f, {0, 1, 0}}, // press: weightless while held
        {1, 1, 9.8f, 9.8f, {0, 0, 0}},  // release: reversed
        {1, 0, 0.0f, 9.8f, {0, 1, 0}},
        {1, 1, -9.8f, -9.8f, {0, 0, 0}}, // second release: back to the start direction
        {1, 1, 9.8f, 9.8f, {0, 0, 0}},   // a release reported without a press still flips
        {0, 0, 9.8f, 9.8f, {1, 0, 0}},   // left and right leave gravity alone
        {2, 0, 9.8f, 9.8f, {1, 0, 1}},
        {0, 7, 9.8f, 9.8f, {1, 0, 1}}, // unknown state: nothing but the pointer
        {3, 0, 9.8f, 9.8f, {1, 0, 1}}, // wheel and other buttons: ignored
        {-1, 1, 9.8f, 9.8f, {1, 0, 1}},
        {0, 1, 9.8f, 9.8f, {0, 0, 1}},
        {2, 1, 9.8f, 9.8f, {0, 0, 0}},
    };
    int n = 0;
    for (const Step& st : steps) {
        apply_mouse_button(m, s, st.button, st.state);
        SCOPED_TRACE(testing::Message() << "step " << n++);
        EXPECT_EQ(s.current_gravity, st.want_current);
        EXPECT_EQ(s.toggled_gravity, st.want_toggled);
        for (int b = 0; b < 3; ++b)
            EXPECT_EQ(m.button_down[b], st.want_down[b]) << "button " << b;
    }
}

TEST(Input, StirringPullsBeforeItPushes) {
    struct Case {
        int left, middle, right;
        int want_n;
        float want[2];
    };
    const Case cases[] = {
        {0, 0, 0, 0, {0, 0}},        {1, 0, 0, 1, {1.0f, 0}}, {0, 0, 1, 1, {-1.0f, 0}},
        {1, 0, 1, 2, {1.0f, -1.0f}}, // both held: both run, the attracting one first
        {0, 1, 0, 0, {0, 0}},        // the middle button does not stir
    };
    for (const Case& c : cases) {
        MouseState m{};
        m.button_down[0] = c.left;
        m.button_down[1] = c.middle;
        m.button_down[2] = c.right;
        float signs[2] = {99.0f, 99.0f};
        ASSERT_EQ(stirring_signs(m, signs), c.want_n);
        for (int i = 0; i < c.want_n; ++i)
            EXPECT_EQ(signs[i], c.want[i]);
    }
}
