#include "platform/locale.h"

#include <windows.h>

#include "platform/win32/wideText.h"

namespace platform {

unsigned UserDefaultLocale() { return GetUserDefaultLCID(); }

std::string NarrowFromUtf16(const char16_t* text, std::size_t count) {
  if (count == 0) return std::string();
  return Utf8Text(reinterpret_cast<const wchar_t*>(text), static_cast<int>(count));
}

std::string NarrowFromUtf8(const std::string& text) {
  bool ascii = true;
  for (const char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) return text;
  const int length = static_cast<int>(text.size());
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0) > 0) return text;
  const int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  if (needed <= 0) return text;
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), length, &wide[0], needed);
  return Utf8Text(wide.c_str(), needed);
}

}  // namespace platform
