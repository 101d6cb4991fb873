#include "app/options.h"

#include <getopt.h>
#include <strings.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/play.h"
#include "app/startup.h"
#include "base/printable_text.h"

ProgramOptions program_options;

namespace {

const char usage_text[] =
    "usage: tarnwell [--config PATH] [--scene NAME|PATH] [--solver N] [--seed N] [--frames N]\n"
    "                [--screenshot PATH] [--dump PATH] [--record PATH.gif]\n"
    "                [GLUT options such as -display NAME, -geometry WxH+X+Y]\n";

const char options_text[] =
    "An interactive 2D fluid toy: stir the fluid with the mouse, play with the keys below.\n"
    "\n"
    "  --config PATH      settings file, where w also saves (default: your own,\n"
    "                     $XDG_CONFIG_HOME/tarnwell/config.ini or ~/.config/tarnwell/\n"
    "                     config.ini, when it exists, else config.ini beside the program;\n"
    "                     when that file is absent every setting takes its default)\n"
    "  --scene NAME|PATH  what is in the box, in place of the scene setting: NAME is\n"
    "                     scenes/NAME.ini beside the program, anything with a '/' or\n"
    "                     ending in .ini a scene file; --scene help lists the scenes\n"
    "  --solver N         fluid model in place of the solver setting: 0 the particle model,\n"
    "                     1 water that keeps its volume (m switches while running)\n"
    "  --seed N           seed of the random generator, 0..4294967295 (default: the clock);\n"
    "                     the same seed and settings give the same frames\n"
    "  --frames N         quit after N frames, 1..1000000000\n"
    "  --screenshot PATH  save the last frame drawn as PNG when quitting (windows up to\n"
    "                     8192 x 8192 pixels)\n"
    "  --dump PATH        write the simulation state as text when quitting (the format of\n"
    "                     tarnwell-sim --dump)\n"
    "  --record PATH.gif  record the run as an animated GIF: every record_every-th frame,\n"
    "                     at most record_size pixels a side, 25 frames a second (see\n"
    "                     config.ini); the v key records to a new tarnwell-*.gif instead\n"
    "                     The PATHs are checked at start: a folder, device or pipe, a file\n"
    "                     you may not write, or the settings file is refused, and an older\n"
    "                     file stays whole until the new one is complete\n"
    "  --help             show this text\n"
    "  --version          show the program's name and version\n"
    "\n"
    "Start with these keys (without t the fluid moves one step a frame, slow motion on most\n"
    "machines; the window says the same for its first seconds):\n"
    "  %s\n"
    "\n"
    "Mouse: hold left to pull the fluid, right to push it, middle to float (release reverses\n"
    "gravity); the wheel changes the stirring radius. With Shift or Ctrl held the buttons\n"
    "change the scene instead (below).\n"
    "\n"
    "Keys:\n";

const char exit_text[] =
    "\nExit status: 0 done, 1 settings refused or not readable, or a file asked for could not\n"
    "be written, 2 bad arguments (also two options naming the same file), 3 the simulation\n"
    "blew up (a position or velocity became infinite or NaN; the step and the likely cause\n"
    "are named, no dump is written).\n";

// GLUT's own options and whether each takes a value; they go to glutInit as they are.
struct GlutOption {
    const char* name;
    bool takes_value;
};
constexpr GlutOption glut_options[] = {
    {"-display", true}, {"-geometry", true}, {"-direct", false}, {"-indirect", false},
    {"-iconic", false}, {"-gldebug", false}, {"-sync", false},
};

const GlutOption* glut_option(const char* arg) {
    for (const GlutOption& o : glut_options)
        if (std::strcmp(arg, o.name) == 0) return &o;
    return nullptr;
}

enum OptionId {
    opt_config = 1,
    opt_scene,
    opt_solver,
    opt_seed,
    opt_frames,
    opt_screenshot,
    opt_record,
    opt_dump,
    opt_help,
    opt_version
};

const option long_options[] = {
    {"config", required_argument, nullptr, opt_config},
    {"scene", required_argument, nullptr, opt_scene},
    {"solver", required_argument, nullptr, opt_solver},
    {"seed", required_argument, nullptr, opt_seed},
    {"frames", required_argument, nullptr, opt_frames},
    {"screenshot", required_argument, nullptr, opt_screenshot},
    {"record", required_argument, nullptr, opt_record},
    {"dump", required_argument, nullptr, opt_dump},
    {"help", no_argument, nullptr, opt_help},
    {"version", no_argument, nullptr, opt_version},
    {nullptr, 0, nullptr, 0},
};

// The long options that `written` ("--s", "--scr=x") is a prefix of, as "--seed, --screenshot".
std::string long_options_starting(const char* written) {
    if (std::strncmp(written, "--", 2) != 0) return std::string();
    const char* name = written + 2;
    const std::size_t length = std::strcspn(name, "=");
    std::string found;
    for (const option* o = long_options; o->name != nullptr; ++o) {
        if (length == 0 || std::strncmp(o->name, name, length) != 0) continue;
        if (!found.empty()) found += ", ";
        found += std::string("--") + o->name;
    }
    return found;
}

ParseOutcome usage_error(std::FILE* err, const char* what, const char* value) {
    if (value != nullptr)
        std::fprintf(err, "tarnwell: %s '%s'\n%s", what, printable_text(value).c_str(), usage_text);
    else
        std::fprintf(err, "tarnwell: %s\n%s", what, usage_text);
    return ParseOutcome::exit_usage;
}

} // namespace

bool parse_whole_number(const char* text, long long lo, long long hi, long long* out) {
    if (text[0] == '\0' || std::isspace(static_cast<unsigned char>(text[0]))) return false;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < lo || value > hi) return false;
    *out = value;
    return true;
}

ParseOutcome parse_program_options(int argc, char** argv, ProgramOptions& options, std::FILE* out,
                                   std::FILE* err) {
    options = ProgramOptions{};
    // GLUT's options first, so that getopt never sees "-display" as a bundle of short options.
    std::vector<char*> own;
    own.push_back(argc > 0 ? argv[0] : const_cast<char*>("tarnwell"));
    options.glut_args.push_back(own[0]);
    for (int i = 1; i < argc; ++i) {
        const GlutOption* g = glut_option(argv[i]);
        if (g == nullptr) {
            own.push_back(argv[i]);
            continue;
        }
        if (g->takes_value && i + 1 >= argc)
            return usage_error(err, "missing value after", argv[i]);
        options.glut_args.push_back(argv[i]);
        if (g->takes_value) options.glut_args.push_back(argv[++i]);
    }
    own.push_back(nullptr);

    // getopt keeps its place in globals: start afresh and report errors ourselves. "+" stops at
    // the first stray argument instead of moving it to the end, so own[previous] is always the
    // option being read.
    optind = 0;
    opterr = 0;
    const int own_count = static_cast<int>(own.size()) - 1;
    for (;;) {
        const int previous = optind == 0 ? 1 : optind;
        const int id = getopt_long(own_count, own.data(), "+:", long_options, nullptr);
        if (id == -1) break;
        const char* arg = optarg;
        // The option as written, for the messages (optind has moved past it and its value).
        const char* written = own[previous < own_count ? previous : own_count - 1];
        long long number = 0;
        switch (id) {
        case opt_config:
            if (arg[0] == '\0') return usage_error(err, "--config needs a file path, got", arg);
            options.config_path = arg;
            options.config_named = true;
            break;
        case opt_scene:
            if (arg[0] == '\0')
                return usage_error(err, "--scene needs a scene name or a file path, got", arg);
            options.scene = arg;
            break;
        case opt_solver:
            if (!parse_whole_number(arg, 0, 1, &number))
                return usage_error(err, "--solver takes 0 (the particle model) or 1 (water), got",
                                   arg);
            options.solver = static_cast<int>(number);
            break;
        case opt_seed:
            if (!parse_whole_number(arg, 0, 4294967295LL, &number))
                return usage_error(err, "--seed takes a whole number from 0 to 4294967295, got",
                                   arg);
            options.has_seed = true;
            options.seed = static_cast<uint32_t>(number);
            break;
        case opt_frames:
            if (!parse_whole_number(arg, 1, max_frames, &number))
                return usage_error(err, "--frames takes a whole number from 1 to 1000000000, got",
                                   arg);
            options.frames = number;
            break;
        case opt_screenshot:
            if (arg[0] == '\0') return usage_error(err, "--screenshot needs a file path, got", arg);
            options.screenshot_path = arg;
            break;
        case opt_record: {
            const size_t length = std::strlen(arg);
            if (length < 4 || strcasecmp(arg + length - 4, ".gif") != 0)
                return usage_error(
                    err, "--record writes an animated GIF: give a path ending in .gif, got", arg);
            options.record_path = arg;
            break;
        }
        case opt_dump:
            if (arg[0] == '\0') return usage_error(err, "--dump needs a file path, got", arg);
            options.dump_path = arg;
            break;
        case opt_help:
            std::fputs(usage_text, out);
            std::fprintf(out, options_text, start_hint_text);
            print_key_help(out);
            std::fputs(exit_text, out);
            return ParseOutcome::exit_ok;
        case opt_version:
            std::fprintf(out, "%s\n", program_title);
            return ParseOutcome::exit_ok;
        case ':':
            return usage_error(err, "missing value after", written);
        default: {
            // getopt takes any unique prefix (--scr); a prefix of several is not unknown.
            const std::string candidates = long_options_starting(written);
            if (candidates.find(',') != std::string::npos) {
                const std::string what = "ambiguous option (" + candidates + ")";
                return usage_error(err, what.c_str(), written);
            }
            return usage_error(err, "unknown option", written);
        }
        }
    }
    if (optind < own_count) return usage_error(err, "unexpected argument", own[optind]);
    return ParseOutcome::run;
}

bool stdout_written(const char* program, std::FILE* err) {
    errno = 0;
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return true;
    std::fprintf(err, "%s: cannot write to standard output: %s\n", program,
                 errno != 0 ? std::strerror(errno) : "write error");
    return false;
}
