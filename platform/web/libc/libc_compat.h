#pragma once
// The WebAssembly C library (musl) reads numbers in the "C" locale always and leaves out
// strtol_l; the settings reader asks for it by name.
#include <locale.h>

#ifdef __cplusplus
extern "C" {
#endif
long strtol_l(const char* text, char** end, int base, locale_t locale);
#ifdef __cplusplus
}
#endif
