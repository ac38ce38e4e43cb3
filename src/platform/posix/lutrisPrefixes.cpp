// Lutris's Wine games: one YAML file per game ("<slug>-<timestamp>.yml") with the game's prefix and
// executable, and the Wine runner it names (or the runner's default from runners/wine.yml).
#include <string>
#include <vector>

#include "platform/posix/launcherFiles.h"

namespace platform {
namespace launcherfiles {
namespace {

using launchers::Node;

// The game's name from its file name: "example-game-1700000000.yml" is "example-game".
std::string Slug(const std::string& fileName) {
  std::string slug = fileName.substr(0, fileName.size() - 4);
  const std::size_t dash = slug.find_last_of('-');
  if (dash != std::string::npos && dash + 1 < slug.size() &&
      slug.find_first_not_of("0123456789", dash + 1) == std::string::npos) {
    slug.erase(dash);
  }
  return slug;
}

// The Wine runner a version names: "system" is the system's Wine, any other a build below
// runners/wine; none named is the system's too.
PrefixWine Runner(const std::string& version, const std::string& dataFolder) {
  PrefixWine wine;
  wine.name = version.empty() ? "the system's Wine" : version;
  if (version.empty() || version == "system") return wine;
  if (!IsUsableName(version)) {
    wine.kind = PrefixWine::Kind::Unavailable;
    wine.reason = "its Wine runner's name is no folder name";
    return wine;
  }
  return WineBuildIn(dataFolder + "/runners/wine/" + version, version, "its Wine runner ");
}

void AddGame(const std::string& file, const std::string& root, const std::string& dataFolder,
             const std::string& defaultVersion, PrefixSearch* search) {
  Node tree;
  if (!ReadSettings(file, root, Format::Yaml, &tree, search)) return;
  const Node* game = tree.Find("game");
  if (!game || !game->IsMap()) {
    search->problems.push_back(file + ": has no \"game\" section");
    return;
  }
  const std::string prefixPath = game->TextOf("prefix");
  if (prefixPath.empty()) return;  // no Wine game, or one in the default prefix (found as plain Wine)
  if (!IsUsablePath(prefixPath)) {
    search->problems.push_back(file + ": its prefix is no usable folder");
    return;
  }
  const std::string prefix = Resolved(prefixPath);
  if (prefix.empty() || !IsPrefix(prefix)) {
    search->problems.push_back(file + ": its prefix " + prefixPath + " is no Wine prefix");
    return;
  }
  FoundPrefix found;
  found.launcher = Launcher::Lutris;
  found.prefix = prefix;
  found.id = Slug(NameOf(file));
  found.title = tree.TextOf("name");
  // The game's folder: the executable's, and the working folder when it names one.
  std::string exe = game->TextOf("exe");
  if (!exe.empty() && exe[0] != '/') exe = prefixPath + "/" + exe;
  for (const std::string& path : {exe.empty() ? std::string() : FolderOf(exe), game->TextOf("working_dir")}) {
    if (!IsUsablePath(path)) continue;
    const std::string folder = Resolved(path);
    if (!folder.empty() && IsFolder(folder)) found.gameFolders.push_back(folder);
  }
  const Node* wine = tree.Find("wine");
  const std::string version = wine && wine->IsMap() ? wine->TextOf("version") : std::string();
  found.wine = Runner(version.empty() ? defaultVersion : version, dataFolder);
  search->prefixes.push_back(found);
}

}  // namespace

void FindLutrisPrefixes(const LauncherHome& home, PrefixSearch* search) {
  const std::string dataFolder = home.dataHome + "/lutris";
  const std::string configFolder = home.configHome + "/lutris";
  std::string defaultVersion;
  Node runner;
  if (ReadSettings(configFolder + "/runners/wine.yml", configFolder, Format::Yaml, &runner, search)) {
    const Node* wine = runner.Find("wine");
    if (wine && wine->IsMap()) defaultVersion = wine->TextOf("version");
  }
  // Newer Lutris keeps the game files with its data, older with its settings.
  for (const std::string& root : {dataFolder, configFolder}) {
    const std::string folder = root + "/games";
    for (const std::string& name : FolderNames(folder)) {
      if (name.size() <= 4 || name.compare(name.size() - 4, 4, ".yml") != 0) continue;
      if (IsUsableName(name)) {
        AddGame(folder + "/" + name, root, dataFolder, defaultVersion, search);
      } else {
        search->problems.push_back(folder + "/" + name + ": a name with control characters");
      }
    }
  }
}

}  // namespace launcherfiles
}  // namespace platform
