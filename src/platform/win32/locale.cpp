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

}  // namespace platform
