#pragma once
// Plain helpers for names and paths in the program's own form: ASCII case folding, as Windows compares
// file names and payload names, and the parts of a path.

#include <cstddef>
#include <string>

// The one home of ASCII case folding, for every folder from the containers up (the config library,
// streams and banks, the patch, the publisher's tools): a-z upper-cased or A-Z lower-cased, every other
// byte as it is, whatever the C library's locale. Folding of letters beyond ASCII is pe/nameCase.h's.
inline char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
inline char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
std::string UpperAscii(const std::string& text);
std::string LowerAscii(const std::string& text);
bool EqualIgnoringCase(const std::string& a, const std::string& b);
bool EqualIgnoringCase(const char* a, const char* b);
// True when `text` begins with `prefix`, compared without regard to ASCII case.
bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix);

// Where the file-name part begins: after the last backslash or slash, or after a leading "X:".
std::size_t FileNameStart(const std::string& path);
// The position of the last '.' of the file-name part, or npos.
std::size_t ExtensionStart(const std::string& path);
