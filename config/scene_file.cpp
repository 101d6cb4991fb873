// The [scene] section of a scene file. Every line is checked in full before anything of it is
// kept, and every refused line is reported, so that one run of the program names every mistake
// of a file. The limits are the ones the README's table of scene keys gives.
#include "config/scene_file.h"

#include <dirent.h>
#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/printable_text.h"
#include "config/config.h"
#include "io/small_file.h"

SceneDescription default_scene() {
    SceneDescription scene;
    std::memset(&scene, 0, sizeof scene);
    std::snprintf(scene.name, sizeof scene.name, "%s", default_scene_name);
    scene.spacing = 0.5f;
    return scene;
}

namespace {

constexpr float spacing_min = 0.2f;
constexpr float spacing_max = 5.0f;
constexpr float angle_limit = 360.0f;
constexpr float density_max = 100.0f;
constexpr float corner_min = -0.5f; // obstacles may reach out of the box, to close a corner
constexpr float corner_max = 1.5f;
constexpr float amplitude_max = 0.5f;
constexpr float period_max = 3600.0f;
constexpr float speed_max = 100.0f;
constexpr float rate_max = 100000.0f;
constexpr std::size_t quoted_line_length = 120; // characters of a refused line that are quoted

// One number of a key's value: its name in messages and the values it may take.
struct Bound {
    const char* name;
    float lo;
    float hi;
    bool above; // lo itself is refused
};
constexpr Bound fraction(const char* name) {
    return Bound{name, 0.0f, 1.0f, false};
}
constexpr Bound angle(const char* name) {
    return Bound{name, -angle_limit, angle_limit, false};
}
constexpr Bound size(const char* name) {
    return Bound{name, 0.0f, 1.0f, true};
}
constexpr Bound density = Bound{"DENSITY", 0.0f, density_max, true};

// What each key accepts, as the messages say it.
const char rect_usage[] = "fluid = rect X0 Y0 X1 Y1, fractions of the box from 0 to 1 with X0 "
                          "below X1 and Y0 below Y1";
const char disc_usage[] = "fluid = disc X Y R, the centre as fractions of the box and a radius "
                          "above 0 that keeps the disc within 0 to 1";
const char box_usage[] = "body = box X Y WIDTH HEIGHT ANGLE DENSITY: the centre (0 to 1), width "
                         "and height (above 0, at most 1), the angle in degrees (-360 to 360) and "
                         "the density relative to the fluid (above 0, at most 100)";
const char polygon_usage[] =
    "body = N X Y WIDTH HEIGHT ANGLE DENSITY: N corners (3 to 32), the centre (0 to 1), width and "
    "height (above 0, at most 1), the angle in degrees (-360 to 360) and the density relative to "
    "the fluid (above 0, at most 100)";
const char obstacle_usage[] = "obstacle = X1 Y1 X2 Y2 X3 Y3 ..., the 3 to 32 corners of a convex "
                              "polygon in order, each from -0.5 to 1.5";
const char piston_usage[] = "piston = left|right AMPLITUDE PERIOD: the wall that moves, how far "
                            "in (above 0, at most 0.5) and the seconds of one stroke (above 0, at "
                            "most 3600)";
const char emitter_usage[] =
    "emitter = X Y ANGLE SPEED RATE [WIDTH]: the mouth (0 to 1), the angle in degrees (-360 to "
    "360), box widths per second (0 to 100), particles per second (0 to 100000) and the width "
    "across the jet (0 to 1, default 0)";
const char drain_usage[] = "drain = X0 Y0 X1 Y1, fractions of the box from 0 to 1 with X0 below "
                           "X1 and Y0 below Y1";
const char spacing_usage[] = "spacing = S, the lattice spacing in multiples of smooth_radius, "
                             "from 0.2 to 5";
const char about_usage[] = "about = one line of printable text, at most 159 characters";
const char keys_usage[] = "the keys of [scene] are about, spacing, fluid, body, obstacle, "
                          "piston, emitter and drain";

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

std::string trimmed(const std::string& text) {
    std::size_t from = 0;
    std::size_t to = text.size();
    while (from < to && is_blank(text[from]))
        ++from;
    while (to > from && is_blank(text[to - 1]))
        --to;
    return text.substr(from, to - from);
}

// The words of a value, up to a ";" remark.
std::vector<std::string> words_of(const std::string& value) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at < value.size()) {
        while (at < value.size() && is_blank(value[at]))
            ++at;
        if (at == value.size() || value[at] == ';') break;
        std::size_t end = at;
        while (end < value.size() && !is_blank(value[end]))
            ++end;
        words.push_back(value.substr(at, end - at));
        at = end;
    }
    return words;
}

// A whole word as a decimal number, read as the settings are: false when it is none. inf and
// nan read as numbers here, to be refused as not finite.
bool read_number(const std::string& word, float* value) {
    if (word.find(';') != std::string::npos || !ini_reads_as_number(word.c_str(), false))
        return false;
    *value = ini_to_float(word.c_str());
    return true;
}

// One word as the number `bound` describes. Returns an empty string, or what is wrong.
std::string read_bounded(const std::string& word, const Bound& b, float* out) {
    float value = 0.0f;
    if (!read_number(word, &value))
        return std::string(b.name) + " '" + printable_text(word.c_str()) + "' is not a number";
    if (!std::isfinite(value))
        return std::string(b.name) + " = " + printable_text(word.c_str()) + " is not finite";
    if (value < b.lo || value > b.hi || (b.above && value == b.lo))
        return std::string(b.name) + " = " + printable_text(word.c_str()) + " is out of range";
    *out = value;
    return std::string();
}

// Reads words[first..] as the numbers `bounds` describe (the last `optional` of them may be
// left out). Returns an empty string, or what is wrong.
std::string read_numbers(const std::vector<std::string>& words, std::size_t first,
                         const Bound* bounds, int count, int optional, float* out) {
    const std::size_t given = words.size() - first;
    const std::size_t least = static_cast<std::size_t>(count - optional);
    if (given < least || given > static_cast<std::size_t>(count)) {
        std::string need = std::to_string(least);
        if (optional > 0) need += " or " + std::to_string(count);
        return std::to_string(given) + (given == 1 ? " number" : " numbers") + " where " + need +
               (least == 1 && optional == 0 ? " is" : " are") + " needed";
    }
    for (std::size_t i = 0; i < given; ++i) {
        const std::string problem = read_bounded(words[first + i], bounds[i], &out[i]);
        if (!problem.empty()) return problem;
    }
    return std::string();
}

// Why the corners are no convex polygon going round once, or empty when they are.
std::string convexity_problem(const Vec2* corners, int count) {
    constexpr double pi = 3.14159265358979323846;
    int turn = 0;
    double turned = 0.0;
    for (int i = 0; i < count; ++i) {
        const Vec2 a = corners[i];
        const Vec2 b = corners[(i + 1) % count];
        const Vec2 c = corners[(i + 2) % count];
        const double ex = static_cast<double>(b.x) - a.x;
        const double ey = static_cast<double>(b.y) - a.y;
        const double fx = static_cast<double>(c.x) - b.x;
        const double fy = static_cast<double>(c.y) - b.y;
        const int corner = (i + 1) % count + 1;
        if (ex == 0.0 && ey == 0.0)
            return "corners " + std::to_string(i + 1) + " and " + std::to_string(corner) +
                   " are the same point";
        const double cross = ex * fy - ey * fx;
        const double lengths = std::hypot(ex, ey) * std::hypot(fx, fy);
        if (std::fabs(cross) <= 1e-9 * lengths)
            return "the edges at corner " + std::to_string(corner) + " lie on one line";
        const int sign = cross > 0.0 ? 1 : -1;
        if (turn != 0 && sign != turn)
            return "it is not convex: it turns the other way at corner " + std::to_string(corner);
        turn = sign;
        turned += std::atan2(cross, ex * fx + ey * fy);
    }
    if (std::fabs(turned) > 3.0 * pi) return "its edges cross: it goes round more than once";
    return std::string();
}

struct Reader {
    const char* path;
    std::FILE* err;
    int problems;
    SceneDescription* scene;
    long spacing_line;
    long about_line;
    long piston_line;
};

void refuse(Reader& r, long line, const std::string& text, const std::string& what) {
    ++r.problems;
    if (r.err == nullptr) return;
    std::string shown = printable_text(text.substr(0, quoted_line_length).c_str());
    if (text.size() > quoted_line_length) shown += "...";
    std::fprintf(r.err, "error: %s:%ld: '%s': %s\n", printable_text(r.path).c_str(), line,
                 shown.c_str(), what.c_str());
}

// A problem and what the key accepts, as one message.
std::string with_usage(const std::string& problem, const char* usage) {
    return problem + "; accepted: " + usage;
}

std::string too_many(const char* key, int capacity) {
    return std::string("more ") + key + " lines than a scene holds (at most " +
           std::to_string(capacity) + ")";
}

std::string given_again(const char* key, long first) {
    return std::string(key) + " is given again (first on line " + std::to_string(first) +
           "); a scene has one";
}

// The checks of each key: empty when the line is taken, otherwise what is wrong with it.
std::string read_fluid(Reader& r, const std::vector<std::string>& words) {
    SceneDescription& s = *r.scene;
    const bool disc = !words.empty() && words[0] == "disc";
    if (words.empty() || (!disc && words[0] != "rect"))
        return with_usage("fluid takes rect or disc first", rect_usage) + "; or " + disc_usage;
    if (s.fluid_count == scene_max_fluids) return too_many("fluid", scene_max_fluids);
    float v[4];
    SceneFluid f{};
    f.disc = disc;
    if (disc) {
        const Bound bounds[] = {fraction("X"), fraction("Y"), Bound{"R", 0.0f, 0.5f, true}};
        const std::string problem = read_numbers(words, 1, bounds, 3, 0, v);
        if (!problem.empty()) return with_usage(problem, disc_usage);
        if (v[0] - v[2] < 0.0f || v[0] + v[2] > 1.0f || v[1] - v[2] < 0.0f || v[1] + v[2] > 1.0f)
            return with_usage("the disc reaches out of the box", disc_usage);
        f.x0 = v[0];
        f.y0 = v[1];
        f.r = v[2];
    } else {
        const Bound bounds[] = {fraction("X0"), fraction("Y0"), fraction("X1"), fraction("Y1")};
        const std::string problem = read_numbers(words, 1, bounds, 4, 0, v);
        if (!problem.empty()) return with_usage(problem, rect_usage);
        if (!(v[0] < v[2]) || !(v[1] < v[3])) return with_usage("the block is empty", rect_usage);
        f.x0 = v[0];
        f.y0 = v[1];
        f.x1 = v[2];
        f.y1 = v[3];
    }
    s.fluids[s.fluid_count++] = f;
    return std::string();
}

std::string read_body(Reader& r, const std::vector<std::string>& words) {
    SceneDescription& s = *r.scene;
    const bool box = !words.empty() && words[0] == "box";
    const char* usage = box ? box_usage : polygon_usage;
    if (words.empty()) return with_usage("no value", box_usage) + "; or " + polygon_usage;
    int32_t corners = 0;
    if (!box) {
        const std::string& n = words[0];
        const bool whole = n.size() <= 2 && std::all_of(n.begin(), n.end(), [](char c) {
                               return c >= '0' && c <= '9';
                           });
        corners = whole ? std::atoi(n.c_str()) : 0;
        if (corners < 3 || corners > scene_max_corners)
            return with_usage("the shape '" + printable_text(n.c_str()) +
                                  "' is neither box nor a number of corners from 3 to 32",
                              box_usage) +
                   "; or " + polygon_usage;
    }
    if (s.body_count == scene_max_bodies) return too_many("body", scene_max_bodies);
    const Bound bounds[] = {fraction("X"),  fraction("Y"),  size("WIDTH"),
                            size("HEIGHT"), angle("ANGLE"), density};
    float v[6];
    const std::string problem = read_numbers(words, 1, bounds, 6, 0, v);
    if (!problem.empty()) return with_usage(problem, usage);
    s.bodies[s.body_count++] = SceneBody{corners, v[0], v[1], v[2], v[3], v[4], v[5]};
    return std::string();
}

std::string read_obstacle(Reader& r, const std::vector<std::string>& words) {
    SceneDescription& s = *r.scene;
    const std::size_t n = words.size();
    if (n % 2 != 0 || n < 6 || n > 2 * scene_max_corners)
        return with_usage(std::to_string(n) + " numbers where an even count from 6 to 64 is "
                                              "needed",
                          obstacle_usage);
    if (s.obstacle_count == scene_max_obstacles) return too_many("obstacle", scene_max_obstacles);
    SceneObstacle o{};
    o.corner_count = static_cast<int32_t>(n / 2);
    for (std::size_t i = 0; i < n; ++i) {
        const std::string name = std::string(i % 2 == 0 ? "X" : "Y") + std::to_string(i / 2 + 1);
        float value = 0.0f;
        const std::string problem =
            read_bounded(words[i], Bound{name.c_str(), corner_min, corner_max, false}, &value);
        if (!problem.empty()) return with_usage(problem, obstacle_usage);
        if (i % 2 == 0)
            o.corners[i / 2].x = value;
        else
            o.corners[i / 2].y = value;
    }
    const std::string shape = convexity_problem(o.corners, o.corner_count);
    if (!shape.empty()) return with_usage(shape, obstacle_usage);
    s.obstacles[s.obstacle_count++] = o;
    return std::string();
}

std::string read_piston(Reader& r, const std::vector<std::string>& words, long line) {
    if (r.piston_line != 0) return given_again("piston", r.piston_line);
    const int side = words.empty() ? 0 : words[0] == "left" ? -1 : words[0] == "right" ? 1 : 0;
    if (side == 0) return with_usage("the wall is neither left nor right", piston_usage);
    const Bound bounds[] = {Bound{"AMPLITUDE", 0.0f, amplitude_max, true},
                            Bound{"PERIOD", 0.0f, period_max, true}};
    float v[2];
    const std::string problem = read_numbers(words, 1, bounds, 2, 0, v);
    if (!problem.empty()) return with_usage(problem, piston_usage);
    r.scene->piston = ScenePiston{side, v[0], v[1]};
    r.piston_line = line;
    return std::string();
}

std::string read_emitter(Reader& r, const std::vector<std::string>& words) {
    SceneDescription& s = *r.scene;
    if (s.emitter_count == scene_max_emitters) return too_many("emitter", scene_max_emitters);
    const Bound bounds[] = {fraction("X"),
                            fraction("Y"),
                            angle("ANGLE"),
                            Bound{"SPEED", 0.0f, speed_max, false},
                            Bound{"RATE", 0.0f, rate_max, false},
                            fraction("WIDTH")};
    float v[6] = {0, 0, 0, 0, 0, 0};
    const std::string problem = read_numbers(words, 0, bounds, 6, 1, v);
    if (!problem.empty()) return with_usage(problem, emitter_usage);
    s.emitters[s.emitter_count++] = SceneEmitter{v[0], v[1], v[2], v[3], v[4], v[5]};
    return std::string();
}

std::string read_drain(Reader& r, const std::vector<std::string>& words) {
    SceneDescription& s = *r.scene;
    if (s.drain_count == scene_max_drains) return too_many("drain", scene_max_drains);
    const Bound bounds[] = {fraction("X0"), fraction("Y0"), fraction("X1"), fraction("Y1")};
    float v[4];
    const std::string problem = read_numbers(words, 0, bounds, 4, 0, v);
    if (!problem.empty()) return with_usage(problem, drain_usage);
    if (!(v[0] < v[2]) || !(v[1] < v[3])) return with_usage("the drain is empty", drain_usage);
    s.drains[s.drain_count++] = SceneDrain{v[0], v[1], v[2], v[3]};
    return std::string();
}

std::string read_spacing(Reader& r, const std::vector<std::string>& words, long line) {
    if (r.spacing_line != 0) return given_again("spacing", r.spacing_line);
    const Bound bound{"S", spacing_min, spacing_max, false};
    float value = 0.0f;
    const std::string problem = read_numbers(words, 0, &bound, 1, 0, &value);
    if (!problem.empty()) return with_usage(problem, spacing_usage);
    r.scene->spacing = value;
    r.spacing_line = line;
    return std::string();
}

std::string read_about(Reader& r, const std::string& value, long line) {
    if (r.about_line != 0) return given_again("about", r.about_line);
    if (value.empty()) return with_usage("no text", about_usage);
    if (value.size() >= sizeof r.scene->about)
        return with_usage(std::to_string(value.size()) + " characters", about_usage);
    for (const char c : value)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return with_usage("a control character", about_usage);
    std::snprintf(r.scene->about, sizeof r.scene->about, "%s", value.c_str());
    r.about_line = line;
    return std::string();
}

std::string read_line_of_scene(Reader& r, const std::string& line, long number) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos)
        return "neither a ; remark nor key = value; " + std::string(keys_usage);
    const std::string key = trimmed(line.substr(0, equals));
    const std::string value = trimmed(line.substr(equals + 1));
    if (key == "about") return read_about(r, value, number);
    const std::vector<std::string> words = words_of(value);
    if (key == "spacing") return read_spacing(r, words, number);
    if (key == "fluid") return read_fluid(r, words);
    if (key == "body") return read_body(r, words);
    if (key == "obstacle") return read_obstacle(r, words);
    if (key == "piston") return read_piston(r, words, number);
    if (key == "emitter") return read_emitter(r, words);
    if (key == "drain") return read_drain(r, words);
    return "no such key; " + std::string(keys_usage);
}

} // namespace

std::string scene_name_of(const char* path) {
    std::string name(path);
    const std::size_t slash = name.rfind('/');
    if (slash != std::string::npos) name.erase(0, slash + 1);
    const std::size_t n = name.size();
    if (n > 4 && name.compare(n - 4, 4, ".ini") == 0) name.resize(n - 4);
    if (name.size() >= static_cast<std::size_t>(scene_name_size)) name.resize(scene_name_size - 1);
    return name;
}

int read_scene_text(const std::string& text, const char* path, SceneDescription* scene,
                    std::FILE* err) {
    *scene = default_scene();
    std::snprintf(scene->name, sizeof scene->name, "%s", scene_name_of(path).c_str());
    Reader r{path, err, 0, scene, 0, 0, 0};
    bool in_scene = false;
    long number = 1;
    std::size_t at = 0;
    while (at <= text.size()) {
        // Lines end at CR or LF as the settings reader's do; LFs count them.
        std::size_t end = text.find_first_of("\r\n", at);
        if (end == std::string::npos) end = text.size();
        const std::string line = trimmed(text.substr(at, end - at));
        const long line_number = number;
        if (end < text.size() && text[end] == '\n') ++number;
        at = end + 1;
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            const std::size_t close = line.find(']');
            in_scene = line.substr(1, close == std::string::npos ? std::string::npos : close - 1) ==
                       "scene";
            continue;
        }
        if (!in_scene) continue;
        const std::string problem = read_line_of_scene(r, line, line_number);
        if (!problem.empty()) refuse(r, line_number, line, problem);
    }
    return r.problems;
}

bool scene_choice_is_name(const char* choice) {
    const std::size_t n = std::strlen(choice);
    return std::strchr(choice, '/') == nullptr &&
           !(n >= 4 && std::strcmp(choice + n - 4, ".ini") == 0);
}

std::string scene_path(const char* choice, const std::string& program_folder) {
    if (!scene_choice_is_name(choice)) return choice;
    return program_folder + "scenes/" + choice + ".ini";
}

bool scene_is_plain(const SceneDescription& s) {
    return s.fluid_count == 0 && s.body_count == 0 && s.obstacle_count == 0 && s.piston.side == 0 &&
           s.emitter_count == 0 && s.drain_count == 0;
}

bool load_scene(const char* choice, const std::string& program_folder, SceneFile* scene,
                std::FILE* err) {
    scene->path.clear();
    scene->text.clear();
    scene->description = default_scene();
    if (choice[0] == '\0') {
        std::fprintf(err, "error: scene = '' is not accepted: use a scene's name (--scene help "
                          "lists them) or the path of a scene file\n");
        return false;
    }
    const bool by_name = scene_choice_is_name(choice);
    const std::string path = scene_path(choice, program_folder);
    std::string text;
    const SmallFileRead read = read_small_file(path.c_str(), &text);
    if (read.status != SmallFileRead::ok) {
        // The default needs no file: without one it is the box as it always was.
        if (by_name && std::strcmp(choice, default_scene_name) == 0 &&
            read.status == SmallFileRead::missing)
            return true;
        std::fprintf(err, "error: cannot read the scene file '%s': %s%s\n",
                     printable_text(path.c_str()).c_str(), small_file_reason(read).c_str(),
                     by_name ? " (--scene help lists the scenes beside the program)" : "");
        return false;
    }
    ini_warn(text, path.c_str(), err, IniFile::scene);
    const int problems = read_scene_text(text, path.c_str(), &scene->description, err);
    if (problems > 0) {
        std::fprintf(err, "error: the scene '%s' is refused (%d %s above)\n",
                     printable_text(path.c_str()).c_str(), problems,
                     problems == 1 ? "line" : "lines");
        return false;
    }
    scene->path = path;
    scene->text = text;
    return true;
}

std::vector<std::string> builtin_scene_names(const std::string& program_folder) {
    std::vector<std::string> names;
    const std::string folder = program_folder + "scenes";
    if (DIR* dir = opendir(folder.empty() ? "." : folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string file = entry->d_name;
            const std::size_t n = file.size();
            if (n <= 4 || file.compare(n - 4, 4, ".ini") != 0 || file[0] == '.') continue;
            const std::string name = file.substr(0, n - 4);
            if (name != default_scene_name) names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    names.insert(names.begin(), default_scene_name);
    return names;
}

std::string next_scene_name(const std::vector<std::string>& names, const char* current) {
    if (names.empty()) return default_scene_name;
    const auto at = std::find(names.begin(), names.end(), std::string(current));
    if (at == names.end() || at + 1 == names.end()) return names.front();
    return *(at + 1);
}

int print_scene_list(const std::string& program_folder, std::FILE* out) {
    const std::vector<std::string> names = builtin_scene_names(program_folder);
    for (const std::string& name : names) {
        const std::string path = scene_path(name.c_str(), program_folder);
        std::string text;
        const SmallFileRead read = read_small_file(path.c_str(), &text);
        SceneDescription scene = default_scene();
        std::string about;
        if (read.status == SmallFileRead::ok) {
            about = read_scene_text(text, path.c_str(), &scene, nullptr) == 0
                        ? scene.about
                        : "(refused: --scene " + name + " says why)";
        } else if (name == default_scene_name && read.status == SmallFileRead::missing) {
            about = "the seed's random block of fluid and random bodies";
        } else {
            about = "(cannot be read: " + small_file_reason(read) + ")";
        }
        std::fprintf(out, "%-20s %s\n", printable_text(name.c_str()).c_str(),
                     printable_text(about.c_str()).c_str());
    }
    return static_cast<int>(names.size());
}
