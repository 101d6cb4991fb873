#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/frame_stats.h"
#include "app/input.h"
#include "app/play.h"
#include "config/config.h"
#include "sph/sim_state.h"
#include "sph/water.h"

namespace {

struct PlayFixture : ::testing::Test {
    PlayState play{};
    SimState state{};

    void SetUp() override {
        GraphConfig graph{};
        load_graph_config(&graph, "");
        start_play(play, graph, default_phys_config(), nullptr, 77u);
        state.mouse_radius = play.phys.mouse_radius;
        state.mouse_force = play.phys.mouse_force;
        state.toggled_gravity = play.phys.gravity;
        state.current_gravity = play.phys.gravity;
    }
    void key(unsigned char k) { apply_action(play, state, action_for_key(k)); }
};

} // namespace

TEST_F(PlayFixture, KeysThatOnlyAskTheShellLeaveTheirRequestAndNothingElse) {
    struct Case {
        unsigned char key;
        uint32_t request;
    };
    const Case cases[] = {{'r', request_restart},    {'l', request_reload},
                          {'w', request_save},       {'p', request_panel},
                          {'s', request_screenshot}, {'f', request_fullscreen},
                          {'q', request_quit},       {27, request_quit}};
    for (const Case& c : cases) {
        play.requests = 0;
        key(c.key);
        EXPECT_EQ(play.requests, c.request) << "key " << int(c.key);
    }
    EXPECT_FALSE(play.paused);
    EXPECT_EQ(state.mouse_radius, play.phys.mouse_radius);
    EXPECT_EQ(state.current_gravity, play.phys.gravity);

    play.requests = 0;
    apply_action(play, state, action_for_special_key(12)); // F12
    EXPECT_EQ(play.requests, request_screenshot);
    // Keys without a meaning, other special keys and the upper case change nothing at all.
    play.requests = 0;
    const unsigned char idle[] = {'x', 'Q', 'R', 'N', '4', 'V', '\r', '\t', 200};
    for (unsigned char k : idle)
        key(k);
    apply_action(play, state, action_for_special_key(2));
    apply_action(play, state, action_for_special_key(100));
    EXPECT_EQ(play.requests, 0u);
    EXPECT_FALSE(play.paused);
    EXPECT_FALSE(play.overlay);
    EXPECT_EQ(play.graph.render_type, 0);
    EXPECT_EQ(play.graph.point_colors, 1);
}

TEST_F(PlayFixture, PauseAndSingleSteps) {
    key('n'); // running: a single step means nothing
    EXPECT_EQ(play.pending_steps, 0);
    key(' ');
    EXPECT_TRUE(play.paused);
    key('n');
    key('.');
    EXPECT_EQ(play.pending_steps, 2);
    key(' '); // resuming forgets steps not yet run
    EXPECT_FALSE(play.paused);
    EXPECT_EQ(play.pending_steps, 0);
    key(' ');
    for (int i = 0; i < 5000; ++i)
        key('n'); // held down: bounded, not a frame of 5000 steps
    EXPECT_LE(play.pending_steps, 1000);
    EXPECT_GT(play.pending_steps, 0);
}

TEST_F(PlayFixture, ModeAndColourKeysChooseWhatTheShellSwitchesTo) {
    key('1');
    EXPECT_EQ(play.graph.render_type, 1);
    EXPECT_EQ(play.requests, request_mode);
    key('2');
    EXPECT_EQ(play.graph.render_type, 2);
    key('3');
    EXPECT_EQ(play.graph.render_type, 3);
    key('0');
    EXPECT_EQ(play.graph.render_type, 0);

    play.requests = 0;
    // From the default gradient; compression last before white.
    const int32_t cycle[] = {2, 3, 4, 0, 1, 2};
    for (int32_t want : cycle) {
        key('c');
        EXPECT_EQ(play.graph.point_colors, want);
        EXPECT_EQ(play.requests, request_colours);
    }
    play.graph.point_colors = 7; // a value the file allows but no scheme has
    key('c');
    EXPECT_EQ(play.graph.point_colors, 0);
}

TEST_F(PlayFixture, GravityKeyActsLikeAMiddleRelease) {
    SimState by_mouse = state;
    MouseState mouse{};
    for (int i = 0; i < 3; ++i) {
        key('g');
        apply_mouse_button(mouse, by_mouse, button_middle, button_released);
        EXPECT_EQ(state.current_gravity, by_mouse.current_gravity);
        EXPECT_EQ(state.toggled_gravity, by_mouse.toggled_gravity);
    }
    EXPECT_EQ(state.current_gravity, -play.phys.gravity);
    // While the middle button holds the fluid weightless, g turns gravity on reversed.
    apply_mouse_button(mouse, state, button_middle, button_pressed);
    EXPECT_EQ(state.current_gravity, 0.0f);
    key('g');
    EXPECT_EQ(state.current_gravity, play.phys.gravity);
}

TEST_F(PlayFixture, StirringRadiusStepsByWholeUnitsOfHWithinBounds) {
    play.phys.mouse_radius = state.mouse_radius = 13.0f;
    key('+');
    EXPECT_EQ(state.mouse_radius, 14.0f);
    key('=');
    EXPECT_EQ(state.mouse_radius, 15.0f);
    apply_action(play, state, action_for_wheel(4, button_pressed));
    EXPECT_EQ(state.mouse_radius, 14.0f);
    apply_action(play, state, action_for_wheel(4, button_released)); // a notch's release
    apply_action(play, state, action_for_wheel(3, button_released));
    EXPECT_EQ(state.mouse_radius, 14.0f);
    apply_action(play, state, action_for_wheel(3, button_pressed));
    EXPECT_EQ(state.mouse_radius, 15.0f);
    EXPECT_EQ(play.phys.mouse_radius, 15.0f); // a restart keeps it

    // A radius between whole steps goes to the next whole one either way.
    play.phys.mouse_radius = state.mouse_radius = 13.5f;
    key('+');
    EXPECT_EQ(state.mouse_radius, 14.0f);
    play.phys.mouse_radius = state.mouse_radius = 13.5f;
    key('-');
    EXPECT_EQ(state.mouse_radius, 13.0f);

    for (int i = 0; i < 200; ++i)
        key('-');
    EXPECT_EQ(state.mouse_radius, stir_radius_min);
    for (int i = 0; i < 200; ++i)
        key('+');
    EXPECT_EQ(state.mouse_radius, stir_radius_max);
    // A file value beyond the bounds is brought back by the first press.
    play.phys.mouse_radius = state.mouse_radius = 500.0f;
    key('+');
    EXPECT_EQ(state.mouse_radius, stir_radius_max);
}

TEST_F(PlayFixture, StirringStrengthStepsByAQuarterAndComesBackExactly) {
    const float start = state.mouse_force;
    key(']');
    EXPECT_FLOAT_EQ(state.mouse_force, start * 1.25f);
    key(']');
    EXPECT_FLOAT_EQ(state.mouse_force, start * 1.25f * 1.25f);
    key('[');
    key('[');
    EXPECT_EQ(state.mouse_force, start); // bit for bit the file's value again
    key('[');
    EXPECT_FLOAT_EQ(state.mouse_force, start / 1.25f);
    EXPECT_EQ(play.phys.mouse_force, state.mouse_force);

    for (int i = 0; i < 100; ++i)
        key(']');
    const float top = state.mouse_force;
    EXPECT_FLOAT_EQ(top, static_cast<float>(start * std::pow(1.25, stir_strength_steps)));
    for (int i = 0; i < 100; ++i)
        key('[');
    EXPECT_FLOAT_EQ(state.mouse_force,
                    static_cast<float>(start * std::pow(1.25, -stir_strength_steps)));
    EXPECT_GT(state.mouse_force, 0.0f);
}

TEST_F(PlayFixture, RecordKeyLeavesARequestEachPress) {
    key('v');
    EXPECT_EQ(play.requests, request_record);
    // The shell starts or stops by whether a recording runs; the press only asks.
    play.requests = 0;
    key('v');
    EXPECT_EQ(play.requests, request_record);
}

TEST_F(PlayFixture, OverlayShowsTheFiguresOfTheLastSecondOnceKnown) {
    char lines[overlay_max_lines][overlay_line_size];
    auto text_of = [&](const LiveFigures& figures) {
        const int n = format_overlay(play, state, figures, lines, overlay_max_lines);
        std::string text;
        for (int i = 0; i < n; ++i) {
            EXPECT_LE(std::strlen(lines[i]), 40u) << lines[i]; // a 400-pixel window's overlay
            text += std::string(lines[i]) + "\n";
        }
        return text;
    };
    state.count = 10000;
    EXPECT_EQ(text_of(LiveFigures{}).find("fps"), std::string::npos); // nothing measured yet
    EXPECT_NE(text_of(LiveFigures{}).find("10000 particles"), std::string::npos);
    LiveFigures figures{};
    figures.known = true;
    figures.fps = 58;
    figures.simulated_per_wall = 0.087;
    figures.steps = 58;
    for (int k = 0; k < step_stage_count; ++k)
        figures.stage_ms[k] = 0.001 * (k + 1);
    figures.step_ms = 0.036;
    const std::string text = text_of(figures);
    // The list of stages starts on a line of its own, items joined by commas only.
    EXPECT_NE(text.find("0.036 ms a step:\n  sort and grid 0.001, "), std::string::npos) << text;
    for (const char* want : {"58 fps", "x0.087", "58 steps", "0.036 ms a step",
                             "sort and grid 0.001", "neighbours 0.002", "emitters 0.008"})
        EXPECT_NE(text.find(want), std::string::npos) << want << " missing from\n" << text;
    // Every stage is named, from the step's own list.
    for (int k = 0; k < step_stage_count; ++k)
        EXPECT_NE(text.find(step_stages[k].name), std::string::npos) << step_stages[k].name;

    EXPECT_EQ(text.find("density error"), std::string::npos); // the particle model has none

    // The water's readout: surface particles below rest density are no error, NaN is skipped.
    state.rest_density = 600.0f;
    const float compressions[] = {0.9f, 1.0f, 1.01f, 1.02f, std::nanf("")};
    Vec2 density_pressure[5];
    for (int i = 0; i < 5; ++i)
        density_pressure[i] = Vec2{1.0f / (compressions[i] * state.rest_density), 0.0f};
    state.density_pressure = density_pressure;
    state.count = 5;
    water.on = true;
    const std::string with_water = text_of(figures);
    water.on = false;
    state.density_pressure = nullptr;
    EXPECT_NE(with_water.find("density error 0.60 % mean, 2.00 % max"), std::string::npos)
        << with_water;
}

TEST_F(PlayFixture, ToggleKeysAndTheOverlayText) {
    key('t');
    EXPECT_TRUE(play.realtime);
    EXPECT_EQ(play.graph.realtime, 1);
    key('h');
    EXPECT_TRUE(play.overlay);
    apply_action(play, state, action_for_special_key(1)); // F1
    EXPECT_FALSE(play.overlay);

    key(' ');
    play.step_count = 1234;
    state.timestep = 0.0015f;
    key('2');
    key('c');
    char lines[overlay_max_lines][overlay_line_size];
    const int n = format_overlay(play, state, LiveFigures{}, lines, overlay_max_lines);
    std::string text;
    for (int i = 0; i < n; ++i)
        text += std::string(lines[i]) + "\n";
    for (const char* want :
         {"PAUSED", "step 1234", "time 1.851 s", "seed 77", "threads 1 of 1", "mode 2 sprites",
          "colours density", "radius 13 h", "strength 75", "real time on", "Space", "q or Esc"})
        EXPECT_NE(text.find(want), std::string::npos) << want << " missing from\n" << text;
    // Fewer lines than the text has: cut, never overrun.
    EXPECT_EQ(format_overlay(play, state, LiveFigures{}, lines, 3), 3);
}

TEST_F(PlayFixture, StartKeepsPauseAndOverlayButTakesTheNewSettings) {
    key(' ');
    key('h');
    key(']');
    key('1');
    GraphConfig graph = play.graph;
    graph.render_type = 2;
    graph.realtime = 1;
    PhysConfig phys = play.phys;
    phys.mouse_force = 10.0f;
    start_play(play, graph, phys, nullptr, 5u);
    EXPECT_TRUE(play.paused);
    EXPECT_TRUE(play.overlay);
    EXPECT_TRUE(play.realtime);
    EXPECT_EQ(play.graph.render_type, 2);
    EXPECT_EQ(play.strength_step, 0);
    EXPECT_EQ(play.requests, 0u);
    key(']');
    EXPECT_FLOAT_EQ(play.phys.mouse_force, 12.5f);
}

TEST(Pacing, StepsFollowTheWallClockWithAFloorOfOneAndACap) {
    Pacing p{};
    EXPECT_EQ(paced_steps(p, 15.0, 1.5), 10);
    EXPECT_EQ(p.lag_ms, 0.0);
    // The remainder is carried: 16 ms frames give 10, 11, 10, 11 ... steps of 1.5 ms.
    EXPECT_EQ(paced_steps(p, 16.0, 1.5), 10);
    EXPECT_EQ(paced_steps(p, 16.0, 1.5), 11);
    // Frames faster than a step still move, and build no debt that would stall later frames.
    Pacing fast{};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(paced_steps(fast, 0.5, 1.5), 1);
    EXPECT_EQ(paced_steps(fast, 3.0, 1.5), 2);
    // A stall is not caught up: the cap, and the rest dropped.
    Pacing slow{};
    EXPECT_EQ(paced_steps(slow, 2000.0, 1.5), pacing_max_steps);
    EXPECT_EQ(paced_steps(slow, 15.0, 1.5), 10);
    EXPECT_EQ(paced_steps(slow, 37.5, 1.5), pacing_max_steps); // exactly the cap
    // Steps that cannot be timed, and a clock that ran backwards.
    const double untimed[] = {0.0, -1.5, std::nan(""), INFINITY};
    for (double step : untimed) {
        Pacing q{};
        EXPECT_EQ(paced_steps(q, 16.0, step), 1) << step;
        EXPECT_EQ(q.lag_ms, 0.0);
    }
    Pacing back{};
    EXPECT_EQ(paced_steps(back, -500.0, 1.5), 1);
    EXPECT_EQ(paced_steps(back, 15.0, 1.5), 10);
}

TEST(Pacing, OverManyFramesSimulatedTimeMatchesWallTime) {
    Pacing p{};
    long long steps = 0;
    const double frame = 1000.0 / 60.0;
    for (int i = 0; i < 600; ++i)
        steps += paced_steps(p, frame, 1.5); // ten seconds
    EXPECT_NEAR(static_cast<double>(steps) * 1.5, 10000.0, 1.5);
}

TEST(Seeds, RestartSeedsDoNotRepeatSoon) {
    uint32_t seed = 123;
    std::vector<uint32_t> seen;
    for (int i = 0; i < 2000; ++i) {
        seed = next_seed(seed);
        seen.push_back(seed);
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end());
    EXPECT_NE(next_seed(0), 0u);
}

TEST_F(PlayFixture, StartHintGoesAtAKeyOrWithTimeButNeverTakesAnotherMessage) {
    // Shown, then gone at its time and not a millisecond before.
    show_start_hint(play, 1000);
    EXPECT_STREQ(play.status, start_hint_text);
    expire_start_hint(play, 1000 + start_hint_ms - 1);
    EXPECT_STREQ(play.status, start_hint_text);
    expire_start_hint(play, 1000 + start_hint_ms);
    EXPECT_STREQ(play.status, "");

    // A key ends it at once.
    show_start_hint(play, 0);
    end_start_hint(play);
    EXPECT_STREQ(play.status, "");

    // A message that came after it (a dropped body, a refused scene) is the user's to read: neither
    // the first key nor the hint's time takes it away.
    show_start_hint(play, 0);
    set_status(play, "body dropped; bodies: %d", 3);
    end_start_hint(play);
    expire_start_hint(play, start_hint_ms * 2);
    EXPECT_STREQ(play.status, "body dropped; bodies: 3");

    // A clock about to wrap still counts the hint's seconds forward.
    const int32_t late = INT32_MAX - 10;
    show_start_hint(play, late);
    expire_start_hint(play, late + 5);
    EXPECT_STREQ(play.status, start_hint_text);
    expire_start_hint(play, INT32_MIN + start_hint_ms);
    EXPECT_STREQ(play.status, "");

    // A restart in the hint's seconds starts without it.
    show_start_hint(play, 0);
    start_play(play, play.graph, play.phys, nullptr, 6u);
    expire_start_hint(play, start_hint_ms);
    EXPECT_STREQ(play.status, "");
}

TEST(StartHint, NamesKeysThatDoWhatItSays) {
    // "h: keys   t: real time   p: settings": each key before a colon must do that.
    const Action wanted[] = {Action::overlay, Action::realtime, Action::panel};
    int found = 0;
    for (const char* at = std::strchr(start_hint_text, ':'); at != nullptr;
         at = std::strchr(at + 1, ':')) {
        ASSERT_LT(found, 3) << start_hint_text;
        ASSERT_GT(at, start_hint_text);
        EXPECT_TRUE(at == start_hint_text + 1 || at[-2] == ' ') << "one key before each colon";
        EXPECT_EQ(action_for_key(static_cast<unsigned char>(at[-1])), wanted[found]) << at[-1];
        ++found;
    }
    EXPECT_EQ(found, 3);
}
