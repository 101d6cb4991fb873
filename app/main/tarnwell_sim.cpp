// tarnwell-sim: the program's simulation without a window. It loads the same config.ini the
// program reads, applies the same fix-ups and checks, runs a number of physics steps from a
// chosen seed, reports how long the steps took and can write the final state as text.

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <string>

#include "app/options.h"
#include "app/startup.h"
#include "app/state_dump.h"
#include "app/user_settings.h"
#include "base/thread_tuning.h"
#include "base/workers.h"
#include "config/config.h"
#include "config/scene_file.h"
#include "io/output_file.h"
#include "platform/process/process.h"
#include "sph/physics_step.h"
#include "sph/sim_state.h"
#include "sph/stability.h"
#include "sph/steps.h"
#include "surface/surface.h"

namespace {

constexpr long long max_steps = 1000000000LL;
// Per-step timings kept for the medians. Longer runs keep every k-th step so memory stays
// bounded (4 bytes x stage x cap); minimum and maximum still see every step.
constexpr long long timing_sample_cap = 1 << 18;

const char usage_text[] =
    "usage: tarnwell-sim [--config PATH] [--scene NAME|PATH] [--seed N] [--steps N]\n"
    "                    [--dump PATH] [--dump-every K] [--stir X,Y,SIGN] [--surface]\n"
    "                    [--threads N] [--solver N]\n"
    "       tarnwell-sim --print-settings | --print-settings-table\n"
    "       tarnwell-sim --scene help\n";

const char help_text[] =
    "Runs the fluid simulation without a window and reports the time per step.\n"
    "\n"
    "  --config PATH    settings file (default: $XDG_CONFIG_HOME/tarnwell/config.ini,\n"
    "                   ~/.config/tarnwell/config.ini without it, when it exists, else\n"
    "                   config.ini beside this tool; when that file is absent every\n"
    "                   setting takes its default)\n"
    "  --scene NAME|PATH  what is in the box, in place of the scene setting: NAME is\n"
    "                   scenes/NAME.ini beside this tool, anything with a '/' or ending in\n"
    "                   .ini a scene file; --scene help lists the scenes and their lines\n"
    "  --seed N         seed of the random generator, 0..4294967295 (default: the clock);\n"
    "                   the same seed and settings give the same state bit for bit\n"
    "  --steps N        physics steps to run, 0..1000000000 (default 1000)\n"
    "  --dump PATH      after the last step write the whole state as text to PATH (a\n"
    "                   regular file, checked at start; not the settings file):\n"
    "                     # tarnwell-sim state: step=S time=T scene=NAME count=N bodies=B\n"
    "                     p i x y vx vy evx evy inv_density pressure r g b\n"
    "                     b k cx cy angle vx vy w\n"
    "                     s line_vertex_count      (with --surface)\n"
    "                     v x y                    (with --surface, one per line vertex)\n"
    "                   T is the simulated time in seconds, exact to the last bit\n"
    "  --dump-every K   also write the state after every K steps, 1..1000000000 (needs\n"
    "                   --dump): step 300 of --dump out.txt goes to out-000300.txt\n"
    "  --stir X,Y,SIGN  after every step stir at (X, Y) in simulation units; SIGN 1 pulls\n"
    "                   the fluid towards the point, -1 pushes it away\n"
    "  --surface        also rebuild the iso-line outline after every step, on the grid\n"
    "                   the program uses in render mode 1 (surf_radius, surf_resolution)\n"
    "  --solver N       fluid model in place of the solver setting: 0 the particle model,\n"
    "                   1 water that keeps its volume\n"
    "  --threads N      threads of the step and the outline, 0..256, in place of the\n"
    "                   threads setting; 0 is one per core. Every count gives the same state\n"
    "  --print-settings write a settings file with every key at its default and what it\n"
    "                   means (the config.ini beside the program), to start your own from\n"
    "  --print-settings-table  the same as the README's tables of settings (Markdown)\n"
    "  --help           show this text\n"
    "\n"
    "The dump is written to a temporary file beside PATH and renamed over it once complete,\n"
    "so an interrupted or failed run leaves an older dump as it was.\n"
    "\n"
    "Exit status: 0 done, 1 settings refused or the run failed (a file or the report could\n"
    "not be written), 2 bad arguments (also --dump naming the settings file), 3 the\n"
    "simulation blew up (a position or velocity became infinite or NaN; the step and the\n"
    "likely cause are named, no dump is written; those of --dump-every before it stay).\n";

struct Options {
    std::string config_path;
    bool config_named = false; // --config given: the file must exist and be readable
    std::string scene;         // --scene (empty: the settings file's)
    bool has_seed = false;
    uint32_t seed = 0;
    long long steps = 1000;
    std::string dump_path;
    long long dump_every = 0; // 0: only the final dump
    bool stir = false;
    float stir_x = 0.0f;
    float stir_y = 0.0f;
    float stir_sign = 0.0f;
    bool surface = false;
    int threads = -1; // -1: the threads setting
    int solver = -1;  // -1: the solver setting
};

[[noreturn]] void usage_error(const char* what, const char* value) {
    if (value != nullptr) {
        std::fprintf(stderr, "tarnwell-sim: %s: '%s'\n%s", what, printable_text(value).c_str(),
                     usage_text);
    } else {
        std::fprintf(stderr, "tarnwell-sim: %s\n%s", what, usage_text);
    }
    std::exit(2);
}

// Finite float; `end_char` is the character that must follow the number (',' or '\0').
bool parse_float(const char* text, char end_char, float* out, const char** rest) {
    if (text[0] == '\0' || std::isspace(static_cast<unsigned char>(text[0]))) return false;
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || errno != 0 || *end != end_char || !std::isfinite(value) ||
        std::fabs(value) > std::numeric_limits<float>::max()) {
        return false;
    }
    *out = static_cast<float>(value);
    *rest = end;
    return true;
}

bool parse_stir(const char* text, Options* options) {
    const char* rest = text;
    float sign = 0.0f;
    if (!parse_float(rest, ',', &options->stir_x, &rest)) return false;
    if (!parse_float(rest + 1, ',', &options->stir_y, &rest)) return false;
    if (!parse_float(rest + 1, '\0', &sign, &rest)) return false;
    if (sign != 1.0f && sign != -1.0f) return false;
    options->stir_sign = sign;
    return true;
}

Options parse_arguments(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(usage_text, stdout);
            std::fputs(help_text, stdout);
            std::exit(stdout_written("tarnwell-sim", stderr) ? 0 : 1);
        }
        if (std::strcmp(arg, "--print-settings") == 0) {
            std::fputs(default_settings_text().c_str(), stdout);
            std::exit(stdout_written("tarnwell-sim", stderr) ? 0 : 1);
        }
        if (std::strcmp(arg, "--print-settings-table") == 0) {
            std::fputs(settings_markdown().c_str(), stdout);
            std::exit(stdout_written("tarnwell-sim", stderr) ? 0 : 1);
        }
        if (std::strcmp(arg, "--surface") == 0) {
            options.surface = true;
            continue;
        }
        const bool takes_value =
            std::strcmp(arg, "--config") == 0 || std::strcmp(arg, "--scene") == 0 ||
            std::strcmp(arg, "--seed") == 0 || std::strcmp(arg, "--steps") == 0 ||
            std::strcmp(arg, "--dump") == 0 || std::strcmp(arg, "--dump-every") == 0 ||
            std::strcmp(arg, "--stir") == 0 || std::strcmp(arg, "--threads") == 0 ||
            std::strcmp(arg, "--solver") == 0;
        if (!takes_value) usage_error("unknown argument", arg);
        if (i + 1 >= argc) usage_error("missing value after", arg);
        const char* value = argv[++i];
        if (std::strcmp(arg, "--config") == 0) {
            if (value[0] == '\0') usage_error("--config needs a file path, got", value);
            options.config_path = value;
            options.config_named = true;
        } else if (std::strcmp(arg, "--scene") == 0) {
            if (value[0] == '\0')
                usage_error("--scene needs a scene name or a file path, got", value);
            options.scene = value;
        } else if (std::strcmp(arg, "--seed") == 0) {
            long long seed = 0;
            if (!parse_whole_number(value, 0, 4294967295LL, &seed)) {
                usage_error("--seed takes a whole number from 0 to 4294967295, got", value);
            }
            options.has_seed = true;
            options.seed = static_cast<uint32_t>(seed);
        } else if (std::strcmp(arg, "--steps") == 0) {
            if (!parse_whole_number(value, 0, max_steps, &options.steps)) {
                usage_error("--steps takes a whole number from 0 to 1000000000, got", value);
            }
        } else if (std::strcmp(arg, "--solver") == 0) {
            long long solver = 0;
            if (!parse_whole_number(value, 0, 1, &solver))
                usage_error("--solver takes 0 (the particle model) or 1 (water), got", value);
            options.solver = static_cast<int>(solver);
        } else if (std::strcmp(arg, "--threads") == 0) {
            long long threads = 0;
            if (!parse_whole_number(value, 0, 256, &threads)) {
                usage_error("--threads takes a whole number from 0 to 256, got", value);
            }
            options.threads = static_cast<int>(threads);
        } else if (std::strcmp(arg, "--dump-every") == 0) {
            if (!parse_whole_number(value, 1, max_steps, &options.dump_every)) {
                usage_error("--dump-every takes a whole number from 1 to 1000000000, got", value);
            }
        } else if (std::strcmp(arg, "--dump") == 0) {
            if (value[0] == '\0') usage_error("--dump needs a file path, got", value);
            options.dump_path = value;
        } else {
            if (!parse_stir(value, &options)) {
                usage_error("--stir takes X,Y,SIGN with finite X and Y and SIGN 1 or -1, got",
                            value);
            }
            options.stir = true;
        }
    }
    if (options.dump_every != 0 && options.dump_path.empty()) {
        usage_error("--dump-every needs --dump PATH, which names its files", nullptr);
    }
    exe_folder = data_folder(program_folder(argv[0]));
    if (options.scene == "help") {
        print_scene_list(exe_folder, stdout);
        std::exit(stdout_written("tarnwell-sim", stderr) ? 0 : 1);
    }
    // The window program's rule, so that both run on the same settings.
    if (!options.config_named)
        options.config_path = settings_file_to_read(
            user_settings_path(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")), exe_folder);
    // A dump over the settings file would replace the settings it was made from. Later numbered
    // dumps are compared with it as they are written.
    const NamedPath files[] = {
        {"the settings file", options.config_path},
        {"--dump", options.dump_path},
        {"--dump-every", options.dump_every != 0
                             ? numbered_dump_path(options.dump_path, options.dump_every)
                             : std::string()}};
    if (!distinct_files("tarnwell-sim", files, 3, stderr)) std::exit(2);
    return options;
}

// Per-stage step times, sampled into arrays sized once before the run: the whole step, the
// physics step's own stages (step_stages) and the outline.
constexpr int stage_step = 0;
constexpr int first_physics_stage = 1;
constexpr int stage_surface = first_physics_stage + step_stage_count;
constexpr int stage_count = stage_surface + 1;

struct Timings {
    std::unique_ptr<float[]> samples[stage_count];
    long long capacity = 0;
    long long stride = 1;
    long long used = 0;
    double min_step = 0.0;
    double max_step = 0.0;
    long long on_threads[max_threads + 1] = {}; // steps run on each thread count
};

void prepare_timings(Timings* timings, long long steps) {
    timings->stride =
        steps > timing_sample_cap ? (steps + timing_sample_cap - 1) / timing_sample_cap : 1;
    timings->capacity = steps / timings->stride + 1;
    for (auto& s : timings->samples)
        s.reset(new float[static_cast<size_t>(timings->capacity)]);
}

void record_timings(Timings* timings, long long step, int threads,
                    const double (&ms)[stage_count]) {
    ++timings->on_threads[threads];
    if (step == 0 || ms[stage_step] < timings->min_step) timings->min_step = ms[stage_step];
    if (step == 0 || ms[stage_step] > timings->max_step) timings->max_step = ms[stage_step];
    if (step % timings->stride != 0 || timings->used >= timings->capacity) return;
    for (int s = 0; s < stage_count; ++s) {
        timings->samples[s][static_cast<size_t>(timings->used)] = static_cast<float>(ms[s]);
    }
    ++timings->used;
}

double median(float* values, long long n) {
    if (n == 0) return 0.0;
    float* mid = values + n / 2;
    std::nth_element(values, mid, values + n);
    return *mid;
}

void print_timings(Timings* timings, long long steps) {
    if (steps == 0) return;
    const long long n = timings->used;
    std::printf("step time ms: min %.3f  median %.3f  max %.3f  (%lld steps%s)\n",
                timings->min_step, median(timings->samples[stage_step].get(), n), timings->max_step,
                steps, timings->stride > 1 ? ", median over a sample" : "");
    std::printf("median per stage ms:");
    for (int s = first_physics_stage; s < stage_count; ++s) {
        std::printf("%s %s %.3f", s == first_physics_stage ? "" : ",",
                    s == stage_surface ? "surface" : step_stages[s - first_physics_stage].name,
                    median(timings->samples[s].get(), n));
    }
    std::printf("\n");
    if (!pool_tuning()) return;
    std::printf("steps per thread count:");
    const char* separator = "";
    for (int t = max_threads; t >= 1; --t) {
        if (timings->on_threads[t] == 0) continue;
        std::printf("%s %lld on %d", separator, timings->on_threads[t], t);
        separator = ",";
    }
    std::printf("\n");
}

// The dump of step `step` in the series of --dump-every, through the same safe writer as the
// final one. The settings file is checked again here: a series may reach its name late in a run.
bool write_numbered_dump(const Options& options, long long step, const FileIdentity& settings) {
    const std::string path = numbered_dump_path(options.dump_path, step);
    if (same_file(file_identity(path), settings)) {
        std::fprintf(stderr,
                     "tarnwell-sim: the dump of step %lld would replace the settings file '%s'; "
                     "give --dump another name\n",
                     step, printable_text(path.c_str()).c_str());
        return false;
    }
    DumpFile dump;
    return open_dump("tarnwell-sim", path, &dump) && write_dump(&dump, step, options.surface);
}

double ms_since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

int run(const Options& options) {
    GraphConfig file_graph;
    PhysConfig file_phys;
    GraphConfig graph;
    PhysConfig phys;
    WrittenSettings written;
    SettingsRequest request;
    request.threads = options.threads;
    request.solver = options.solver;
    request.outline_used = options.surface;
    request.scene = options.scene.c_str();
    SceneDescription scene;
    if (!read_settings(options.config_path.c_str(), options.config_named, request, &file_graph,
                       &file_phys, &graph, &phys, &written, &scene, stderr)) {
        std::fprintf(stderr,
                     "tarnwell-sim: correct the settings above in '%s' or in the scene (or "
                     "remove them to use the defaults) and run again\n",
                     printable_text(options.config_path.c_str()).c_str());
        return 1;
    }
    const uint32_t seed =
        options.has_seed ? options.seed : static_cast<uint32_t>(std::time(nullptr));
    if (!start_simulation(graph, phys, scene, seed, stderr)) return 1;
    if (options.surface && !create_surface_grid(graph.surf_radius, graph.surf_resolution,
                                                phys.field_size, sim.position, sim.count)) {
        std::fprintf(stderr,
                     "tarnwell-sim: cannot create the surface grid of surf_resolution = %d "
                     "(accepted: 1 to %d): not enough memory\n",
                     graph.surf_resolution, max_surface_resolution);
        sim_free();
        return 1;
    }
    DumpFile dump;
    if ((!options.dump_path.empty() && !open_dump("tarnwell-sim", options.dump_path, &dump)) ||
        (options.dump_every != 0 &&
         !check_output("tarnwell-sim", "the dump",
                       numbered_dump_path(options.dump_path, options.dump_every), stderr))) {
        abandon_dump(&dump);
        release_surface_grid();
        sim_free();
        return 1;
    }
    char threads[64];
    if (pool_tuning()) {
        std::snprintf(threads, sizeof threads, "%d of %d threads (adjusted as it runs)",
                      worker_threads(), pool_threads());
    } else {
        std::snprintf(threads, sizeof threads, "%d threads", worker_threads());
    }
    std::printf("tarnwell-sim: config %s, scene %s, seed %u, %d particles, %d bodies, %s, "
                "%lld steps%s%s\n",
                printable_text(options.config_path.c_str()).c_str(),
                printable_text(scene.name).c_str(), seed, sim.count, sim.geom_count, threads,
                options.steps, options.stir ? ", stirring" : "",
                options.surface ? ", surface" : "");
    std::fflush(stdout);

    Timings timings;
    prepare_timings(&timings, options.steps);
    const bool show_progress = stderr_is_terminal() && options.steps >= 200;
    int shown_percent = -1;
    StepProfile profile{};
    long long blown_at = 0;
    bool numbered_ok = true;
    const FileIdentity settings_file =
        options.dump_every != 0 ? file_identity(options.config_path) : FileIdentity{};
    long long next_numbered = options.dump_every; // never matches without --dump-every
    for (long long step = 0; step < options.steps; ++step) {
        const auto start = std::chrono::steady_clock::now();
        const int step_threads = worker_threads();
        physics_step(&profile);
        tune_pool_after_step(profile.total);
        if (options.stir) apply_mouse_force(options.stir_x, options.stir_y, options.stir_sign);
        double surface_ms = 0.0;
        if (options.surface) {
            const auto surface_start = std::chrono::steady_clock::now();
            update_surface();
            surface_ms = ms_since(surface_start);
        }
        double ms[stage_count];
        ms[stage_step] = ms_since(start);
        for (int k = 0; k < step_stage_count; ++k)
            ms[first_physics_stage + k] = profile.stage_ms[k];
        ms[stage_surface] = surface_ms;
        record_timings(&timings, step, step_threads, ms);
        if (sim.blown_up) {
            blown_at = step + 1;
            break;
        }
        if (show_progress) {
            const int percent = static_cast<int>((step + 1) * 100 / options.steps);
            if (percent != shown_percent) {
                shown_percent = percent;
                std::fprintf(stderr, "\rstep %lld of %lld (%d%%)", step + 1, options.steps,
                             percent);
            }
        }
        if (step + 1 == next_numbered) {
            next_numbered += options.dump_every;
            if (!write_numbered_dump(options, step + 1, settings_file)) {
                numbered_ok = false;
                break;
            }
        }
    }
    if (show_progress) std::fprintf(stderr, "\n");
    if (blown_at != 0) {
        char text[512];
        describe_blow_up(text, sizeof text, blown_at, phys);
        std::fprintf(stderr, "tarnwell-sim: %s. Stopped; no dump written.\n", text);
        abandon_dump(&dump);
        release_surface_grid();
        sim_free();
        return 3;
    }
    if (!numbered_ok) {
        std::fprintf(stderr, "tarnwell-sim: stopped; the final dump is not written.\n");
        abandon_dump(&dump);
        release_surface_grid();
        sim_free();
        return 1;
    }
    print_timings(&timings, options.steps);

    bool ok = true;
    if (dump.file.out != nullptr) ok = write_dump(&dump, options.steps, options.surface);
    release_surface_grid();
    sim_free();
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const Options options = parse_arguments(argc, argv);
    const int status = run(options);
    // The report is the point of a run: losing it (a full disk, a closed terminal) must not
    // look like success.
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fprintf(stderr, "tarnwell-sim: cannot write the report to standard output: %s\n",
                     errno != 0 ? std::strerror(errno) : "write error");
        return status != 0 ? status : 1;
    }
    return status;
}
