// The colour maps of the schemes that show a quantity, and the colour bar that explains them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "app/legend.h"
#include "base/colour_map.h"
#include "sph/sim_state.h"
#include "sph/steps.h"
#include "sph_fixture.h"

namespace {
void expect_colour(const Color3& c, float r, float g, float b, float tolerance = 1e-6f) {
    EXPECT_NEAR(c.r, r, tolerance);
    EXPECT_NEAR(c.g, g, tolerance);
    EXPECT_NEAR(c.b, b, tolerance);
}
LegendScales speed(float scale) {
    return LegendScales{scale, 0.03f, false};
}
float lightness(const Color3& c) {
    return 0.2126f * c.r + 0.7152f * c.g + 0.0722f * c.b;
}
} // namespace

TEST(ColourMap, ViridisEndsAndEverythingBeyondThem) {
    // The published ends: #440154 and #FDE725.
    expect_colour(viridis(0.0f), 0x44 / 255.0f, 0x01 / 255.0f, 0x54 / 255.0f);
    expect_colour(viridis(1.0f), 0xFD / 255.0f, 0xE7 / 255.0f, 0x25 / 255.0f);
    // The middle stop, #21908C, is met exactly, not blended with its neighbours.
    expect_colour(viridis(0.5f), 0x21 / 255.0f, 0x90 / 255.0f, 0x8C / 255.0f);
    // Speeds below zero cannot happen, beyond the scale do; NaN must not leak into GL.
    for (float t : {-1.0f, -std::numeric_limits<float>::infinity(),
                    std::numeric_limits<float>::quiet_NaN()}) {
        SCOPED_TRACE(t);
        expect_colour(viridis(t), 0x44 / 255.0f, 0x01 / 255.0f, 0x54 / 255.0f);
    }
    for (float t : {1.0001f, 7.0f, std::numeric_limits<float>::infinity()})
        expect_colour(viridis(t), 0xFD / 255.0f, 0xE7 / 255.0f, 0x25 / 255.0f);
}

TEST(ColourMap, ViridisGetsLighterAllTheWay) {
    // What makes it readable as "more": lightness rises at every step along the bar.
    float last = lightness(viridis(0.0f));
    for (int k = 1; k <= 200; ++k) {
        const float now = lightness(viridis(static_cast<float>(k) / 200.0f));
        EXPECT_GT(now, last) << "at " << k / 200.0;
        last = now;
    }
}

TEST(ColourMap, CoolWarmIsGreyInTheMiddleAndDarkerTowardsBothEnds) {
    // Moreland's table: #3B4CC0, #DDDDDD, #B40426.
    expect_colour(cool_warm(0.0f), 59 / 255.0f, 76 / 255.0f, 192 / 255.0f);
    expect_colour(cool_warm(0.5f), 221 / 255.0f, 221 / 255.0f, 221 / 255.0f);
    expect_colour(cool_warm(1.0f), 180 / 255.0f, 4 / 255.0f, 38 / 255.0f);
    expect_colour(cool_warm(std::numeric_limits<float>::quiet_NaN()), 59 / 255.0f, 76 / 255.0f,
                  192 / 255.0f);
    expect_colour(cool_warm(40.0f), 180 / 255.0f, 4 / 255.0f, 38 / 255.0f);
    // Rest is the lightest colour: lightness falls away from the grey middle on both sides.
    for (int k = 1; k <= 50; ++k) {
        const float d = static_cast<float>(k) / 100.0f;
        const float below = lightness(cool_warm(0.5f - d));
        const float above = lightness(cool_warm(0.5f + d));
        EXPECT_LT(below, lightness(cool_warm(0.5f - d + 0.01f))) << d;
        EXPECT_LT(above, lightness(cool_warm(0.5f + d - 0.01f))) << d;
        // Blue below, red above.
        EXPECT_GT(cool_warm(0.5f - d).b, cool_warm(0.5f - d).r);
        EXPECT_GT(cool_warm(0.5f + d).r, cool_warm(0.5f + d).b);
    }
}

TEST(ColourMap, DensityRampIsTheDensityStagesOwn) {
    // The bar must show the colours the particles get: particles at growing distances from a
    // neighbour give kernel sums from the own term up to twice it, and one crowd gives t > 1.
    HandState state(24, 2);
    for (int i = 0; i < 12; ++i) {
        sim.position[2 * i] = Vec2{0.05f + 0.05f * static_cast<float>(i), 0.1f};
        sim.position[2 * i + 1] =
            Vec2{0.05f + 0.05f * static_cast<float>(i), 0.1f + 0.001f * static_cast<float>(i)};
    }
    HandState::find_pairs_brute_force();
    compute_density_pressure();
    const float h2 = sim.smooth_radius * sim.smooth_radius;
    for (int i = 0; i < sim.count; ++i) {
        SCOPED_TRACE(i);
        const float density = 1.0f / sim.density_pressure[i].x;
        const float t = density / sim.poly6_coef / (6.0f * h2 * h2 * h2);
        const Color3 want = density_ramp(t);
        expect_colour(sim.color[i], want.r, want.g, want.b, 1e-4f);
        EXPECT_NEAR(ramp_density(sim, t), density, density * 1e-5f);
    }
    // The ramp's landmarks: blue, yellow at 1, red from 3 on.
    expect_colour(density_ramp(0.0f), 0.0f, 0.0f, 1.0f);
    expect_colour(density_ramp(1.0f), 1.0f, 1.0f, 0.0f);
    expect_colour(density_ramp(density_ramp_top), 1.0f, 0.0f, 0.0f);
    expect_colour(density_ramp(10.0f), 1.0f, 0.0f, 0.0f);
}

TEST(ColourBar, OnlyForSchemesThatShowAQuantity) {
    HandState state(1, 1);
    Legend legend;
    EXPECT_FALSE(describe_legend(0, sim, speed(2.0f), &legend)); // white
    EXPECT_FALSE(describe_legend(1, sim, speed(2.0f), &legend)); // gradient
    EXPECT_FALSE(describe_legend(7, sim, speed(2.0f), &legend));
    // A scale the settings would refuse draws no bar rather than NaN labels.
    for (float bad : {0.0f, -1.0f, std::numeric_limits<float>::infinity(),
                      std::numeric_limits<float>::quiet_NaN()})
        EXPECT_FALSE(describe_legend(3, sim, speed(bad), &legend)) << bad;
}

TEST(ColourBar, ValuesOfDensityAndSpeed) {
    HandState state(1, 2);
    Legend legend;
    ASSERT_TRUE(describe_legend(2, sim, speed(2.0f), &legend));
    EXPECT_STREQ(legend.title, "density");
    ASSERT_EQ(legend.tick_count, 3);
    // The defaults: t = 1 is 6 h^6 * mass * 315 / (64 pi h^9) = 1880 (rest density is 600).
    EXPECT_STREQ(legend.ticks[0].text, "0");
    EXPECT_STREQ(legend.ticks[1].text, "1880");
    EXPECT_STREQ(legend.ticks[2].text, "5640");
    EXPECT_FLOAT_EQ(legend.ticks[1].at, 1.0f / 3.0f);
    expect_colour(legend_colour(legend, legend.ticks[1].at), 1.0f, 1.0f, 0.0f, 1e-5f);
    expect_colour(legend_colour(legend, 1.0f), 1.0f, 0.0f, 0.0f);

    ASSERT_TRUE(describe_legend(3, sim, speed(2.5f), &legend));
    EXPECT_STREQ(legend.title, "speed, box/s");
    EXPECT_STREQ(legend.ticks[1].text, "1.25");
    EXPECT_STREQ(legend.ticks[2].text, "2.5");
    expect_colour(legend_colour(legend, 0.5f), 0x21 / 255.0f, 0x90 / 255.0f, 0x8C / 255.0f);
    // Past the ends the bar keeps its end colours.
    expect_colour(legend_colour(legend, 3.0f), 0xFD / 255.0f, 0xE7 / 255.0f, 0x25 / 255.0f);
}

TEST(ColourBar, CompressionAroundRestAndTheWatersDensity) {
    HandState state(1, 2);
    Legend legend;
    ASSERT_TRUE(describe_legend(4, sim, LegendScales{3.0f, 0.05f, false}, &legend));
    EXPECT_STREQ(legend.title, "density/rest");
    EXPECT_STREQ(legend.ticks[0].text, "0.95");
    EXPECT_STREQ(legend.ticks[1].text, "1");
    EXPECT_STREQ(legend.ticks[2].text, "1.05");
    // Rest density sits on the grey middle, where a particle at rest density is drawn.
    EXPECT_FLOAT_EQ(compression_fraction(1.0f, 0.05f), legend.ticks[1].at);
    EXPECT_FLOAT_EQ(compression_fraction(0.95f, 0.05f), 0.0f);
    expect_colour(legend_colour(legend, legend.ticks[1].at), 221 / 255.0f, 221 / 255.0f,
                  221 / 255.0f);
    // A range of 1 or more would put 0 or less at the bar's left end.
    for (float bad : {0.0f, 1.0f, 2.0f, std::numeric_limits<float>::quiet_NaN()})
        EXPECT_FALSE(describe_legend(4, sim, LegendScales{3.0f, bad, false}, &legend)) << bad;

    // Under the water model the density scheme is the water's ramp around rest density, and the
    // bar must say so rather than show the particle model's kernel sums.
    ASSERT_TRUE(describe_legend(2, sim, LegendScales{3.0f, 0.03f, true}, &legend));
    EXPECT_STREQ(legend.title, "density/rest");
    EXPECT_STREQ(legend.ticks[0].text, "0.97");
    EXPECT_STREQ(legend.ticks[2].text, "1.03");
    const Color3 top = water_density_ramp(1.03f);
    expect_colour(legend_colour(legend, 1.0f), top.r, top.g, top.b);
    expect_colour(legend_colour(legend, 0.5f), 0.5f, 0.5f, 0.5f, 1e-5f);
}

TEST(ColourBar, EveryCharacterItWritesHasAGlyph) {
    HandState state(1, 2);
    Legend legends[5];
    ASSERT_TRUE(describe_legend(4, sim, LegendScales{3.0f, 0.03f, false}, &legends[3]));
    ASSERT_TRUE(describe_legend(2, sim, LegendScales{3.0f, 0.03f, true}, &legends[4]));
    ASSERT_TRUE(describe_legend(2, sim, speed(2.0f), &legends[0]));
    ASSERT_TRUE(describe_legend(3, sim, speed(0.000123f), &legends[1])); // 1.23e-04
    ASSERT_TRUE(describe_legend(3, sim, speed(3e30f), &legends[2]));     // 3e+30
    for (const Legend& legend : legends) {
        std::string text = legend.title;
        for (int k = 0; k < legend.tick_count; ++k)
            text += legend.ticks[k].text;
        for (char c : text)
            EXPECT_NE(legend_glyph(c), nullptr) << "no glyph for '" << c << "' in " << text;
    }
    EXPECT_EQ(legend_glyph('?'), nullptr);
}
