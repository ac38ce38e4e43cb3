#include "platform/win32/wideText.h"

namespace platform {

std::wstring WideText(const char* text) {
  if (!text || !*text) return std::wstring();
  const int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (units <= 1) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, &wide[0], units);
  wide.resize(static_cast<std::size_t>(units) - 1);  // without the terminator
  return wide;
}

std::string Utf8Text(const wchar_t* text, int count) {
  if (!text || count == 0 || (count < 0 && !*text)) return std::string();
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, count, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string narrow(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, count, &narrow[0], bytes, nullptr, nullptr);
  if (count < 0) narrow.resize(static_cast<std::size_t>(bytes) - 1);
  return narrow;
}

}  // namespace platform
