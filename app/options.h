#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// What the command line of the window program asks for. GLUT's own options (-display, -geometry,
// ...) are set aside untouched for glutInit.
struct ProgramOptions {
    std::string config_path;   // empty: config.ini beside the program (filled in by main)
    bool config_named = false; // --config given: the file must exist and stay readable
    std::string scene;         // --scene NAME|PATH (empty: the settings file's); "help" lists
    int solver = -1;           // --solver N (-1: the settings file's)
    bool has_seed = false;
    uint32_t seed = 0;
    int64_t frames = 0;           // quit after this many frames; 0: run until closed
    std::string screenshot_path;  // PNG of the last frame drawn, written at quit
    std::string dump_path;        // simulation state as text, written at quit
    std::string record_path;      // animated GIF of the whole run, written as it goes
    std::vector<char*> glut_args; // argv[0], then GLUT's options with their values
};

// The options the program was started with; the shell reads them.
extern ProgramOptions program_options;

enum class ParseOutcome { run, exit_ok, exit_usage };

constexpr int64_t max_frames = 1000000000;

// Reads argv (left unchanged). --help and --version print to `out` and give exit_ok; an unknown
// option, a missing or bad value, or a stray argument prints one line naming it and the usage
// to `err` and gives exit_usage.
ParseOutcome parse_program_options(int argc, char** argv, ProgramOptions& options, std::FILE* out,
                                   std::FILE* err);

// Whole decimal number in [lo, hi]; blanks, signs out of range, trailing text and overflow are
// refused.
bool parse_whole_number(const char* text, long long lo, long long hi, long long* out);

// Whether everything printed on stdout so far reached it (a full disk or a closed pipe loses
// text silently until the flush); says why not on `err`.
bool stdout_written(const char* program, std::FILE* err);
