#pragma once
// Texts of resources: names and strings are UTF-16 in the file; callers get UTF-8 (the portable form
// of narrow text). Names are compared the way the system's resource functions compare them: the
// asked-for name upper-cased, then code unit by code unit.

#include <cstddef>
#include <string>

namespace pe {

// UTF-8 of `count` UTF-16 code units; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const char16_t* text, std::size_t count);
inline std::string Utf16ToUtf8(const std::u16string& text) { return Utf16ToUtf8(text.data(), text.size()); }

// UTF-16 of a UTF-8 text; false when `text` is not valid UTF-8.
bool Utf8ToUtf16(const std::string& text, std::u16string* result);

}  // namespace pe
