#pragma once
// The characters and lines of a small text file (the firm list). Needs no platform.

#include <string>
#include <string_view>
#include <vector>

// A text file's characters: a byte-order mark selects UTF-8 or UTF-16 (little or big
// endian; an odd last byte is dropped); without one the bytes are code page 1250, like
// every short text.
std::wstring DecodeTextFile(std::string_view bytes);
// Every line an entry, empty ones included; CR LF, LF and CR each end a line, and a line
// break at the very end adds none.
std::vector<std::wstring> SplitLines(std::wstring_view text);
