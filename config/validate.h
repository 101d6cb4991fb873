#pragma once
// Refusing, before anything is allocated, the settings that would make the program write out of
// bounds, ask for absurd memory or compute with values that are not finite. Everything else, odd
// as it may look (no particles, no bodies, an unknown drawing mode), is left to the program.
//
// The checks of each setting come from the settings table; checks between settings follow.
// Checks that need the simulation's own sizes live with it (sph/settings_check.h) and report
// through the same Refusals, so that every refusal reads alike.
#include <cstdint>
#include <cstdio>
#include <string>

struct GraphConfig;
struct PhysConfig;
struct WrittenSettings;

// A number as messages show it: the shortest form that reads back as the same value.
struct ShownNumber {
    char s[48];
};
ShownNumber show(int32_t value);
ShownNumber show(float value);

// Rounds to single precision through memory, so checks see the float results the simulation
// sees even where the compiler would keep intermediates wider (x87).
float f32(float value);

// The refusals of one check of the settings: one line each on `err`.
struct Refusals {
    std::FILE* err;
    const WrittenSettings* written; // null: where the values came from is not known
    int count;
    const char* keys[64]; // keys refused so far; key names are unique across both sections

    bool has(const char* key) const;
    bool has_any(const char* a, const char* b, const char* c = "", const char* d = "") const;
};

// One line for `key`, unless it was refused already (the first rule a key breaks is the one
// reported): "error: [section] key = value (the file says "text") is not accepted: " and
// `accepted` formatted. Beside the value stands what the file says for the key, since the value
// may differ from the text that gave it (99999999999 saturates to 2147483647, 1e99 overflows to
// inf), or that the file does not set it. A value changed after reading (a fix-up, a key in
// play, a command-line option) came from no text of the file, and is shown alone.
void refuse(Refusals& r, const char* section, const char* key, int32_t value, const char* accepted,
            ...) __attribute__((format(printf, 5, 6)));
void refuse(Refusals& r, const char* section, const char* key, float value, const char* accepted,
            ...) __attribute__((format(printf, 5, 6)));

// The checks of the settings themselves: each setting's own, in the order of the table (so the
// lines go out section by section in file order), then those between settings.
void check_config(Refusals& r, const GraphConfig& graph, const PhysConfig& phys);
