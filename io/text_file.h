#pragma once
#include <cstdio>

// Reads an open file whole into a new zero-terminated buffer that the caller frees, then closes
// the file. Opened in text mode, so the text may come out shorter than the file.
// Returns nullptr (file closed) when the buffer cannot be allocated.
char* read_text_file(std::FILE* file);
