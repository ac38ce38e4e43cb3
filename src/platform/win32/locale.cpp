#include "platform/locale.h"

#include <windows.h>

namespace platform {

unsigned UserDefaultLocale() { return GetUserDefaultLCID(); }

std::string NarrowFromUtf16(const char16_t* text, std::size_t count) {
  if (count == 0) return std::string();
  const auto* wide = reinterpret_cast<const wchar_t*>(text);
  const int length = static_cast<int>(count);
  const int needed = WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return std::string();
  std::string out(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, length, &out[0], needed, nullptr, nullptr);
  return out;
}

std::string NarrowFromUtf8(const std::string& text) {
  bool ascii = true;
  for (const char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) return text;
  const int length = static_cast<int>(text.size());
  const int needed = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
  if (needed <= 0) return text;
  std::u16string wide(static_cast<std::size_t>(needed), u'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, reinterpret_cast<wchar_t*>(&wide[0]), needed);
  return NarrowFromUtf16(wide.data(), wide.size());
}

}  // namespace platform
