#include "patch/entryNames.h"

#include "Es/Containers/nameText.h"

namespace patch {

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

bool ChangesNoFile(const std::string& entryName) {
  const std::string name = WithoutDistributionSuffix(entryName);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || name.find_first_of("\\/", dot) != std::string::npos || name.size() - dot != 4) {
    return false;
  }
  const std::string action = UpperAscii(name.substr(dot + 1));
  return action == "EQU" || action == "INI";
}

bool IsContainedRelativePath(const std::string& relativePath) {
  if (relativePath.empty() || relativePath.find(':') != std::string::npos) return false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = relativePath.find_first_of("\\/", start);
    const std::string component = relativePath.substr(start, end == std::string::npos ? std::string::npos : end - start);
    // Windows drops trailing dots and blanks from a component, so ". ." or "... " would mean a parent.
    if (component.find_first_not_of(". ") == std::string::npos) return false;
    for (char c : component) {
      if (static_cast<unsigned char>(c) < 0x20) return false;  // no file system takes control characters
    }
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

}  // namespace patch
