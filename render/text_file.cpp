// Placeholder until the shader loading lands; replace with that change.
#include "render/text_file.h"
char* read_text_file(std::FILE* file) { if (file) std::fclose(file); return nullptr; }
