#include "patch/entryNames.h"

namespace patch {

std::string UpperAscii(const std::string& text) {
  std::string upper = text;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && UpperAscii(a) == UpperAscii(b);
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

bool HasDistributionSuffix(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  return dot != std::string::npos && dot + 1 < name.size() && name[dot + 1] == '#';
}

std::string DistributionTag(const std::string& name) {
  return HasDistributionSuffix(name) ? name.substr(name.rfind('.') + 2) : std::string();
}

std::string WithoutDistributionSuffix(const std::string& name) {
  return HasDistributionSuffix(name) ? name.substr(0, name.rfind('.')) : name;
}

bool IsContainedRelativePath(const std::string& relativePath) {
  if (relativePath.empty() || relativePath.find(':') != std::string::npos) return false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = relativePath.find_first_of("\\/", start);
    const std::string component = relativePath.substr(start, end == std::string::npos ? std::string::npos : end - start);
    // Windows drops trailing dots and blanks from a component, so ". ." or "... " would mean a parent.
    if (component.find_first_not_of(". ") == std::string::npos) return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

}  // namespace patch
