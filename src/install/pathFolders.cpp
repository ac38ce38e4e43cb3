#include "install/pathFolders.h"

#include <string>

#include "install/uninstallLog.h"
#include "platform/fileSystem.h"

namespace install {

bool CreatePathDirectories(const char* path, bool stripFileName) {
  std::string text = path ? path : "";
  if (text.empty()) return true;
  if (stripFileName) {
    const std::size_t separator = text.find_last_of("\\/");
    text = separator == std::string::npos ? std::string() : text.substr(0, separator);
  }
  platform::FileSystem* files = platform::CurrentFileSystem();
  // The root (a drive, or the empty start of a network or native path) is kept as it is.
  std::size_t at = text.find_first_of("\\/");
  while (at != std::string::npos && at + 1 < text.size() && (text[at + 1] == '\\' || text[at + 1] == '/')) ++at;
  while (at != std::string::npos) {
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
      UninstallList().Add(RefString(("D:" + folder).c_str()));
    }
    at = next;
  }
  return true;
}

}  // namespace install
