#include "platform/machine.h"

#include <dirent.h>
#include <pwd.h>
#include <unistd.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/posix/folderNameIndex.h"

namespace platform {
namespace {

// Empty until chosen; chosen on first use by whichever thread asks first (the publisher tools start
// processes from several threads), so it is read and written under its lock, with its Wine.
std::string selected;
PrefixWine selectedWine;
std::mutex& SelectedLock() {
  static std::mutex lock;
  return lock;
}

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
  // Held as an absolute path: the patch run changes the current folder on its way.
  if (prefix[0] != '/') {
    char* absolute = ::realpath(prefix.c_str(), nullptr);
    if (absolute) {
      prefix = absolute;
      std::free(absolute);
    }
  }
  std::lock_guard<std::mutex> hold(SelectedLock());
  selected = prefix;
  selectedWine = PrefixWine();
  return true;
}

void SelectPrefixWine(const PrefixWine& wine) {
  std::lock_guard<std::mutex> hold(SelectedLock());
  selectedWine = wine;
}

PrefixWine SelectedPrefixWine() {
  std::lock_guard<std::mutex> hold(SelectedLock());
  return selectedWine;
}

std::string PrefixDirectory() {
  std::lock_guard<std::mutex> hold(SelectedLock());
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

namespace {

bool Exists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

// The folder a drive letter stands for: its dosdevices link, else drive_c for C: and / for Z:.
bool DriveRoot(char letter, std::string* root) {
  const char lower = static_cast<char>(letter >= 'A' && letter <= 'Z' ? letter + 32 : letter);
  const std::string link = PrefixDirectory() + "/dosdevices/" + lower + ":";
  if (Exists(link)) {
    *root = link;
    return true;
  }
  if (lower == 'c') {
    *root = PrefixDirectory() + "/drive_c";
    return true;
  }
  if (lower == 'z') {
    *root = "";
    return true;
  }
  return false;
}

}  // namespace

std::string ProgramFilesFolder() { return MachineIs64Bit() ? "C:\\Program Files (x86)" : "C:\\Program Files"; }

bool CommonProgramsFolder(std::string* folder) {
  *folder = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs";
  return true;
}

bool TemporaryFolder(std::string* folder) {
  // The prefix's user folder is named after the Unix user, as Wine names it.
  const char* user = std::getenv("USER");
  std::string name = user && *user ? user : "";
  if (name.empty()) {
    const struct passwd* account = ::getpwuid(::geteuid());
    if (account && account->pw_name) name = account->pw_name;
  }
  if (name.empty()) return false;
  const std::string base = "C:\\users\\" + name;
  for (const char* candidate : {"\\Temp", "\\AppData\\Local\\Temp"}) {
    std::string native;
    if (ToNativePath((base + candidate).c_str(), &native) && IsFolder(native)) {
      *folder = base + candidate + "\\";
      return true;
    }
  }
  std::string native;
  if (!ToNativePath((base + "\\Temp").c_str(), &native)) return false;
  const std::string users = PrefixDirectory() + "/drive_c/users";
  ::mkdir(users.c_str(), 0777);
  ::mkdir(native.substr(0, native.find_last_of('/')).c_str(), 0777);
  ::mkdir(native.c_str(), 0777);
  if (!IsFolder(native)) return false;
  *folder = base + "\\Temp\\";
  return true;
}

bool ToNativePath(const char* name, std::string* native) {
  std::string path(name ? name : "");
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  // The root: a drive of the prefix, the file system's root, or the current folder.
  std::string root;
  std::size_t start = 0;
  if (path.size() >= 2 && path[1] == ':' && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
    if (!DriveRoot(path[0], &root)) {
      errno = ENOENT;
      return false;
    }
    start = 2;
  } else if (!path.empty() && path[0] == '/') {
    root = "";
  } else {
    root = ".";
  }
  if (path.empty()) {
    native->clear();
    return true;
  }
  // Each component is matched against the folder's entries; once one does not exist, the rest keep
  // the spelling given (they are about to be created). ".." never climbs above the root.
  std::vector<std::string> components;
  bool resolving = true;
  std::string folder = root;
  for (std::size_t at = start; at <= path.size();) {
    std::size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    const std::string component = path.substr(at, end - at);
    at = end + 1;
    if (component.empty() || component == ".") continue;
    if (component == "..") {
      if (components.empty()) {
        errno = EACCES;
        return false;
      }
      components.pop_back();
      folder = root;
      for (const std::string& part : components) folder += "/" + part;
      resolving = Exists(folder.empty() ? "/" : folder);
      continue;
    }
    std::string match = component;
    if (resolving && !MatchFolderEntry(folder, component, &match)) resolving = false;
    components.push_back(resolving ? match : component);
    folder += "/" + components.back();
  }
  *native = root;
  for (const std::string& part : components) *native += "/" + part;
  if (native->empty()) *native = "/";
  // A name that ends with a separator names a folder; keep the mark for callers that look at it.
  if (path.back() == '/' && native->back() != '/') *native += '/';
  if (root == "." && native->size() > 2) native->erase(0, 2);
  return true;
}

namespace {

// The path with every link resolved; "" when it does not exist.
std::string Resolved(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return std::string();
  std::string result = resolved;
  std::free(resolved);
  return result;
}

// True when `path` is `folder` or lies below it (both resolved; "/" holds everything).
bool Holds(const std::string& folder, const std::string& path) {
  if (folder == "/") return true;
  return path.compare(0, folder.size(), folder) == 0 && (path.size() == folder.size() || path[folder.size()] == '/');
}

}  // namespace

bool ToWindowsPath(const std::string& native, std::string* name) {
  const std::string path = Resolved(native);
  if (path.empty() || path.find('\\') != std::string::npos) return false;
  // Each drive with the folder it stands for, as DriveRoot maps them.
  std::vector<std::pair<char, std::string>> drives;
  const std::string devices = PrefixDirectory() + "/dosdevices";
  if (DIR* listing = ::opendir(devices.c_str())) {
    while (struct dirent* entry = ::readdir(listing)) {
      const char letter = entry->d_name[0];
      if (letter < 'a' || letter > 'z' || std::strcmp(entry->d_name + 1, ":") != 0) continue;
      const std::string target = Resolved(devices + "/" + entry->d_name);
      if (!target.empty()) drives.emplace_back(letter, target);
    }
    ::closedir(listing);
  }
  auto mapped = [&](char letter) {
    for (const auto& drive : drives) {
      if (drive.first == letter) return true;
    }
    return false;
  };
  if (!mapped('c')) {
    const std::string driveC = Resolved(PrefixDirectory() + "/drive_c");
    if (!driveC.empty()) drives.emplace_back('c', driveC);
  }
  if (!mapped('z')) drives.emplace_back('z', "/");
  // C: first, then the drive whose folder is nearest above the path (the lowest letter among equals).
  const std::pair<char, std::string>* best = nullptr;
  for (const auto& drive : drives) {
    if (!Holds(drive.second, path)) continue;
    const bool better = !best || (best->first != 'c' &&
                                  (drive.first == 'c' || drive.second.size() > best->second.size() ||
                                   (drive.second.size() == best->second.size() && drive.first < best->first)));
    if (better) best = &drive;
  }
  if (!best) return false;
  std::string rest = best->second == "/" ? path : path.substr(best->second.size());
  for (char& c : rest) {
    if (c == '/') c = '\\';
  }
  *name = std::string(1, static_cast<char>(best->first - 'a' + 'A')) + ":" + (rest.empty() ? "\\" : rest);
  return true;
}

}  // namespace platform
