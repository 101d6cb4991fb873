#pragma once
// Playing with the running simulation: keys map to actions, actions change plain state. Nothing
// here needs a window, so the same logic serves any front end; work that does (a new mode's GL
// objects, a screenshot, fullscreen, quitting) is left behind as a request for the shell.
#include <cstdint>
#include <cstdio>

#include "config/config.h"
#include "config/scene.h"

struct MouseState;
struct SimState;

enum class Action {
    none,
    pause,
    step,
    restart,
    reload,
    next_scene,
    switch_solver,
    mode_points,
    mode_outline,
    mode_sprites,
    mode_liquid,
    cycle_colours,
    reverse_gravity,
    drop_body, // the shell drops it at the pointer (drop_body_from_key, app/tools.h)
    radius_up,
    radius_down,
    strength_down,
    strength_up,
    realtime,
    save_settings,
    panel,
    screenshot,
    record, // starts or stops a recording to a new GIF
    overlay,
    fullscreen,
    quit,
};

// Bits of PlayState::requests.
constexpr uint32_t request_restart = 1u << 0;
constexpr uint32_t request_reload = 1u << 1;
constexpr uint32_t request_mode = 1u << 2;    // switch to graph.render_type
constexpr uint32_t request_colours = 1u << 3; // switch to graph.point_colors
constexpr uint32_t request_screenshot = 1u << 4;
constexpr uint32_t request_fullscreen = 1u << 5;
constexpr uint32_t request_quit = 1u << 6;
constexpr uint32_t request_next_scene = 1u << 7;
constexpr uint32_t request_save = 1u << 8;    // the settings, to the user's file (w)
constexpr uint32_t request_panel = 1u << 9;   // show or hide the settings panel (p)
constexpr uint32_t request_record = 1u << 10; // start or stop the key's recording

constexpr int status_text_size = 160;
constexpr int overlay_line_size = 96;
constexpr int overlay_max_lines = 38;

// Stirring bounds: the radius in whole steps of h, the strength in steps of 25 % either way of
// the file's value.
constexpr float stir_radius_min = 1.0f;
constexpr float stir_radius_max = 100.0f;
constexpr int32_t stir_strength_steps = 12;

// Written by the key handling and the shell; read by the frame driver and the overlay.
struct PlayState {
    // The settings as chosen: the file's, changed by the keys (mode, colours, stirring). Restarts
    // start from these; graph_config and phys_config hold them after the start-up fix-ups.
    GraphConfig graph;
    PhysConfig phys;
    // graph and phys as they were read, before any key changed them: what the user changed is
    // what differs (app/user_settings.h).
    GraphConfig read_graph;
    PhysConfig read_phys;
    float file_mouse_force; // strength_step scales it: mouse_force = file * 1.25^step
    int32_t strength_step;
    bool paused;
    int32_t pending_steps; // single steps asked for while paused, run by the next frame
    bool overlay;
    bool realtime;
    uint32_t seed;      // of the running simulation
    int64_t step_count; // steps since the last start
    uint32_t requests;
    int32_t screenshots_wanted;    // presses of s not yet served (request_screenshot while > 0)
    char status[status_text_size]; // one line shown over the picture while non-empty
    WrittenSettings written;       // the texts the file's settings were read from, for refusals
    // The scene chosen by --scene or the e key, in place of the settings file's (empty: the
    // file's); restarts and reloads keep it.
    char scene_choice[setting_text_size];
    SceneDescription scene; // the chosen scene's description, as restarts seed it
    int solver_choice = -1; // --solver or the v key, in place of the file's (-1: the file's)
    // While the start hint holds the status line: the frame time at which it goes by itself.
    bool start_hint;
    int32_t start_hint_until_ms;
};

extern PlayState play_state;

// The state at start: the file's settings (before the fix-ups) and scene, nothing pressed.
// `written`, the texts they were read from, may be null when they are not known; `scene` may be
// null for the box. The scene chosen (scene_choice) stays as it was.
void start_play(PlayState& play, const GraphConfig& graph, const PhysConfig& phys,
                const WrittenSettings* written, uint32_t seed,
                const SceneDescription* scene = nullptr);

Action action_for_key(unsigned char key);
// GLUT special keys: F1 (1) and F12 (12).
Action action_for_special_key(int key);
// Wheel steps arrive as presses of buttons 3 (up) and 4 (down).
Action action_for_wheel(int button, int button_state);

// Applies an action: plain state changes at once (pause, gravity, stirring, pacing, overlay),
// the rest become requests.
void apply_action(PlayState& play, SimState& state, Action action);

// The seed of the next restart, reproducible from the last one.
uint32_t next_seed(uint32_t seed);

// One step of the fluid as a frame runs it: the physics pipeline, then the stirring of the held
// buttons. The first position or velocity that is no longer finite pauses the play for good
// (until a restart): the message goes to stderr and to the status line, and no further step
// runs, since each would only spread NaN.
void advance_one_step(PlayState& play, const MouseState& mouse);
// The blow-up message of the running simulation; empty while it has not blown up.
const char* blow_up_message();

// Real-time pacing: wall time not yet simulated, in milliseconds.
struct Pacing {
    double lag_ms;
};
constexpr int pacing_max_steps = 25;
constexpr int32_t pacing_max_physics_ms = 40;
// Steps for a frame that came frame_ms after the last one, each step simulating step_ms: as
// many as catch up with the wall clock, at least one, at most pacing_max_steps. Time beyond the
// cap is dropped, so a slow machine shows slow motion instead of falling ever further behind.
int paced_steps(Pacing& pacing, double frame_ms, double step_ms);

void set_status(PlayState& play, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Newcomers otherwise watch one step a frame, slow motion on most machines, with no idea that
// keys exist: the status line names the three that matter for the first seconds of a start.
constexpr char start_hint_text[] = "h: keys   t: real time   p: settings";
constexpr int32_t start_hint_ms = 6000;
// Puts the hint on the status line until start_hint_ms after now_ms.
void show_start_hint(PlayState& play, int32_t now_ms);
// Takes the hint off the status line at a key press, or each frame once its time has come. A
// message that has taken its place stays.
void end_start_hint(PlayState& play);
void expire_start_hint(PlayState& play, int32_t now_ms);

const char* render_mode_name(int32_t mode);
const char* colour_scheme_name(int32_t scheme);

// The keys, one per line, as --help and the README list them.
void print_key_help(std::FILE* out);
struct LiveFigures;
// The overlay: the keys, then the live state, with the figures of the last second (frames,
// simulated time per wall second, each stage's milliseconds per step) once they are known.
// Returns the number of lines written.
int format_overlay(const PlayState& play, const SimState& state, const LiveFigures& live,
                   char (*lines)[overlay_line_size], int max_lines);
