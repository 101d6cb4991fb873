// The settings file reader: "[section]" headers, "key=value" lines and ";" comment lines.
//
// The reader is deliberately plain: every lookup opens the file afresh, scans it from the top one
// character at a time and stops at the first line of the wanted section that carries the wanted key
// with a value. It runs 35 times at start-up and never again, so simplicity wins over speed.
#include <cstdio>
#include <cstring>

#include "config/config.h"

namespace {

constexpr int max_line_length = ini_text_size - 1;  // characters kept per line

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
bool read_line(std::FILE* file, char* line) {
    int length = 0;
    for (;;) {
        int c = std::fgetc(file);
        if (c == EOF) {
            line[length] = '\0';
            return false;
        }
        if (c == '\n' || c == '\r') {
            line[length] = '\0';
            return true;
        }
        if (length < max_line_length) line[length++] = static_cast<char>(c);
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

}  // namespace

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
    ini_split(line, key, ' ');  // the key ends at its first blank
    while (value[0] == ' ') ini_split(value, line, ' ');  // drops one leading blank per turn
    line[0] = '\0';
    return 1;
}

void ini_read_value(char* out, const char* path, const char* section, const char* key,
                    const char* default_text) {
    std::FILE* file = std::fopen(path, "r");
    if (file == nullptr) {
        copy_text(out, default_text);
        return;
    }
    char line[ini_text_size];
    char name[ini_text_size];
    char value[ini_text_size];
    char line_key[ini_text_size];
    bool in_section = false;
    bool more = true;
    while (more) {
        more = read_line(file, line);
        if (line[0] == '[') {
            section_name(line, name);
            in_section = std::strcmp(name, section) == 0;
        } else if (line[0] == ';') {
            continue;
        } else if (in_section && ini_parse_pair(line, value, line_key) == 1 &&
                   std::strcmp(line_key, key) == 0) {
            std::fclose(file);
            copy_text(out, value);
            return;
        }
    }
    std::fclose(file);
    copy_text(out, default_text);
}
