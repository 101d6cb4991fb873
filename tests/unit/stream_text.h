#pragma once
// Reading back what code under test wrote to a temporary FILE*.
#include <cstdio>
#include <string>

// Everything written to `f` so far (the file stays open, positioned at its end).
inline std::string stream_text(std::FILE* f) {
    std::string text;
    std::rewind(f);
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    return text;
}
