#pragma once
// The program's text is UTF-8 everywhere; the system's wide-character functions take UTF-16. These two
// convert at the seam, so a name of any script reaches the system whatever the ANSI code page is.

#include <windows.h>

#include <string>

namespace platform {

// UTF-16 of a UTF-8 text (nullptr is ""). A byte that is not valid UTF-8 becomes U+FFFD.
std::wstring WideText(const char* text);
inline std::wstring WideText(const std::string& text) { return WideText(text.c_str()); }

// UTF-8 of `count` UTF-16 code units, or of a terminated text when `count` is -1.
std::string Utf8Text(const wchar_t* text, int count = -1);

}  // namespace platform
