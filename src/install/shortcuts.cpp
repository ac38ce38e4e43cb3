#include "install/shortcuts.h"

#include "Es/Containers/nameText.h"
#include "install/pathFolders.h"
#include "platform/fileSystem.h"
#include "platform/machine.h"
#include "platform/shellLink.h"

namespace install {
namespace {

bool Lists(const std::vector<std::string>& list, const std::string& distribution) {
  for (const std::string& listed : list) {
    if (EqualIgnoringCase(listed, distribution)) return true;
  }
  return false;
}

std::string WithSeparator(std::string folder) {
  if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
  return folder;
}

}  // namespace

std::string ResolveInstallPath(const std::string& value, const std::string& installFolder) {
  const bool relative = (value.empty() || (value[0] != '\\' && value[0] != '/')) &&
                        value.find("..") == std::string::npos && value.find(':') == std::string::npos;
  return relative ? WithSeparator(installFolder) + value : value;
}

bool ShortcutApplies(const Shortcut& shortcut, const std::string& distribution) {
  if (!shortcut.includeDistributions.empty() && !Lists(shortcut.includeDistributions, distribution)) return false;
  return !Lists(shortcut.excludeDistributions, distribution);
}

std::string ShortcutLinkPath(const Shortcut& shortcut, const std::string& installFolder,
                             const std::string& commonPrograms) {
  if (shortcut.startMenuGroup.empty()) return ResolveInstallPath(shortcut.source, installFolder) + ".lnk";
  return WithSeparator(WithSeparator(commonPrograms) + shortcut.startMenuGroup) + shortcut.source + ".lnk";
}

namespace {

// The link's path, or "" with a problem when the start menu's folder is unknown.
std::string LinkPathOf(const Shortcut& shortcut, const std::string& installFolder, std::vector<std::string>* problems) {
  std::string commonPrograms;
  if (!shortcut.startMenuGroup.empty() && !platform::CommonProgramsFolder(&commonPrograms)) {
    problems->push_back("The shortcut " + shortcut.source + " cannot be made: the start menu's folder is unknown");
    return std::string();
  }
  return ShortcutLinkPath(shortcut, installFolder, commonPrograms);
}

// Whether a file can be created in the deepest folder of `linkPath` that exists; "" when it can.
std::string FolderProblem(const std::string& linkPath) {
  platform::FileSystem* files = platform::CurrentFileSystem();
  std::string folder = linkPath;
  for (;;) {
    const std::size_t separator = folder.find_last_of("\\/");
    if (separator == std::string::npos || separator == 0) return "no folder of " + linkPath + " exists";
    folder.resize(separator);
    bool isFolder = false;
    if (!files->Exists(folder.c_str(), &isFolder)) continue;
    if (!isFolder) return folder + " is a file, not a folder";
    if (!files->CanCreateFileIn(folder.c_str())) return "cannot create a file in " + folder + ": " + platform::LastFileSystemErrorText();
    return std::string();
  }
}

}  // namespace

bool CanCreateShortcuts(const std::vector<Shortcut>& shortcuts, const std::string& installFolder,
                        const std::string& distribution, std::vector<std::string>* problems) {
  const std::size_t before = problems->size();
  for (const Shortcut& shortcut : shortcuts) {
    if (!ShortcutApplies(shortcut, distribution)) continue;
    const std::string linkPath = LinkPathOf(shortcut, installFolder, problems);
    if (linkPath.empty()) continue;
    const std::string problem = FolderProblem(linkPath);
    if (!problem.empty()) problems->push_back("The shortcut " + linkPath + " cannot be made: " + problem);
  }
  return problems->size() == before;
}

bool CreateShortcuts(const std::vector<Shortcut>& shortcuts, const std::string& installFolder,
                     DynArray<RefString>& uninstallList, const std::string& distribution,
                     std::vector<std::string>* problems) {
  const std::size_t before = problems->size();
  for (const Shortcut& shortcut : shortcuts) {
    if (!ShortcutApplies(shortcut, distribution)) continue;
    platform::ComponentLibraryScope components;
    const std::string linkPath = LinkPathOf(shortcut, installFolder, problems);
    if (linkPath.empty()) continue;
    if (!CreatePathDirectories(linkPath.c_str(), true, &uninstallList)) {
      problems->push_back("The shortcut " + linkPath + " was not made: its folder cannot be created (" + platform::LastFileSystemErrorText() +
                          ")");
      continue;
    }
    if (!platform::CreateShellLink(linkPath.c_str(), ResolveInstallPath(shortcut.destination, installFolder).c_str(),
                                   shortcut.description.c_str(),
                                   ResolveInstallPath(shortcut.workingDirectory, installFolder).c_str(),
                                   shortcut.arguments.c_str())) {
      problems->push_back("The shortcut " + linkPath + " was not made: " + platform::LastFileSystemErrorText());
      continue;
    }
    uninstallList.Add(RefString(("F:" + linkPath).c_str()));
  }
  return problems->size() == before;
}

}  // namespace install
