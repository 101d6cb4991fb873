#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/options.h"
#include "app/play.h"
#include "stream_text.h"

namespace {

// Parses a command line given as words; output and errors are kept as text.
struct Parsed {
    ParseOutcome outcome;
    ProgramOptions options;
    std::string out, err;
    std::vector<std::string> argv_after;
    std::vector<std::string> glut_args; // copied: the parsed options point into the words
};

Parsed parse(std::vector<std::string> words) {
    words.insert(words.begin(), "/opt/tarnwell/tarnwell");
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(&w[0]);
    argv.push_back(nullptr);
    Parsed p;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    p.outcome =
        parse_program_options(static_cast<int>(words.size()), argv.data(), p.options, out, err);
    p.out = stream_text(out);
    p.err = stream_text(err);
    std::fclose(out);
    std::fclose(err);
    for (size_t i = 0; i < words.size(); ++i)
        p.argv_after.push_back(argv[i]);
    p.glut_args.assign(p.options.glut_args.begin(), p.options.glut_args.end());
    p.options.glut_args.clear();
    return p;
}

} // namespace

TEST(Options, GlutOptionsPassThroughInOrderAndOursAreRead) {
    const Parsed p = parse({"-display", ":5", "--seed", "42", "-iconic", "--frames=10",
                            "--screenshot", "a b.png", "-geometry", "300x300+1+2", "--config",
                            "-my.ini", "--dump", "d.txt", "-sync"});
    ASSERT_EQ(p.outcome, ParseOutcome::run) << p.err;
    EXPECT_EQ(p.glut_args,
              (std::vector<std::string>{"/opt/tarnwell/tarnwell", "-display", ":5", "-iconic",
                                        "-geometry", "300x300+1+2", "-sync"}));
    EXPECT_TRUE(p.options.has_seed);
    EXPECT_EQ(p.options.seed, 42u);
    EXPECT_EQ(p.options.frames, 10);
    EXPECT_EQ(p.options.screenshot_path, "a b.png");
    EXPECT_EQ(p.options.config_path, "-my.ini"); // a value may start with a dash
    EXPECT_EQ(p.options.dump_path, "d.txt");
    EXPECT_EQ(p.err, "");
    // getopt may reorder what it is given; the caller's argv stays as it was.
    EXPECT_EQ(p.argv_after[1], "-display");
    EXPECT_EQ(p.argv_after[3], "--seed");

    // Nothing given: no seed, no frame limit, only the program name for GLUT.
    const Parsed none = parse({});
    ASSERT_EQ(none.outcome, ParseOutcome::run);
    EXPECT_FALSE(none.options.has_seed);
    EXPECT_EQ(none.options.frames, 0);
    EXPECT_EQ(none.glut_args.size(), 1u);
    EXPECT_TRUE(none.options.config_path.empty());
}

TEST(Options, NumbersAtTheirBoundsAndBeyond) {
    struct Case {
        const char* option;
        const char* value;
        bool accepted;
    };
    const Case cases[] = {
        {"--seed", "0", true},
        {"--seed", "4294967295", true},
        {"--seed", "4294967296", false},
        {"--seed", "-1", false},
        {"--seed", "", false},
        {"--seed", " 7", false},
        {"--seed", "7 ", false},
        {"--seed", "0x10", false},
        {"--seed", "99999999999999999999", false},
        {"--frames", "1", true},
        {"--frames", "1000000000", true},
        {"--frames", "0", false},
        {"--frames", "1000000001", false},
        {"--frames", "2.5", false},
        {"--frames", "-5", false},
        {"--screenshot", "", false},
        {"--config", "", false},
        {"--dump", "", false},
        {"--record", "run.gif", true},
        {"--record", "out/RUN.GIF", true}, // the ending in any case
        {"--record", ".gif", true},
        {"--record", "", false},
        {"--record", "run.png", false}, // a GIF is all it writes
        {"--record", "run.gif.bak", false},
        {"--record", "gif", false},
    };
    for (const Case& c : cases) {
        const Parsed p = parse({c.option, c.value});
        if (c.accepted) {
            EXPECT_EQ(p.outcome, ParseOutcome::run) << c.option << " " << c.value << ": " << p.err;
        } else {
            EXPECT_EQ(p.outcome, ParseOutcome::exit_usage) << c.option << " '" << c.value << "'";
            // The message names the option and the value, then the usage follows.
            EXPECT_NE(p.err.find(c.option), std::string::npos) << p.err;
            EXPECT_NE(p.err.find(std::string("'") + c.value + "'"), std::string::npos) << p.err;
            EXPECT_NE(p.err.find("usage: tarnwell"), std::string::npos) << p.err;
            EXPECT_EQ(p.out, "");
        }
    }
    EXPECT_EQ(parse({"--seed", "4294967295"}).options.seed, 4294967295u);
    EXPECT_EQ(parse({"--frames", "1000000000"}).options.frames, max_frames);
    EXPECT_EQ(parse({"--record", "out/RUN.GIF"}).options.record_path, "out/RUN.GIF");
}

TEST(Options, MissingValuesUnknownOptionsAndStrayWords) {
    struct Case {
        std::vector<std::string> words;
        const char* named; // what the message must quote
    };
    const Case cases[] = {
        {{"--seed"}, "'--seed'"},
        {{"--frames", "5", "--screenshot"}, "'--screenshot'"},
        {{"-display"}, "'-display'"}, // GLUT's option without its value
        {{"--bogus"}, "'--bogus'"},
        {{"--seed", "1", "--bogus=3"}, "'--bogus=3'"},
        {{"-s"}, "'-s'"}, // no short forms
        {{"stray"}, "'stray'"},
        {{"--frames", "3", "--", "x"}, "'x'"},
        {{"--help=yes"}, "'--help=yes'"},
        // A prefix of two options is ambiguous, not unknown; control bytes are shown as codes.
        {{"--s", "1"}, "ambiguous option (--scene, --solver, --seed, --screenshot) '--s'"},
        {{"--bo\x1b[2Jgus"}, "'--bo\\x1b[2Jgus'"},
    };
    for (const Case& c : cases) {
        const Parsed p = parse(c.words);
        EXPECT_EQ(p.outcome, ParseOutcome::exit_usage) << c.words[0];
        EXPECT_NE(p.err.find(c.named), std::string::npos) << "want " << c.named << " in\n" << p.err;
    }
    // A unique prefix is the option.
    EXPECT_EQ(parse({"--scr", "a.png"}).options.screenshot_path, "a.png");
    // An earlier failed parse leaves nothing behind for the next one.
    EXPECT_EQ(parse({"--seed", "9"}).options.seed, 9u);
}

TEST(Options, HelpAndVersionAnswerOnStandardOutput) {
    const Parsed help = parse({"--seed", "3", "--help", "--bogus"});
    EXPECT_EQ(help.outcome, ParseOutcome::exit_ok);
    EXPECT_EQ(help.err, "");
    for (const char* want : {"--config", "--seed", "--frames", "--screenshot", "--dump", "--record",
                             "--version", "Space", "F12", "Esc", start_hint_text})
        EXPECT_NE(help.out.find(want), std::string::npos) << want;
    const Parsed version = parse({"--version"});
    EXPECT_EQ(version.outcome, ParseOutcome::exit_ok);
    EXPECT_EQ(version.out, "Tarnwell SPH v 1.09a\n");
}
