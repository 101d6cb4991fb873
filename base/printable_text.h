#pragma once
#include <string>

// `text` as a message may show it: every byte that is not printable ASCII (controls, DEL, bytes
// of other encodings) as \xNN, quotes and backslashes escaped, so nothing in a file can move
// the terminal's cursor or change its colours.
std::string printable_text(const char* text);
