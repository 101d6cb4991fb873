#include "io/text_file.h"

#include <cstdlib>
#include <cstring>

namespace {

// Unix text mode keeps CR LF pairs; drop each CR that precedes a LF so every line ends in a
// bare line feed, as the shader compiler's line numbers expect. Lone CRs stay. Returns the new
// length.
size_t strip_cr_before_lf(char* text, size_t length) {
    size_t out = 0;
    for (size_t in = 0; in < length; ++in) {
        if (text[in] == '\r' && in + 1 < length && text[in + 1] == '\n') continue;
        text[out++] = text[in];
    }
    std::memset(text + out, 0, length - out);
    return out;
}

// For streams whose size cannot be measured (pipes): grow the buffer as the text arrives.
char* read_unsized(std::FILE* file) {
    size_t size = 0;
    size_t room = 4096;
    char* text = static_cast<char*>(std::malloc(room + 1));
    while (text != nullptr) {
        size += std::fread(text + size, 1, room - size, file);
        if (size < room) break;
        char* grown = static_cast<char*>(std::realloc(text, 2 * room + 1));
        if (grown == nullptr) std::free(text);
        text = grown;
        room *= 2;
    }
    if (text != nullptr) {
        text[size] = '\0';
        strip_cr_before_lf(text, size);
    }
    return text;
}

}  // namespace

char* read_text_file(std::FILE* file) {
    if (file == nullptr) return nullptr;
    long end = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) end = std::ftell(file);
    if (end < 0 || std::fseek(file, 0, SEEK_SET) != 0) {
        char* text = read_unsized(file);
        std::fclose(file);
        return text;
    }
    size_t n = static_cast<size_t>(end);
    char* text = n < static_cast<size_t>(-1) ? static_cast<char*>(std::calloc(n + 1, 1)) : nullptr;
    if (text == nullptr) {
        std::fclose(file);
        return nullptr;
    }
    size_t got = std::fread(text, 1, n, file);
    strip_cr_before_lf(text, got);
    std::fclose(file);
    return text;
}
