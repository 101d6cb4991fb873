#include "app/play.h"

#include <cmath>
#include <cstdarg>
#include <cstring>

#include "app/frame_stats.h"
#include "app/input.h"
#include "base/thread_tuning.h"
#include "base/workers.h"
#include "config/config.h"
#include "sph/physics_step.h"
#include "sph/sim_state.h"
#include "sph/stability.h"
#include "sph/steps.h"
#include "sph/water.h"

PlayState play_state;

namespace {

struct KeyHelp {
    const char* keys;
    const char* what;
};
// Short enough for the overlay of a 400-pixel window (40 characters of 8 pixels).
const KeyHelp key_help[] = {
    {"Space", "pause / resume"},
    {"n or .", "one step while paused"},
    {"r", "restart with a new seed"},
    {"l / w", "reload / save settings"},
    {"p", "settings panel"},
    {"e", "next scene, restart"},
    {"m", "model: particles / water"},
    {"0 1 2 3", "points / outline / sprites /"},
    {"", "liquid"},
    {"c", "colours: white, gradient,"},
    {"", "density, speed, compression"},
    {"g", "reverse gravity"},
    {"b", "drop a body at the pointer"},
    {"+ - wheel", "stirring radius up / down"},
    {"[ ]", "stirring strength - / +"},
    {"t", "real-time pacing on / off"},
    {"s or F12", "save a screenshot (PNG)"},
    {"v", "record a GIF: start / stop"},
    {"h or F1", "this help and live state"},
    {"f", "fullscreen on / off"},
    {"q or Esc", "quit"},
};

const KeyHelp mouse_tool_help[] = {
    {"Shift+left", "drag: draw a fixed obstacle along the path"},
    {"Shift+right", "click or drag: erase the obstacles under the pointer"},
    {"Ctrl+left", "drag: carry the body under the pointer; it falls when let go"},
};

constexpr unsigned char key_escape = 27;
constexpr int special_f1 = 1;
constexpr int special_f12 = 12;
constexpr int wheel_up = 3;
constexpr int wheel_down = 4;

void set_mouse_force(PlayState& play, SimState& state) {
    // From the file's value each time, so that stepping up and back down returns it exactly.
    const double scale = std::pow(1.25, play.strength_step);
    play.phys.mouse_force = static_cast<float>(static_cast<double>(play.file_mouse_force) * scale);
    state.mouse_force = play.phys.mouse_force;
}

void set_mouse_radius(PlayState& play, SimState& state, float radius) {
    if (radius < stir_radius_min) radius = stir_radius_min;
    if (radius > stir_radius_max) radius = stir_radius_max;
    play.phys.mouse_radius = radius;
    state.mouse_radius = radius;
}

} // namespace

void start_play(PlayState& play, const GraphConfig& graph, const PhysConfig& phys,
                const WrittenSettings* written, uint32_t seed, const SceneDescription* scene) {
    const bool overlay = play.overlay; // the overlay stays as the user left it across reloads
    const bool paused = play.paused;
    // `written` and `scene` may be play's own (they are loaded in place): copied aside first.
    const WrittenSettings texts = written != nullptr ? *written : WrittenSettings{};
    const SceneDescription description = scene != nullptr ? *scene : default_scene();
    char choice[sizeof play.scene_choice];
    std::memcpy(choice, play.scene_choice, sizeof choice);
    const int solver_choice = play.solver_choice;
    play = PlayState{};
    std::memcpy(play.scene_choice, choice, sizeof choice);
    play.solver_choice = solver_choice;
    play.scene = description;
    play.written = texts;
    play.graph = graph;
    play.phys = phys;
    play.read_graph = graph;
    play.read_phys = phys;
    play.file_mouse_force = phys.mouse_force;
    play.realtime = graph.realtime != 0;
    play.overlay = overlay;
    play.paused = paused;
    play.seed = seed;
}

Action action_for_key(unsigned char key) {
    switch (key) {
    case ' ':
        return Action::pause;
    case 'n':
    case '.':
        return Action::step;
    case 'r':
        return Action::restart;
    case 'l':
        return Action::reload;
    case 'e':
        return Action::next_scene;
    case 'm':
        return Action::switch_solver;
    case '0':
        return Action::mode_points;
    case '1':
        return Action::mode_outline;
    case '2':
        return Action::mode_sprites;
    case '3':
        return Action::mode_liquid;
    case 'c':
        return Action::cycle_colours;
    case 'g':
        return Action::reverse_gravity;
    case 'b':
        return Action::drop_body;
    case '+':
    case '=':
        return Action::radius_up; // '=' is '+' without shift on most layouts
    case '-':
        return Action::radius_down;
    case '[':
        return Action::strength_down;
    case ']':
        return Action::strength_up;
    case 't':
        return Action::realtime;
    case 'w':
        return Action::save_settings;
    case 'p':
        return Action::panel;
    case 's':
        return Action::screenshot;
    case 'v':
        return Action::record;
    case 'h':
        return Action::overlay;
    case 'f':
        return Action::fullscreen;
    case 'q':
    case key_escape:
        return Action::quit;
    default:
        return Action::none;
    }
}

Action action_for_special_key(int key) {
    if (key == special_f1) return Action::overlay;
    if (key == special_f12) return Action::screenshot;
    return Action::none;
}

Action action_for_wheel(int button, int button_state) {
    if (button_state != button_pressed) return Action::none; // each notch also sends a release
    if (button == wheel_up) return Action::radius_up;
    if (button == wheel_down) return Action::radius_down;
    return Action::none;
}

void apply_action(PlayState& play, SimState& state, Action action) {
    switch (action) {
    case Action::none:
        break;
    case Action::pause:
        play.paused = !play.paused;
        play.pending_steps = 0;
        break;
    case Action::step:
        // Queued rather than run here: the frame driver steps, so stepping stays in one place.
        if (play.paused && play.pending_steps < 1000) play.pending_steps += 1;
        break;
    case Action::restart:
        play.requests |= request_restart;
        break;
    case Action::reload:
        play.requests |= request_reload;
        break;
    case Action::next_scene:
        play.requests |= request_next_scene;
        break;
    case Action::switch_solver:
        // The other fluid model, from the settings file again, in the same scene.
        play.solver_choice =
            (play.solver_choice >= 0 ? play.solver_choice : play.phys.solver) == 1 ? 0 : 1;
        play.requests |= request_reload;
        break;
    case Action::mode_points:
    case Action::mode_outline:
    case Action::mode_sprites:
    case Action::mode_liquid:
        play.graph.render_type = action == Action::mode_points    ? 0
                                 : action == Action::mode_outline ? 1
                                 : action == Action::mode_sprites ? 2
                                                                  : 3;
        play.requests |= request_mode;
        break;
    case Action::cycle_colours:
        play.graph.point_colors = play.graph.point_colors >= 0 && play.graph.point_colors < 4
                                      ? play.graph.point_colors + 1
                                      : 0;
        play.requests |= request_colours;
        break;
    case Action::reverse_gravity:
        // What a middle-button release does, so the two can be mixed freely.
        state.toggled_gravity = -state.toggled_gravity;
        state.current_gravity = state.toggled_gravity;
        break;
    case Action::drop_body:
        break;
    case Action::radius_up:
        set_mouse_radius(play, state, std::floor(play.phys.mouse_radius) + 1.0f);
        break;
    case Action::radius_down:
        set_mouse_radius(play, state, std::ceil(play.phys.mouse_radius) - 1.0f);
        break;
    case Action::strength_down:
        if (play.strength_step > -stir_strength_steps) play.strength_step -= 1;
        set_mouse_force(play, state);
        break;
    case Action::strength_up:
        if (play.strength_step < stir_strength_steps) play.strength_step += 1;
        set_mouse_force(play, state);
        break;
    case Action::realtime:
        play.realtime = !play.realtime;
        play.graph.realtime = play.realtime ? 1 : 0;
        break;
    case Action::save_settings:
        play.requests |= request_save;
        break;
    case Action::panel:
        play.requests |= request_panel;
        break;
    case Action::screenshot:
        play.requests |= request_screenshot;
        if (play.screenshots_wanted < 8) ++play.screenshots_wanted;
        break;
    case Action::record:
        play.requests |= request_record;
        break;
    case Action::overlay:
        play.overlay = !play.overlay;
        break;
    case Action::fullscreen:
        play.requests |= request_fullscreen;
        break;
    case Action::quit:
        play.requests |= request_quit;
        break;
    }
}

uint32_t next_seed(uint32_t seed) {
    // Another generator than the simulation's, so that a restart does not replay a shifted copy
    // of the particle draws; full period over 32 bits, so no seed repeats before 2^32 restarts.
    return seed * 1664525u + 1013904223u;
}

namespace {
char blow_up_text[512]; // empty until the running simulation blows up
} // namespace

const char* blow_up_message() {
    return sim.blown_up ? blow_up_text : "";
}

void advance_one_step(PlayState& play, const MouseState& mouse) {
    if (sim.blown_up) return;
    StepProfile profile;
    physics_step(&profile);
    tune_pool_after_step(profile.total);
    add_step(frame_stats.steps, profile, static_cast<double>(sim.timestep));
    if (sim.blown_up) {
        play.step_count += 1;
        play.paused = true;
        play.pending_steps = 0;
        describe_blow_up(blow_up_text, sizeof blow_up_text, play.step_count, phys_config);
        std::fprintf(stderr, "%s. The simulation is paused; the window keeps showing it.\n",
                     blow_up_text);
        std::fflush(stderr);
        Instability causes[max_instabilities];
        const int found = find_instabilities(phys_config, causes);
        set_status(play, "Blew up at step %lld%s%s%s; paused, r restarts",
                   static_cast<long long>(play.step_count), found > 0 ? " (likely cause: " : "",
                   found > 0 ? causes[0].key : "", found > 0 ? ")" : "");
        return;
    }
    float signs[2];
    const int stirs = stirring_signs(mouse, signs);
    for (int i = 0; i < stirs; ++i)
        apply_mouse_force(mouse.pointer.x, mouse.pointer.y, signs[i]);
    play.step_count += 1;
}

int paced_steps(Pacing& pacing, double frame_ms, double step_ms) {
    if (!(frame_ms > 0.0)) frame_ms = 0.0; // a clock that stood still or went back
    // A step of no (or no finite) duration cannot be paced: one step a frame, as without pacing.
    if (!(step_ms > 0.0) || !std::isfinite(step_ms)) {
        pacing.lag_ms = 0.0;
        return 1;
    }
    pacing.lag_ms += frame_ms;
    const double due = std::floor(pacing.lag_ms / step_ms);
    if (due >= pacing_max_steps) {
        pacing.lag_ms = 0.0;
        return pacing_max_steps;
    }
    if (due < 1.0) {
        // Faster frames than steps: still one step, and no debt that could never be repaid.
        pacing.lag_ms = 0.0;
        return 1;
    }
    pacing.lag_ms -= due * step_ms;
    return static_cast<int>(due);
}

void set_status(PlayState& play, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(play.status, sizeof play.status, format, args);
    va_end(args);
    play.start_hint = false; // whatever said this replaced the hint
}

void show_start_hint(PlayState& play, int32_t now_ms) {
    set_status(play, "%s", start_hint_text);
    play.start_hint = true;
    play.start_hint_until_ms =
        static_cast<int32_t>(static_cast<uint32_t>(now_ms) + static_cast<uint32_t>(start_hint_ms));
}

void end_start_hint(PlayState& play) {
    if (!play.start_hint) return;
    play.start_hint = false;
    play.status[0] = '\0';
}

void expire_start_hint(PlayState& play, int32_t now_ms) {
    // The difference, not the times, so that a clock that wraps still counts forward.
    const auto late = static_cast<int32_t>(static_cast<uint32_t>(now_ms) -
                                           static_cast<uint32_t>(play.start_hint_until_ms));
    if (play.start_hint && late >= 0) end_start_hint(play);
}

const char* render_mode_name(int32_t mode) {
    switch (mode) {
    case 0:
        return "points";
    case 1:
        return "outline";
    case 2:
        return "sprites";
    case 3:
        return "liquid";
    default:
        return "none";
    }
}

const char* colour_scheme_name(int32_t scheme) {
    switch (scheme) {
    case 0:
        return "white";
    case 1:
        return "gradient";
    case 2:
        return "density";
    case 3:
        return "speed";
    case 4:
        return "compression";
    default:
        return "white";
    }
}

void print_key_help(std::FILE* out) {
    for (const KeyHelp& k : key_help)
        std::fprintf(out, "  %-10s %s\n", k.keys, k.what);
    // Not in the overlay, which has no room left for them.
    std::fputs("\nMouse with a key held:\n", out);
    for (const KeyHelp& k : mouse_tool_help)
        std::fprintf(out, "  %-12s %s\n", k.keys, k.what);
}

namespace {
// Short enough for the overlay of a 400-pixel window, like the key help.
constexpr int overlay_wrap = 40;

// Appends `item` to the list in the lines from lines[*n] (each indented by two blanks), starting
// a new line when it would pass the wrap.
void add_wrapped(char (*lines)[overlay_line_size], int* n, int max_lines, const char* item) {
    const size_t length = std::strlen(item);
    if (*n > 0 && lines[*n - 1][0] == ' ') {
        char* last = lines[*n - 1];
        const size_t used = std::strlen(last);
        if (used > 0 && used + 2 + length <= static_cast<size_t>(overlay_wrap)) {
            std::snprintf(last + used, overlay_line_size - used, ", %.40s", item);
            return;
        }
        if (*n >= max_lines) return;
        if (used > 0 && used + 1 < static_cast<size_t>(overlay_line_size)) {
            last[used] = ',';
            last[used + 1] = '\0';
        }
    }
    if (*n >= max_lines) return;
    std::snprintf(lines[(*n)++], overlay_line_size, "  %.80s", item);
}
} // namespace

int format_overlay(const PlayState& play, const SimState& state, const LiveFigures& figures,
                   char (*lines)[overlay_line_size], int max_lines) {
    int n = 0;
    for (const KeyHelp& k : key_help) {
        if (n >= max_lines) return n;
        std::snprintf(lines[n++], overlay_line_size, "%-10s %s", k.keys, k.what);
    }
    const double seconds =
        static_cast<double>(play.step_count) * static_cast<double>(state.timestep);
    char live[8][overlay_line_size];
    std::snprintf(live[0], overlay_line_size, "%s  step %lld  time %.3f s",
                  play.paused ? "PAUSED" : "running", static_cast<long long>(play.step_count),
                  seconds);
    // The count the steps use now, which threads=0 adjusts as the machine gets busier or freer.
    std::snprintf(live[1], overlay_line_size, "seed %u  threads %d of %d", play.seed,
                  worker_threads(), pool_threads());
    std::snprintf(live[2], overlay_line_size, "mode %d %s  colours %s", play.graph.render_type,
                  render_mode_name(play.graph.render_type),
                  colour_scheme_name(play.graph.point_colors));
    std::snprintf(live[3], overlay_line_size, "stirring radius %g h  strength %g",
                  static_cast<double>(state.mouse_radius), static_cast<double>(state.mouse_force));
    std::snprintf(live[4], overlay_line_size, "real time %s", play.realtime ? "on" : "off");
    std::snprintf(live[5], overlay_line_size, "scene %s", play.scene.name);
    std::snprintf(live[6], overlay_line_size, "%d particles", state.count);
    int live_count = 7;
    if (water.on) {
        // How well the water keeps its volume, as of the last step.
        const CompressionError e = compression_error(state);
        std::snprintf(live[live_count++], overlay_line_size,
                      "density error %.2f %% mean, %.2f %% max",
                      100.0 * static_cast<double>(e.mean), 100.0 * static_cast<double>(e.largest));
    }
    if (n < max_lines) lines[n++][0] = '\0';
    for (int k = 0; k < live_count; ++k) {
        if (n >= max_lines) return n;
        std::memcpy(lines[n++], live[k], overlay_line_size);
    }
    if (!figures.known) return n;
    if (n < max_lines)
        std::snprintf(lines[n++], overlay_line_size, "%d fps  simulated x%.3f of wall time",
                      figures.fps, figures.simulated_per_wall);
    if (n < max_lines)
        std::snprintf(lines[n++], overlay_line_size, "%d steps  %.3f ms a step:", figures.steps,
                      figures.step_ms);
    for (int k = 0; k < step_stage_count; ++k) {
        char item[overlay_line_size];
        std::snprintf(item, sizeof item, "%s %.3f", step_stages[k].name, figures.stage_ms[k]);
        add_wrapped(lines, &n, max_lines, item);
    }
    return n;
}
