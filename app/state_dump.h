#pragma once
// The whole simulation state as text, one line per particle and per body, for comparing runs
// bit for bit (every float with 9 significant digits, enough to tell any two apart). Written
// through io/output_file: an interrupted run, a full disk or a write error leaves an earlier
// dump untouched, and every failure is reported on stderr as
// "<program>: cannot write the dump '<path>': <reason>".
#include <string>

#include "io/output_file.h"

// Written by open_dump and write_dump (and abandon_dump); the caller only reads `file.out` to
// tell whether a dump is open.
struct DumpFile {
    OutputFile file;
    int error = 0; // errno of the first failed write, 0 while all went well
};

// Opens the destination before any step runs, so that a path that cannot be written is
// reported at once rather than after the whole run.
bool open_dump(const char* program, const std::string& path, DumpFile* dump);

// Writes the state after `steps` steps and closes the dump; with `with_surface`, also the
// outline's line vertices. The first line names the step, the simulated time (printed so that
// it reads back as the same double) and the scene. Returns whether the destination now holds
// the whole dump; on failure it keeps what it held before.
bool write_dump(DumpFile* dump, long long steps, bool with_surface);

// Where the dump of step `step` goes in a series beside `path`: the step, six digits at least,
// before the extension of the file's name ("out.txt" -> "out-000300.txt", "out" ->
// "out-000300"). A dot that starts the name or sits in a folder's name is no extension.
std::string numbered_dump_path(const std::string& path, long long step);

// Drops an unfinished dump: the temporary file goes, the destination stays as it was.
void abandon_dump(DumpFile* dump);
