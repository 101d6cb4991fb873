#include <gtest/gtest.h>

#include <cfloat>
#include <string>

#include "app/frame_stats.h"

namespace {
std::string title(int32_t fps, float render, float physics, int32_t count) {
    char buf[title_text_size];
    format_title(buf, fps, render, physics, count);
    return buf;
}
} // namespace

TEST(FrameStats, TitleTextIsExact) {
    EXPECT_EQ(title(0, 0.0f, 0.0f, 10000),
              "Tarnwell SPH v 1.09a   <<<   FPS: 0   Render: 0.000   Phys: 0.000   Count: 10000"
              "   >>>");
    EXPECT_EQ(title(61, 2.5f, 12.0625f, -3),
              "Tarnwell SPH v 1.09a   <<<   FPS: 61   Render: 2.500   Phys: 12.062   Count: -3"
              "   >>>");
    // The widest values a title can carry still fit the buffer whole.
    const std::string widest = title(INT32_MIN, -FLT_MAX, -FLT_MAX, INT32_MIN);
    EXPECT_EQ(widest, "Tarnwell SPH v 1.09a   <<<   FPS: -2147483648   Render: "
                      "-340282346638528859811704183484516925440.000   Phys: "
                      "-340282346638528859811704183484516925440.000   Count: -2147483648   >>>");
    EXPECT_LT(widest.size(), static_cast<size_t>(title_text_size));
}

TEST(FrameStats, AveragesOverTheFramesOfOneSecond) {
    FrameStats s{};
    char t[title_text_size] = "";
    int32_t start = 0;
    // 100 frames of 10 ms: 3 ms physics, 2 ms drawing. 1000 ms is not yet "more than a second".
    for (int i = 0; i < 100; ++i) {
        const int32_t t0 = start + 10;
        ASSERT_FALSE(record_frame(s, start, t0, t0 + 3, t0 + 5, 500, t));
        start = t0;
    }
    EXPECT_EQ(s.elapsed_ms, 1000.0f);
    EXPECT_EQ(s.frame_count, 100);
    EXPECT_STREQ(t, "");
    ASSERT_TRUE(record_frame(s, start, start + 10, start + 13, start + 15, 500, t));
    EXPECT_EQ(std::string(t), title(101, 2.0f, 3.0f, 500));
    EXPECT_EQ(s.elapsed_ms, 10.0f); // the excess carries over
    EXPECT_EQ(s.frame_count, 0);
    EXPECT_EQ(s.physics_ms, 0.0f);
    EXPECT_EQ(s.render_ms, 0.0f);
}

TEST(FrameStats, StallIsPaidBackOverTheNextFrames) {
    FrameStats s{};
    s.elapsed_ms = 400.0f;
    s.frame_count = 7;
    s.physics_ms = 70.0f;
    s.render_ms = 14.0f;
    char t[title_text_size] = "";

    // A 2500 ms interval (window dragged): title at the end of that very frame.
    ASSERT_TRUE(record_frame(s, 1000, 3500, 3508, 3509, 10000, t));
    EXPECT_EQ(s.elapsed_ms, 1900.0f);
    EXPECT_EQ(std::string(t), title(8, 15.0f / 8.0f, 78.0f / 8.0f, 10000));

    // The next frame is still over a second: a second title with FPS 1, however short it is.
    ASSERT_TRUE(record_frame(s, 3500, 3501, 3505, 3506, 10000, t));
    EXPECT_EQ(s.elapsed_ms, 901.0f);
    EXPECT_EQ(std::string(t), title(1, 1.0f, 4.0f, 10000));

    ASSERT_FALSE(record_frame(s, 3501, 3600, 3600, 3600, 10000, t));
    EXPECT_EQ(s.elapsed_ms, 1000.0f);
    ASSERT_TRUE(record_frame(s, 3600, 3601, 3601, 3601, 10000, t));
    EXPECT_EQ(std::string(t), title(2, 0.0f, 0.0f, 10000));
}

TEST(FrameStats, ClockReadingsFarApartDoNotOverflow) {
    FrameStats s{};
    char t[title_text_size];
    ASSERT_TRUE(record_frame(s, INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX, 1, t));
    EXPECT_GT(s.elapsed_ms, 4e9f - 1000.0f);
}

TEST(FrameStats, LiveFiguresOfTheLastSecond) {
    FrameStats s{};
    char t[title_text_size] = "";
    StepProfile profile{};
    for (int k = 0; k < step_stage_count; ++k)
        profile.stage_ms[k] = 0.125 * (k + 1);
    // 40 frames of 25 ms, two steps of 1.5 ms simulated time each: 0.12 s simulated in 1 s.
    int32_t start = 0;
    for (int i = 0; i < 41; ++i) {
        add_step(s.steps, profile, 0.0015);
        add_step(s.steps, profile, 0.0015);
        record_frame(s, start, start + 25, start + 26, start + 27, 500, t);
        start += 25;
    }
    ASSERT_TRUE(s.live.known);
    EXPECT_EQ(s.live.fps, 41);
    EXPECT_EQ(s.live.steps, 82);
    EXPECT_NEAR(s.live.simulated_per_wall, 82 * 0.0015 / 1.025, 1e-9);
    double total = 0.0;
    for (int k = 0; k < step_stage_count; ++k) {
        EXPECT_DOUBLE_EQ(s.live.stage_ms[k], 0.125 * (k + 1)); // the mean per step
        total += s.live.stage_ms[k];
    }
    EXPECT_DOUBLE_EQ(s.live.step_ms, total);
    EXPECT_EQ(s.steps.steps, 0); // the next second starts empty

    // A second without steps (paused) shows no stage times rather than the last ones or NaN.
    for (int i = 0; i < 41; ++i) {
        record_frame(s, start, start + 25, start + 25, start + 26, 500, t);
        start += 25;
    }
    EXPECT_EQ(s.live.steps, 0);
    EXPECT_EQ(s.live.simulated_per_wall, 0.0);
    EXPECT_EQ(s.live.step_ms, 0.0);
}
