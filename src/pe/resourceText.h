#pragma once
// Conversions between UTF-8 (the portable form of narrow text) and UTF-16 (the form of names and
// strings in resources, the registry and link files). The one home of these conversions: it sits at
// the bottom of the layers so that every reader of text may use it, the resource reader and the name
// case here, the launchers' settings readers, the platform's registry file and locale, and the
// user-interface backends above them.

#include <cstddef>
#include <string>

namespace pe {

// Appends the UTF-8 form of `code`, a code point the caller has checked (at most U+10FFFF).
void AppendUtf8(char32_t code, std::string* out);

// The code point of the UTF-8 sequence that starts at `at` (inside `text`) into *code and its length in
// bytes into *length; false, leaving both as they were, when the bytes there are not valid UTF-8 (a
// stray continuation byte, an overlong form, a surrogate, a value past U+10FFFF, a sequence cut short).
bool DecodeUtf8(const std::string& text, std::size_t at, char32_t* code, std::size_t* length);

// UTF-8 of `count` UTF-16 code units; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const char16_t* text, std::size_t count);
inline std::string Utf16ToUtf8(const std::u16string& text) { return Utf16ToUtf8(text.data(), text.size()); }

// UTF-16 of a UTF-8 text; false when `text` is not valid UTF-8.
bool Utf8ToUtf16(const std::string& text, std::u16string* result);

}  // namespace pe
