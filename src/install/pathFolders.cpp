#include "install/pathFolders.h"

#include <string>

#include "platform/fileSystem.h"

namespace install {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Whether `path` names its place from a root: a drive ("C:\"), a network share or a separator.
bool IsAbsolute(const std::string& path) {
  return (!path.empty() && IsSeparator(path[0])) || (path.size() > 2 && path[1] == ':' && IsSeparator(path[2]));
}

// The index of the separator that ends the root: after the drive, or for a network path
// ("\\server\share") after the share, whose folders cannot be made; npos when there is none.
std::size_t RootEnd(const std::string& path) {
  if (path.size() > 1 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    std::size_t at = 2;
    while (at < path.size() && IsSeparator(path[at])) ++at;
    for (int part = 0; part < 2 && at != std::string::npos; ++part) {
      at = path.find_first_of("\\/", at);
      if (at != std::string::npos && part == 0) ++at;
    }
    return at;
  }
  std::size_t at = path.find_first_of("\\/");
  while (at != std::string::npos && at + 1 < path.size() && IsSeparator(path[at + 1])) ++at;
  return at;
}

}  // namespace

bool CreatePathDirectories(const char* path, bool stripFileName, DynArray<RefString>* uninstall) {
  std::string text = path ? path : "";
  if (text.empty()) return true;
  platform::FileSystem* files = platform::CurrentFileSystem();
  if (!IsAbsolute(text)) {
    std::string current;
    if (!files->CurrentFolder(&current)) return false;
    text = current + (current.empty() || IsSeparator(current.back()) ? "" : "\\") + text;
  }
  if (text.size() > 260) return false;
  if (stripFileName) {
    const std::size_t separator = text.find_last_of("\\/");
    text = separator == std::string::npos ? std::string() : text.substr(0, separator);
  }
  for (std::size_t at = RootEnd(text); at != std::string::npos;) {
    const std::size_t next = text.find_first_of("\\/", at + 1);
    const std::string folder = text.substr(0, next == std::string::npos ? text.size() : next);
    if (folder.size() > at + 1) {
      bool isFolder = false;
      if (files->Exists(folder.c_str(), &isFolder) && isFolder) {
        // The action log "patch.log" goes to the deepest folder on the way that existed.
        files->SetCurrentFolder(folder.c_str());
      } else if (!files->CreateFolder(folder.c_str())) {
        return false;
      }
      if (uninstall) uninstall->Add(RefString(("D:" + folder).c_str()));
    }
    at = next;
  }
  return true;
}

}  // namespace install
