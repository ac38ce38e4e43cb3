#include "app/installation.h"

#include "platform/fileSystem.h"
#include "platform/moduleResources.h"
#include "platform/registry.h"

namespace app {

bool FindInstallFolder(const std::string& configApp, std::string* installFolder) {
  std::string value;
  if (!platform::CurrentRegistry()->ReadString(platform::RegistryHive::LocalMachine, configApp.c_str(), "MAIN",
                                              &value)) {
    return false;
  }
  // A value cut at its first zero, as the system's string functions see it.
  value = value.c_str();
  if (value.empty() || value.size() >= kFolderLimit) return false;
  if (value.back() != '\\') value += '\\';
  *installFolder = value;
  return true;
}

bool FileExists(const std::string& path) {
  platform::FileSystem* files = platform::CurrentFileSystem();
  const platform::FileHandle handle = files->OpenRead(path.c_str());
  if (!platform::IsValidFile(handle)) return false;
  files->Close(handle);
  return true;
}

std::vector<std::string> FindExecutables(const std::vector<std::string>& appName, const std::string& installFolder,
                                         const std::string& targetDirectory) {
  std::vector<std::string> found;
  for (const std::string& name : appName) {
    if (!targetDirectory.empty()) {
      const std::string inTarget = installFolder + targetDirectory + "\\" + name;
      if (FileExists(inTarget)) found.push_back(inTarget);
    }
    if (FileExists(installFolder + name)) found.push_back(installFolder + name);
  }
  return found;
}

bool FindInstalledVersion(const std::vector<std::string>& executables, std::string* versionText,
                          std::string* executable) {
  for (const std::string& path : executables) {
    char text[kVersionTextLimit + 1] = {};
    platform::GetFileVersionText(path.c_str(), text, sizeof text);
    if (text[0] != '\0') {
      *versionText = text;
      *executable = path;
      return true;
    }
  }
  return false;
}

}  // namespace app
