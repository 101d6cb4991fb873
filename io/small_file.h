#pragma once
// The small text files the programs take in (the settings file, the shaders), read whole into
// memory by one reader: regular files only, so that a FIFO or a device in their place is
// refused at once instead of hanging the start, up to a size limit, and without a leading UTF-8
// byte-order mark (editors on Windows write one).
#include <string>

constexpr long small_file_max_size = 1L << 20; // a settings file or a shader is a few kB

// How reading went; `error` is the errno of missing and unreadable.
struct SmallFileRead {
    enum Status { ok, missing, unreadable, not_regular, too_large } status;
    int error;
};
// Reads the file at `path` into `text` (empty unless ok).
SmallFileRead read_small_file(const char* path, std::string* text);
// Why a read failed, in words for a message.
std::string small_file_reason(const SmallFileRead& read);

// Drops each CR that precedes a LF, so that every line ends in a bare line feed, as the shader
// compiler's line numbers expect; lone CRs stay. (The settings reader takes CR, LF and CR LF as
// line ends itself.)
void strip_cr_before_lf(std::string* text);
