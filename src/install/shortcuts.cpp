#include "install/shortcuts.h"

#include "Es/Containers/nameText.h"
#include "install/pathFolders.h"
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

void CreateShortcuts(const std::vector<Shortcut>& shortcuts, const std::string& installFolder,
                     DynArray<RefString>& uninstallList, const std::string& distribution) {
  for (const Shortcut& shortcut : shortcuts) {
    if (!ShortcutApplies(shortcut, distribution)) continue;
    platform::ComponentLibraryScope components;
    std::string commonPrograms;
    if (!shortcut.startMenuGroup.empty() && !platform::CommonProgramsFolder(&commonPrograms)) continue;
    const std::string linkPath = ShortcutLinkPath(shortcut, installFolder, commonPrograms);
    CreatePathDirectories(linkPath.c_str(), true);
    platform::CreateShellLink(linkPath.c_str(), ResolveInstallPath(shortcut.destination, installFolder).c_str(),
                              shortcut.description.c_str(),
                              ResolveInstallPath(shortcut.workingDirectory, installFolder).c_str(),
                              shortcut.arguments.c_str());
    uninstallList.Add(RefString(("F:" + linkPath).c_str()));
  }
}

}  // namespace install
