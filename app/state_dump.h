#pragma once
// The whole simulation state as text, one line per particle and per body, for comparing runs
// bit for bit (every float with 9 significant digits, enough to tell any two apart).
//
// The dump goes to a temporary file beside its destination and is renamed over it only when
// every byte is written, so an interrupted run, a full disk or a write error leaves an earlier
// dump untouched. Destinations that are not regular files (/dev/null, /dev/stdout, a pipe) are
// written in place: there is nothing to rename over. Every failure is reported on stderr as
// "<program>: cannot write the dump '<path>': <reason>".
#include <cstdio>
#include <string>

// Written by open_dump and write_dump (and abandon_dump); the caller only reads `out` to tell
// whether a dump is open.
struct DumpFile {
    const char* program = "";  // prefix of the error messages
    std::string path;          // as given
    std::string final_path;    // what the temporary file is renamed to (links resolved)
    std::FILE* out = nullptr;
    int error = 0;  // errno of the first failed write, 0 while all went well
};

// Opens the destination before any step runs, so that a path that cannot be written is
// reported at once rather than after the whole run. Until the dump is written or abandoned, a
// fatal signal or exit() removes the temporary file. One dump at a time per process.
bool open_dump(const char* program, const std::string& path, DumpFile* dump);

// Writes the state after `steps` steps and closes the dump; with `with_surface`, also the
// outline's line vertices. Returns whether the destination now holds the whole dump; on
// failure it keeps what it held before.
bool write_dump(DumpFile* dump, long long steps, bool with_surface);

// Drops an unfinished dump: the temporary file goes, the destination stays as it was.
void abandon_dump(DumpFile* dump);
