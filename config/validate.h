#pragma once
#include <cstdio>

struct GraphConfig;
struct PhysConfig;
struct WrittenSettings;

// Checks the settings after the start-up fix-ups. Every setting the program cannot run with
// (out of a buffer, absurd memory, non-finite arithmetic) gets one line on `err` naming the key,
// the value and what is accepted, and, when `written` (may be null) holds the texts the values
// were read from, what the file says for that key. Returns the number of refused keys; 0 means
// safe to start.
int validate_settings(const GraphConfig& graph, const PhysConfig& phys,
                      const WrittenSettings* written, std::FILE* err);
