// The settings file reader: "[section]" headers, "key=value" lines and ";" comment lines.
//
// The file is read once, whole, into memory (ini_load); every lookup then scans that text from
// the top one character at a time and stops at the first line of the wanted section that carries
// the wanted key with a value. Reading once means a pipe or /dev/stdin gives the same text to
// every key, and a file that cannot be read is noticed once and can be named.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

#include "config/config.h"
#include "io/small_file.h"

namespace {

constexpr int max_line_length = ini_text_size - 1; // characters kept per line

// Copies at most max_line_length characters of `text` into `out` (ini_text_size chars).
void copy_text(char* out, const char* text) {
    std::size_t n = std::strlen(text);
    if (n > static_cast<std::size_t>(max_line_length)) n = max_line_length;
    std::memcpy(out, text, n);
    out[n] = '\0';
}

// Reads one line into `line` (ini_text_size chars). A line ends at a line feed, at a carriage
// return or at the end of the file, so "\r\n" yields an extra empty line, which matches nothing.
//
// A line longer than 255 characters keeps its first 255 characters; the rest of that physical line,
// up to its line end, is read and thrown away, so it can never be taken for a line of its own. A
// key line cut this way still counts with whatever value survives in the first 255 characters.
//
// A NUL byte is stored like any other character and so ends the line's text early: whatever follows
// it on that line is ignored. Returns false once the end of the file has been reached, true while
// more may follow; the line read last is valid either way.
struct TextCursor {
    const char* at;
    const char* end;
};

bool read_line(TextCursor* text, char* line) {
    int length = 0;
    for (;;) {
        if (text->at == text->end) {
            line[length] = '\0';
            return false;
        }
        const char c = *text->at++;
        if (c == '\n' || c == '\r') {
            line[length] = '\0';
            return true;
        }
        if (length < max_line_length) line[length++] = c;
    }
}

// The name of a "[name]" header: after the first "[" up to the first "]", or to the line's end.
void section_name(const char* line, char* name) {
    const char* start = line + 1;
    const char* end = std::strchr(start, ']');
    std::size_t n = end ? static_cast<std::size_t>(end - start) : std::strlen(start);
    std::memcpy(name, start, n);
    name[n] = '\0';
}

} // namespace

void ini_split(char* text, char* second, char separator) {
    char* at = separator != '\0' ? std::strchr(text, separator) : nullptr;
    if (at == nullptr) {
        std::memmove(second, text, std::strlen(text) + 1);
        text[0] = '\0';
        return;
    }
    std::size_t before = static_cast<std::size_t>(at - text);
    std::memcpy(second, text, before);
    second[before] = '\0';
    std::memmove(text, at + 1, std::strlen(at + 1) + 1);
}

int ini_parse_pair(char* line, char* value, char* key) {
    std::memmove(value, line, std::strlen(line) + 1);
    line[0] = '\0';
    key[0] = '\0';
    ini_split(value, key, '=');
    if (value[0] == '\0') {
        // No "=" at all, or nothing after it: the key counts as absent.
        line[0] = value[0] = key[0] = '\0';
        return 0;
    }
    std::memcpy(line, key, std::strlen(key) + 1);
    ini_split(line, key, ' '); // the key ends at its first blank
    while (value[0] == ' ')
        ini_split(value, line, ' '); // drops one leading blank per turn
    line[0] = '\0';
    return 1;
}

IniLoad ini_load(const char* path, std::string* text) {
    return read_small_file(path, text);
}

std::string ini_load_reason(const IniLoad& load) {
    return small_file_reason(load);
}

bool ini_lookup(char* out, const std::string& file_text, const char* section, const char* key,
                const char* default_text) {
    TextCursor text{file_text.data(), file_text.data() + file_text.size()};
    char line[ini_text_size];
    char name[ini_text_size];
    char value[ini_text_size];
    char line_key[ini_text_size];
    bool in_section = false;
    bool more = true;
    while (more) {
        more = read_line(&text, line);
        if (line[0] == '[') {
            section_name(line, name);
            in_section = std::strcmp(name, section) == 0;
        } else if (line[0] == ';') {
            continue;
        } else if (in_section && ini_parse_pair(line, value, line_key) == 1 &&
                   std::strcmp(line_key, key) == 0) {
            copy_text(out, value);
            return true;
        }
    }
    copy_text(out, default_text);
    return false;
}

void ini_read_value(char* out, const char* path, const char* section, const char* key,
                    const char* default_text) {
    std::string text;
    ini_load(path, &text); // a file that cannot be read gives no text: every key is absent
    ini_lookup(out, text, section, key, default_text);
}

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// After a number, the reader ignores the rest; only blanks or a ";" remark are meant to be there.
bool only_remark_after(const char* rest) {
    while (is_blank(*rest))
        ++rest;
    return *rest == '\0' || *rest == ';';
}

bool digits(const char** at) {
    const char* start = *at;
    while (**at >= '0' && **at <= '9')
        ++*at;
    return *at != start;
}

bool known_section(const char* name) {
    for (int i = 0; i < setting_count; ++i)
        if (std::strcmp(setting_infos[i].section, name) == 0) return true;
    return false;
}

// The line `key` was given on before `line`, or 0 when this is its first (which is then noted).
long first_line_of(std::vector<long>& given, const SettingInfo* key, long line) {
    long& first = given[static_cast<size_t>(key - setting_infos)];
    if (first != 0) return first;
    first = line;
    return 0;
}

} // namespace

// Whether the text reads as a number the way it is meant: a whole decimal number for the
// integer keys, a decimal number with optional fraction and exponent (or inf, nan) for the others.
bool ini_reads_as_number(const char* text, bool whole) {
    const char* at = text;
    while (is_blank(*at))
        ++at;
    if (*at == '+' || *at == '-') ++at;
    if (whole) return digits(&at) && only_remark_after(at);
    for (const char* word : {"infinity", "inf", "nan"}) {
        const size_t n = std::strlen(word);
        if (strncasecmp(at, word, n) == 0) return only_remark_after(at + n);
    }
    const bool before = digits(&at);
    bool after = false;
    if (*at == '.') {
        ++at;
        after = digits(&at);
    }
    if (!before && !after) return false;
    if (*at == 'e' || *at == 'E') {
        const char* exponent = at + 1;
        if (*exponent == '+' || *exponent == '-') ++exponent;
        if (digits(&exponent)) at = exponent;
    }
    return only_remark_after(at);
}

int ini_warn(const std::string& file_text, const char* path, std::FILE* err, IniFile kind) {
    TextCursor text{file_text.data(), file_text.data() + file_text.size()};
    char line[ini_text_size];
    char section[ini_text_size] = "";
    char value[ini_text_size];
    char key[ini_text_size];
    bool in_any_section = false;
    bool section_known = false;
    bool in_scene = false;
    int warnings = 0;
    // The line each known key was first given on (0: not yet), indexed like setting_infos.
    std::vector<long> given(static_cast<size_t>(setting_count), 0);
    long line_number = 1;
    const char* counted = text.at;
    bool more = true;
    while (more) {
        const char* start = text.at;
        line_number += std::count(counted, start, '\n');
        counted = start;
        more = read_line(&text, line);
        if (line[0] == '\0' || line[0] == ';') continue;
        const std::string shown = printable_text(line);
        auto warn = [&](const char* what) {
            std::fprintf(err, "warning: %s:%ld: '%s': %s\n", path, line_number, shown.c_str(),
                         what);
            ++warnings;
        };
        if (line[0] == '[') {
            section_name(line, section);
            in_any_section = true;
            section_known = known_section(section);
            in_scene = std::strcmp(section, "scene") == 0;
            if (in_scene && kind == IniFile::settings)
                warn("scene keys belong in a scene file (chosen with the scene setting or "
                     "--scene); the lines under it are not read");
            else if (!section_known && !in_scene)
                warn("no such section (there are [graph] and [phys], written exactly so); the "
                     "lines under it are not read");
            continue;
        }
        if (in_scene) continue; // the scene reader's, or already said once at the header
        if (std::strchr(line, '=') == nullptr) {
            warn("neither a [section], a ; remark nor key=value; ignored");
            continue;
        }
        if (ini_parse_pair(line, value, key) == 0) continue; // "key=": absent, the default applies
        if (!in_any_section) {
            warn("before any [section]; not read");
            continue;
        }
        if (!section_known) continue; // already said once, at the header
        const SettingInfo* known = find_setting(key);
        if (known == nullptr) {
            warn("no such key; ignored");
        } else if (std::strcmp(known->section, section) != 0) {
            char text_out[ini_text_size + 64];
            std::snprintf(text_out, sizeof text_out, "%s belongs in [%s]; not read here", key,
                          known->section);
            warn(text_out);
        } else if (const long first = first_line_of(given, known, line_number); first != 0) {
            char text_out[ini_text_size + 128];
            std::snprintf(text_out, sizeof text_out,
                          "%s is given again; the first value, on line %ld, is the one used", key,
                          first);
            warn(text_out);
        } else if (kind == IniFile::scene && std::strcmp(key, "scene") == 0) {
            warn("a scene is chosen in the settings file or with --scene; not read here");
        } else if (known->type != SettingType::text &&
                   !ini_reads_as_number(value, known->type == SettingType::whole)) {
            warn(known->type == SettingType::whole
                     ? "not a whole number; it is read as the number at its start (0 if none)"
                     : "not a number; it is read as the number at its start (0 if none)");
        }
    }
    return warnings;
}
