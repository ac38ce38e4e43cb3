#pragma once
// Plain helpers for names and paths in the program's own form: ASCII case folding, as Windows compares
// file names and payload names, and the parts of a path.

#include <cstddef>
#include <string>

// ASCII letters a-z upper-cased, everything else as it is.
std::string UpperAscii(const std::string& text);
bool EqualIgnoringCase(const std::string& a, const std::string& b);
// True when `text` begins with `prefix`, compared without regard to ASCII case.
bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix);

// Where the file-name part begins: after the last backslash or slash, or after a leading "X:".
std::size_t FileNameStart(const std::string& path);
// The position of the last '.' of the file-name part, or npos.
std::size_t ExtensionStart(const std::string& path);
