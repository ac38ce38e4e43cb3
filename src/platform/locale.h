#pragma once
// The user's language and the narrow form of texts.

#include <cstddef>
#include <string>

namespace platform {

// The user's default locale identifier as Windows numbers it (1031 German, 3082 Spanish, 1033 US
// English). Windows: the system's. Linux: from LC_ALL, then LC_MESSAGES, then LANG ("de_DE.UTF-8" is
// 1031); an unknown or missing setting gives 1033.
unsigned UserDefaultLocale();

// UTF-16 text in the program's narrow form, UTF-8 on both systems (the Windows program hands names to
// the wide-character functions, converted at the seam); an unpaired surrogate becomes U+FFFD.
std::string NarrowFromUtf16(const char16_t* text, std::size_t count);
// UTF-8 text (as the publisher tools write lists of file names) in the program's narrow form: kept as
// it is. On Windows a text that is not valid UTF-8 is taken as written in the ANSI code page (an older
// list) and converted from it.
std::string NarrowFromUtf8(const std::string& text);

}  // namespace platform
