#include "platform/machine.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

std::string selected;  // empty until chosen

bool IsFolder(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string DefaultPrefix() {
  const char* wine = std::getenv("WINEPREFIX");
  if (wine && *wine) return wine;
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "") + "/.wine";
}

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

bool SelectPrefix(const char* directory, std::string* error) {
  std::string prefix = WithoutTrailingSlash(directory && *directory ? directory : DefaultPrefix());
  if (!IsFolder(prefix)) {
    if (error) *error = "Wine prefix '" + prefix + "' does not exist";
    return false;
  }
  if (!IsFolder(prefix + "/drive_c") && !IsFolder(prefix + "/dosdevices")) {
    if (error) *error = "'" + prefix + "' is not a Wine prefix (it has no drive_c or dosdevices folder)";
    return false;
  }
  selected = prefix;
  return true;
}

std::string PrefixDirectory() {
  if (selected.empty()) selected = WithoutTrailingSlash(DefaultPrefix());
  return selected;
}

bool MachineIs64Bit() {
  std::FILE* file = std::fopen((PrefixDirectory() + "/system.reg").c_str(), "rb");
  if (!file) return true;
  // The architecture line sits in the header, before the first key.
  char line[256];
  bool is64 = true;
  while (std::fgets(line, sizeof line, file)) {
    if (line[0] == '[') break;
    if (std::strncmp(line, "#arch=", 6) == 0) {
      is64 = std::strncmp(line + 6, "win32", 5) != 0;
      break;
    }
  }
  std::fclose(file);
  return is64;
}

bool ToNativePath(const char* name, std::string* native) {
  native->assign(name ? name : "");
  for (char& c : *native) {
    if (c == '\\') c = '/';
  }
  return true;
}

}  // namespace platform
