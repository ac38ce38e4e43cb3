#include "Es/Containers/nameText.h"

std::string UpperAscii(const std::string& text) {
  std::string upper = text;
  for (char& c : upper) c = UpperAscii(c);
  return upper;
}

std::string LowerAscii(const std::string& text) {
  std::string lower = text;
  for (char& c : lower) c = LowerAscii(c);
  return lower;
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && UpperAscii(a) == UpperAscii(b);
}

bool EqualIgnoringCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    if (LowerAscii(*a) != LowerAscii(*b)) return false;
  }
  return *a == *b;
}

bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && EqualIgnoringCase(text.substr(0, prefix.size()), prefix);
}

std::size_t FileNameStart(const std::string& path) {
  const std::size_t separator = path.find_last_of("\\/");
  if (separator != std::string::npos) return separator + 1;
  return path.size() >= 2 && path[1] == ':' ? 2 : 0;
}

std::size_t ExtensionStart(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  return dot != std::string::npos && dot >= FileNameStart(path) ? dot : std::string::npos;
}
