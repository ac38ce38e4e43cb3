#include "platform/launcherPrefixes.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/launcherFiles.h"

namespace platform {
namespace {

using launcherfiles::IsPrefix;
using launcherfiles::Resolved;

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// Plain Wine prefixes: $WINEPREFIX, ~/.wine and the named prefixes of ~/.local/share/wineprefixes.
void FindWinePrefixes(const LauncherHome& home, PrefixSearch* search) {
  std::vector<std::pair<std::string, std::string>> candidates = {{home.winePrefix, ""}, {home.home + "/.wine", ""}};
  const std::string named = home.dataHome + "/wineprefixes";
  for (const std::string& name : launcherfiles::FolderNames(named)) {
    if (launcherfiles::IsUsableName(name)) candidates.emplace_back(named + "/" + name, name);
  }
  for (const auto& candidate : candidates) {
    if (candidate.first.empty()) continue;
    const std::string prefix = Resolved(candidate.first);
    if (prefix.empty() || !IsPrefix(prefix)) continue;
    FoundPrefix found;
    found.prefix = prefix;
    found.id = candidate.second;
    search->prefixes.push_back(found);
  }
}

// Each prefix folder once: a launcher's entry replaces a plain Wine one for the same folder (the
// launcher knows its Wine), and entries of one folder share their game folders.
std::vector<FoundPrefix> Merged(const std::vector<FoundPrefix>& found) {
  std::vector<FoundPrefix> merged;
  for (const FoundPrefix& prefix : found) {
    auto same = std::find_if(merged.begin(), merged.end(),
                             [&](const FoundPrefix& known) { return known.prefix == prefix.prefix; });
    if (same == merged.end()) {
      merged.push_back(prefix);
    } else if (same->launcher == Launcher::Wine && prefix.launcher != Launcher::Wine) {
      *same = prefix;  // plain Wine entries know no game folders
    } else {
      for (const std::string& folder : prefix.gameFolders) {
        if (std::find(same->gameFolders.begin(), same->gameFolders.end(), folder) == same->gameFolders.end()) {
          same->gameFolders.push_back(folder);
        }
      }
    }
  }
  return merged;
}

}  // namespace

LauncherHome UserLauncherHome() {
  LauncherHome home;
  home.home = Variable("HOME");
  home.dataHome = Variable("XDG_DATA_HOME");
  if (home.dataHome.empty() || home.dataHome[0] != '/') home.dataHome = home.home + "/.local/share";
  home.configHome = Variable("XDG_CONFIG_HOME");
  if (home.configHome.empty() || home.configHome[0] != '/') home.configHome = home.home + "/.config";
  home.winePrefix = Variable("WINEPREFIX");
  return home;
}

PrefixSearch FindPrefixes(const LauncherHome& home) {
  PrefixSearch search;
  if (home.home.empty()) return search;
  FindWinePrefixes(home, &search);
  launcherfiles::FindSteamPrefixes(home, &search);
  launcherfiles::FindLutrisPrefixes(home, &search);
  launcherfiles::FindHeroicPrefixes(home, &search);
  launcherfiles::FindBottlesPrefixes(home, &search);
  search.prefixes = Merged(search.prefixes);
  return search;
}

}  // namespace platform
