#pragma once
#include <cstdio>

#include "config/validate.h"

struct GraphConfig;
struct PhysConfig;
struct WrittenSettings;

// The checks that need the simulation's own sizes: the grid must fit its cells, the kernel
// coefficients must stay finite and non-zero. Reported through `r` like the settings' own.
void check_simulation_settings(Refusals& r, const PhysConfig& phys);

// Every check of the settings after the start-up fix-ups: each setting's own and those between
// settings (check_config), then the simulation's. Every setting the program cannot run with
// gets one line on `err` naming the key, the value and what is accepted, and, when `written`
// (may be null) holds the texts the values were read from, what the file says for that key.
// Returns the number of refused keys; 0 means safe to start.
int validate_settings(const GraphConfig& graph, const PhysConfig& phys,
                      const WrittenSettings* written, std::FILE* err);
