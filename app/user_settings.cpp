#include "app/user_settings.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "app/play.h"
#include "io/output_file.h"

std::string user_settings_file;

std::string user_settings_path(const char* xdg_config_home, const char* home) {
    // The XDG rule: a relative value is invalid and is ignored, as an empty one is.
    if (xdg_config_home != nullptr && xdg_config_home[0] == '/')
        return std::string(xdg_config_home) + "/tarnwell/config.ini";
    if (home != nullptr && home[0] != '\0')
        return std::string(home) + "/.config/tarnwell/config.ini";
    return std::string();
}

std::string settings_file_to_read(const std::string& user_file, const std::string& folder) {
    struct stat st;
    // Anything there counts, even what cannot be read: the reader then names it and why, rather
    // than another file being read silently in its place.
    if (!user_file.empty() && lstat(user_file.c_str(), &st) == 0) return user_file;
    return folder + "config.ini";
}

namespace {

const char* field(const SettingInfo& info, const GraphConfig& graph, const PhysConfig& phys) {
    const char* record = std::strcmp(info.section, "graph") == 0
                             ? reinterpret_cast<const char*>(&graph)
                             : reinterpret_cast<const char*>(&phys);
    return record + info.offset;
}

std::size_t field_size(const SettingInfo& info) {
    switch (info.type) {
    case SettingType::whole:
        return sizeof(int32_t);
    case SettingType::number:
        return sizeof(float);
    case SettingType::text:
        break;
    }
    return sizeof(SettingText);
}

// The shortest %g text that reads back (as the loaders read it) to the same float, written
// without an exponent where one is not needed ("600", not "6e+02").
std::string float_text(float value) {
    char text[48];
    char first[48] = "";
    for (int digits = 1; digits <= 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
        if (setting_bits(ini_to_float(text)) != setting_bits(value)) continue;
        if (first[0] == '\0') std::memcpy(first, text, sizeof text);
        if (std::strchr(text, 'e') == nullptr) return text;
    }
    // Very small or very large: the exponent it is, or every digit when nothing shorter reads back.
    return first[0] != '\0' ? first : text;
}

// One line of a text, without its line end, and the line end as written.
struct Line {
    std::string text;
    std::string end; // "\n", "\r\n", "\r" or "" (the last line)
};

std::vector<Line> split_lines(const std::string& text) {
    std::vector<Line> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t stop = text.find_first_of("\r\n", at);
        if (stop == std::string::npos) {
            lines.push_back({text.substr(at), ""});
            break;
        }
        std::size_t next = stop + 1;
        if (text[stop] == '\r' && next < text.size() && text[next] == '\n') ++next;
        lines.push_back({text.substr(at, stop - at), text.substr(stop, next - stop)});
        at = next;
    }
    return lines;
}

// The reader's view of a line: its first ini_text_size - 1 characters, up to a NUL.
std::string as_read(const std::string& line) {
    std::string text = line.substr(0, ini_text_size - 1);
    return text.substr(0, std::strlen(text.c_str()));
}

// The section a header line opens ("[name]..."), as the reader takes it.
bool header(const std::string& line, std::string* name) {
    const std::string text = as_read(line);
    if (text.empty() || text[0] != '[') return false;
    const std::size_t close = text.find(']');
    *name = text.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    return true;
}

// The key and value of a key line, as the reader takes them (ini_parse_pair).
bool key_line(const std::string& line, std::string* key, std::string* value) {
    const std::string text = as_read(line);
    if (text.empty() || text[0] == '[' || text[0] == ';') return false;
    char buffer[ini_text_size];
    char value_text[ini_text_size];
    char key_text[ini_text_size];
    std::snprintf(buffer, sizeof buffer, "%s", text.c_str());
    if (ini_parse_pair(buffer, value_text, key_text) != 1) return false;
    *key = key_text;
    *value = value_text;
    return true;
}

// Whether a line's value text gives the setting the value `bits`, as the loaders read it.
bool gives_value(const SettingInfo& info, const std::string& value, uint32_t bits) {
    switch (info.type) {
    case SettingType::whole:
        return setting_bits(ini_to_int(value.c_str())) == bits;
    case SettingType::number:
        return setting_bits(ini_to_float(value.c_str())) == bits;
    case SettingType::text:
        break;
    }
    SettingText text;
    std::snprintf(text.text, sizeof text.text, "%s", value.c_str());
    return setting_bits(text) == bits;
}

// `line` with its value replaced by `value`. What stands before the value stays; so does a remark
// after a number (" ; ..."), which the reader passes over.
std::string replace_value(const std::string& line, const SettingInfo& info,
                          const std::string& value) {
    std::size_t start = line.find('=') + 1;
    while (start < line.size() && line[start] == ' ')
        ++start;
    std::string remark;
    if (info.type != SettingType::text) {
        const std::size_t semicolon = line.find(';', start);
        if (semicolon != std::string::npos) {
            std::size_t blank = semicolon;
            while (blank > start && (line[blank - 1] == ' ' || line[blank - 1] == '\t'))
                --blank;
            remark = line.substr(blank);
        }
    }
    return line.substr(0, start) + value + remark;
}

} // namespace

uint32_t setting_value_bits(const SettingInfo& info, const GraphConfig& graph,
                            const PhysConfig& phys) {
    const char* at = field(info, graph, phys);
    switch (info.type) {
    case SettingType::whole: {
        int32_t value;
        std::memcpy(&value, at, sizeof value);
        return setting_bits(value);
    }
    case SettingType::number: {
        float value;
        std::memcpy(&value, at, sizeof value);
        return setting_bits(value);
    }
    case SettingType::text:
        break;
    }
    return setting_bits(*reinterpret_cast<const SettingText*>(at));
}

std::string setting_value_text(const SettingInfo& info, const GraphConfig& graph,
                               const PhysConfig& phys) {
    const char* at = field(info, graph, phys);
    switch (info.type) {
    case SettingType::whole: {
        int32_t value;
        std::memcpy(&value, at, sizeof value);
        return std::to_string(value);
    }
    case SettingType::number: {
        float value;
        std::memcpy(&value, at, sizeof value);
        return float_text(value);
    }
    case SettingType::text:
        break;
    }
    return reinterpret_cast<const SettingText*>(at)->text;
}

void copy_setting(const SettingInfo& info, const GraphConfig& from_graph,
                  const PhysConfig& from_phys, GraphConfig* graph, PhysConfig* phys) {
    char* to = const_cast<char*>(field(info, *graph, *phys));
    std::memcpy(to, field(info, from_graph, from_phys), field_size(info));
}

std::string merge_settings_text(const std::string& existing, const GraphConfig& graph,
                                const PhysConfig& phys) {
    std::vector<Line> lines = split_lines(existing);
    // New lines take the file's own line end.
    std::string newline = "\n";
    for (const Line& line : lines)
        if (!line.end.empty()) {
            newline = line.end;
            break;
        }
    const GraphConfig default_graph = default_graph_config();
    const PhysConfig default_phys = default_phys_config();
    // For each section, the line after which keys are added: its first block's last line that
    // is not blank (-1: the section is not in the file).
    std::vector<std::string> added_sections;
    std::vector<std::vector<std::string>> added_lines;
    auto add = [&](const std::string& section, const std::string& text) {
        for (std::size_t i = 0; i < added_sections.size(); ++i)
            if (added_sections[i] == section) {
                added_lines[i].push_back(text);
                return;
            }
        added_sections.push_back(section);
        added_lines.push_back({text});
    };
    for (int i = 0; i < setting_count; ++i) {
        const SettingInfo& info = setting_infos[i];
        const uint32_t bits = setting_value_bits(info, graph, phys);
        const std::string value = setting_value_text(info, graph, phys);
        // The reader takes the first line of the key in its section, in any block of it.
        bool found = false;
        std::string section;
        for (Line& line : lines) {
            std::string name;
            std::string key;
            std::string line_value;
            if (header(line.text, &name)) {
                section = name;
            } else if (section == info.section && key_line(line.text, &key, &line_value) &&
                       key == info.key) {
                if (!gives_value(info, line_value, bits))
                    line.text = replace_value(line.text, info, value);
                found = true;
                break;
            }
        }
        if (!found && bits != setting_value_bits(info, default_graph, default_phys))
            add(info.section, std::string(info.key) + "=" + value);
    }
    std::string merged;
    std::vector<bool> placed(added_sections.size(), false);
    // Where each section's first block ends: after its last line that is not blank.
    std::vector<long> last_of(added_sections.size(), -1);
    {
        std::string section;
        std::vector<bool> closed(added_sections.size(), false);
        for (std::size_t n = 0; n < lines.size(); ++n) {
            std::string name;
            const bool is_header = header(lines[n].text, &name);
            for (std::size_t s = 0; s < added_sections.size(); ++s) {
                if (is_header && section == added_sections[s] && last_of[s] >= 0) closed[s] = true;
                if (is_header && name == added_sections[s] && !closed[s] && last_of[s] < 0)
                    last_of[s] = static_cast<long>(n);
            }
            if (is_header) section = name;
            for (std::size_t s = 0; s < added_sections.size(); ++s)
                if (!is_header && !closed[s] && section == added_sections[s] &&
                    lines[n].text.find_first_not_of(" \t") != std::string::npos)
                    last_of[s] = static_cast<long>(n);
        }
    }
    for (std::size_t n = 0; n < lines.size(); ++n) {
        merged += lines[n].text;
        std::string end = lines[n].end;
        for (std::size_t s = 0; s < added_sections.size(); ++s) {
            if (last_of[s] != static_cast<long>(n)) continue;
            if (end.empty()) end = newline; // the file's last line, now followed by more
            for (const std::string& text : added_lines[s])
                merged += end + text;
            placed[s] = true;
        }
        merged += end;
    }
    for (std::size_t s = 0; s < added_sections.size(); ++s) {
        if (placed[s]) continue;
        if (!merged.empty()) {
            if (merged.back() != '\n' && merged.back() != '\r') merged += newline;
            merged += newline;
        }
        merged += "[" + added_sections[s] + "]" + newline;
        for (const std::string& text : added_lines[s])
            merged += text + newline;
    }
    return merged;
}

void settings_to_save(const PlayState& play, const std::string& source_text, GraphConfig* graph,
                      PhysConfig* phys) {
    GraphConfig file_graph;
    PhysConfig file_phys;
    load_graph_config_text(&file_graph, source_text, nullptr);
    load_phys_config_text(&file_phys, source_text, nullptr);
    *graph = file_graph;
    *phys = file_phys;
    for (int i = 0; i < setting_count; ++i) {
        const SettingInfo& info = setting_infos[i];
        if (setting_value_bits(info, play.graph, play.phys) !=
            setting_value_bits(info, play.read_graph, play.read_phys))
            copy_setting(info, play.graph, play.phys, graph, phys);
    }
    if (play.scene_choice[0] != '\0')
        std::snprintf(graph->scene.text, sizeof graph->scene.text, "%s", play.scene_choice);
}

namespace {

// Makes the folders above `path` that are missing; false with the reason on `err` otherwise.
bool make_folders(const std::string& path, const std::string& target, std::FILE* err) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        struct stat st;
        if (stat(folder.c_str(), &st) == 0) continue;
        // Private, as the XDG rule asks of the folders it names.
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            std::fprintf(err,
                         "tarnwell: cannot save the settings to '%s': cannot make the folder "
                         "'%s': %s\n",
                         printable_text(target.c_str()).c_str(),
                         printable_text(folder.c_str()).c_str(), std::strerror(errno));
            return false;
        }
    }
    return true;
}

} // namespace

bool save_settings(const PlayState& play, const char* source, const std::string& target,
                   std::FILE* out, std::FILE* err) {
    if (target.empty()) {
        std::fprintf(err, "tarnwell: cannot save the settings: neither XDG_CONFIG_HOME nor HOME "
                          "names a folder for them; start with --config PATH to save there\n");
        return false;
    }
    std::string existing;
    const IniLoad load = ini_load(target.c_str(), &existing);
    // A file that is there but cannot be read would lose its lines: it stays as it is.
    if (load.status != IniLoad::ok && load.status != IniLoad::missing) {
        std::fprintf(err, "tarnwell: cannot save the settings to '%s': %s\n",
                     printable_text(target.c_str()).c_str(), ini_load_reason(load).c_str());
        return false;
    }
    std::string source_text;
    if (ini_load(source, &source_text).status != IniLoad::ok) source_text.clear();
    GraphConfig graph;
    PhysConfig phys;
    settings_to_save(play, source_text, &graph, &phys);
    const std::string merged = merge_settings_text(existing, graph, phys);
    if (!make_folders(target, target, err)) return false;
    OutputFile file;
    if (!open_output(&file, "tarnwell", "the settings", target, err)) return false;
    const int write_error =
        std::fwrite(merged.data(), 1, merged.size(), file.out) == merged.size() ? 0 : errno;
    if (!commit_output(&file, write_error, err)) return false;
    std::fprintf(out, "Settings saved to %s\n", printable_text(target.c_str()).c_str());
    std::fflush(out);
    return true;
}
