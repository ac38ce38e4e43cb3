#pragma once
// The user's language and the narrow form of texts.

#include <cstddef>
#include <string>

namespace platform {

// The user's default locale identifier as Windows numbers it (1031 German, 3082 Spanish, 1033 US
// English). Windows: the system's. Linux: from LC_ALL, then LC_MESSAGES, then LANG ("de_DE.UTF-8" is
// 1031); an unknown or missing setting gives 1033.
unsigned UserDefaultLocale();

// UTF-16 text in the program's narrow form: the ANSI code page on Windows (characters it lacks become
// '?'), UTF-8 on Linux (an unpaired surrogate becomes U+FFFD).
std::string NarrowFromUtf16(const char16_t* text, std::size_t count);
// UTF-8 text (as the publisher tools write lists of file names) in the program's narrow form: on
// Windows converted to the ANSI code page when it is valid UTF-8, else kept as it is (a list written
// in that code page already); on Linux kept as it is.
std::string NarrowFromUtf8(const std::string& text);

}  // namespace platform
