#include "app/gameLocation.h"

#include "app/distributions.h"
#include "app/installation.h"
#include "platform/machine.h"

namespace app {
namespace {

GameLocation AtFolder(const Manifest& manifest, const std::string& installFolder, bool registered) {
  GameLocation location;
  const std::vector<std::string> executables = FindExecutables(manifest.appName, installFolder, manifest.targetDirectory);
  std::string executable;
  if (executables.empty() || !FindInstalledVersion(executables, &location.versionText, &executable)) return location;
  location.found = true;
  location.registered = registered;
  location.installFolder = installFolder;
  location.distributions = DistributionCandidates(manifest);
  ApplyDistributionRules(manifest, installFolder, &location.distributions);
  return location;
}

}  // namespace

GameLocation LocateGame(const Manifest& manifest, const std::vector<std::string>& gameFolders) {
  std::string registeredFolder;
  if (FindInstallFolder(manifest.configApp, &registeredFolder)) {
    const GameLocation location = AtFolder(manifest, registeredFolder, true);
    if (location.found) return location;
  }
  for (const std::string& folder : gameFolders) {
    const GameLocation location = LocateGameIn(manifest, folder);
    if (location.found) return location;
  }
  return GameLocation();
}

GameLocation LocateGameIn(const Manifest& manifest, const std::string& folder) {
  std::string installFolder;
  if (!InstallFolderOf(folder, &installFolder)) return GameLocation();
  return AtFolder(manifest, installFolder, false);
}

bool InstallFolderOf(const std::string& folder, std::string* installFolder) {
  // The limit of a folder read from the registry, before its backslash is added.
  if (!platform::ToWindowsPath(folder, installFolder) || installFolder->size() >= kFolderLimit) return false;
  if (installFolder->back() != '\\') *installFolder += '\\';
  return true;
}

}  // namespace app
