#pragma once
// Every file the programs write (dumps, screenshots) goes through here, so that no output can
// destroy what is already there.
//
// The bytes go to a temporary file beside the destination, which is renamed over it only once
// every byte is written, flushed and synced: a full disk, a write error, a signal or an exit
// leaves the destination exactly as it was. Destinations are checked before anything runs:
// anything that is not a regular file (a folder, a device, a FIFO) is refused rather than
// written in place or replaced, a file its user may not write is refused even where the folder
// would let a rename replace it, and a symbolic link is followed to the file it names (the link
// stays a link). Every refusal and failure names the path and the reason.
#include <sys/types.h>

#include <cstdio>
#include <string>

// Written by open_output, commit_output and abandon_output; callers write through `out`.
struct OutputFile {
    const char* program = ""; // prefix of the messages
    const char* what = "";    // "the dump", "the screenshot": what the messages call it
    std::string path;         // as given
    std::string final_path;   // what the temporary file becomes (links resolved)
    std::FILE* out = nullptr; // the temporary file while one is open
    int slot = -1;            // its entry in the list of temporaries a signal removes
    bool existed = false;     // the destination held a file when it was opened
};

// Whether `path` may be written as `what`: a message "<program>: cannot write <what> '<path>':
// <reason>" on `err` otherwise. Creates nothing.
bool check_output(const char* program, const char* what, const std::string& path, std::FILE* err);

// Checks `path` and opens the temporary file beside its destination. Until the file is
// committed or abandoned, a fatal signal or exit() removes the temporary file. At most a few
// outputs are open at a time (max_open_outputs).
constexpr int max_open_outputs = 4;
bool open_output(OutputFile* file, const char* program, const char* what, const std::string& path,
                 std::FILE* err);

// Closes the temporary file and moves it to the destination. `write_error` is the errno of a
// write the caller saw fail (0: none): the destination is then left alone. Returns whether the
// destination now holds the whole output; on failure it holds what it held before.
bool commit_output(OutputFile* file, int write_error, std::FILE* err);

// The same for an output that must not replace anything: the temporary file takes the first of
// the names `name_for(k, context)` gives for k = 1, 2, ... that is free (up to 1000 names), and
// `file->path` becomes that name.
bool commit_output_new(OutputFile* file, int write_error,
                       std::string (*name_for)(int k, const void* context), const void* context,
                       std::FILE* err);

// Drops an unfinished output: the temporary file goes, the destination stays as it was.
void abandon_output(OutputFile* file);

// Which file a path names, to tell when two options name the same one: device and inode of an
// existing file (links followed), the absolute path with its folder resolved otherwise.
struct FileIdentity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::string resolved;
};
FileIdentity file_identity(const std::string& path);
bool same_file(const FileIdentity& a, const FileIdentity& b);

// An option and the path it gave, for distinct_files.
struct NamedPath {
    const char* option; // "--dump", or a description such as "the settings file"
    std::string path;   // empty: not given, skipped
};
// Whether no two of `paths` name the same file; otherwise a message on `err` naming both.
// Outputs that share a file would overwrite each other or the settings they were made from.
bool distinct_files(const char* program, const NamedPath* paths, int count, std::FILE* err);
