#pragma once
// The whole simulation state as text, one line per particle and per body, for comparing runs
// bit for bit (every float with 9 significant digits, enough to tell any two apart).

// Writes the state after `steps` steps to `path`; with `with_surface`, also the outline's line
// vertices. `program` prefixes the error message on stderr. Returns whether the file is whole.
bool write_state_dump(const char* path, long long steps, bool with_surface, const char* program);
