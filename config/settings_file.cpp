// The settings file with every key at its default, each under its description: what
// data/config.ini holds and what `tarnwell-sim --print-settings` writes.
#include <cctype>
#include <cstring>
#include <string>

#include "config/config.h"

namespace {

constexpr std::size_t comment_width = 96;

// `text` as "; " comment lines of at most comment_width characters, broken at blanks.
std::string comment(const std::string& text) {
    std::string out;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.size();
        if (end - at > comment_width - 2) {
            end = text.rfind(' ', at + comment_width - 2);
            if (end == std::string::npos || end <= at) end = text.find(' ', at + comment_width - 2);
            if (end == std::string::npos) end = text.size();
        }
        out += "; " + text.substr(at, end - at) + "\n";
        at = end < text.size() ? end + 1 : end;
    }
    return out;
}

// What the checks accept, in words, or "" where any number will do.
std::string accepted(const SettingInfo& s) {
    std::string when;
    if (s.when == SettingWhen::outline) when = " in mode 1";
    if (s.when == SettingWhen::bodies) when = " with bodies";
    switch (s.check) {
    case SettingCheck::range:
        return std::to_string(s.lo) + " to " + std::to_string(s.hi) + when;
    case SettingCheck::positive:
        return "above 0" + when;
    case SettingCheck::none:
    case SettingCheck::finite:
        break;
    }
    return std::string();
}

// What a setting does, then what it accepts, as one sentence: the file's comment and the
// README's row say the same.
std::string meaning(const SettingInfo& s) {
    std::string line = s.description;
    line[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(line[0])));
    const std::string range = accepted(s);
    return line + (range.empty() ? "" : "; " + range) + ".";
}

// A section's heading in the README: what its settings are about and in which units.
const char* section_heading(const char* section) {
    if (std::strcmp(section, "graph") == 0) return "the window and the drawing";
    if (std::strcmp(section, "phys") == 0)
        return "the simulation and the bodies. Lengths are in box units: the box runs from "
               "`smooth_radius` to `field_size` on both axes, `smooth_radius` 0.01 and "
               "`field_size` 0.8 by default. Body sizes and the stirring radius are in "
               "multiples of `smooth_radius`";
    return "";
}

// A table cell: a '|' would end it.
std::string cell(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '|') out += '\\';
        out += c;
    }
    return out;
}

} // namespace

std::string settings_markdown() {
    std::string text;
    const char* section = "";
    for (int i = 0; i < setting_count; ++i) {
        const SettingInfo& s = setting_infos[i];
        if (std::strcmp(section, s.section) != 0) {
            if (section[0] != '\0') text += "\n";
            section = s.section;
            text += std::string("`[") + section + "]`: " + section_heading(section) + ".\n\n";
            text += "| Key | Default | What it does |\n|---|---|---|\n";
        }
        text += std::string("| `") + s.key + "` | " + cell(s.default_text) + " | " +
                cell(meaning(s)) + " |\n";
    }
    return text;
}

std::string default_settings_text() {
    std::string text =
        "; Tarnwell settings. Every key below is at its default; delete a line to get the default "
        "back.\n"
        "; Lines are key=value; a \";\" starts a comment only as the first character of a line.\n"
        "; Decimal numbers always use \".\" as the decimal point.\n";
    const char* section = "";
    for (int i = 0; i < setting_count; ++i) {
        const SettingInfo& s = setting_infos[i];
        if (std::strcmp(section, s.section) != 0) {
            section = s.section;
            text += std::string("\n[") + section + "]\n";
        }
        text += comment(meaning(s));
        text += std::string(s.key) + "=" + s.default_text + "\n";
    }
    return text;
}
