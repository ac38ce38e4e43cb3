// Heroic's Windows games: the stores' lists of installed games (Epic through legendary, GOG), each
// game's settings in GamesConfig/<app>.json with its prefix and Wine, the defaults in config.json.
#include <string>
#include <vector>

#include "platform/posix/launcherFiles.h"

namespace platform {
namespace launcherfiles {
namespace {

using launchers::Node;

struct HeroicGame {
  std::string id;      // the store's app name
  std::string title;
  std::string folder;  // where it is installed
};

bool IsWindowsGame(const Node& game) {
  const std::string platform = game.TextOf("platform");
  return platform == "Windows" || platform == "windows";
}

// Epic's games: a mapping of app names to what legendary installed.
void EpicGames(const std::string& root, std::vector<HeroicGame>* games, PrefixSearch* search) {
  const std::string file = root + "/legendaryConfig/legendary/installed.json";
  Node tree;
  if (!ReadSettings(file, root, Format::Json, &tree, search)) return;
  if (!tree.IsMap()) {
    search->problems.push_back(file + ": is no mapping of installed games");
    return;
  }
  for (const launchers::Member& member : tree.members) {
    if (!member.value.IsMap() || !IsWindowsGame(member.value)) continue;
    games->push_back({member.name, member.value.TextOf("title"), member.value.TextOf("install_path")});
  }
}

// GOG's games: {"installed": [ {"appName": ..., "install_path": ...}, ... ]}.
void GogGames(const std::string& root, std::vector<HeroicGame>* games, PrefixSearch* search) {
  const std::string file = root + "/gog_store/installed.json";
  Node tree;
  if (!ReadSettings(file, root, Format::Json, &tree, search)) return;
  const Node* installed = tree.Find("installed");
  if (!installed || !installed->IsList()) {
    search->problems.push_back(file + ": has no \"installed\" list");
    return;
  }
  for (const launchers::Member& member : installed->members) {
    if (!member.value.IsMap() || !IsWindowsGame(member.value)) continue;
    const std::string folder = member.value.TextOf("install_path");
    games->push_back({member.value.TextOf("appName"), NameOf(folder), folder});
  }
}

// The Wine Heroic names in a game's (or the default) settings: {"bin": ..., "name": ..., "type": ...}.
PrefixWine HeroicWine(const Node* version) {
  PrefixWine wine;
  if (!version || !version->IsMap()) return wine;  // none named: the system's
  const std::string type = version->TextOf("type");
  const std::string bin = version->TextOf("bin");
  wine.name = version->TextOf("name");
  if (type != "wine" && type != "proton") {
    wine.kind = PrefixWine::Kind::Unavailable;
    wine.reason = "its Wine (" + wine.name + ", of the kind \"" + type + "\") does not run on Linux";
    return wine;
  }
  if (!IsUsablePath(bin)) {
    wine.kind = PrefixWine::Kind::Unavailable;
    wine.reason = "its Wine (" + wine.name + ") names no usable program";
    return wine;
  }
  if (type == "wine") return WineOfProgram(bin, wine.name);
  // Proton: "bin" is its proton script, its Wine the files (or, older, dist) folder beside it.
  const std::string base = FolderOf(bin);
  const PrefixWine files = WineBuildIn(base + "/files", wine.name, "its Proton ");
  return files.kind == PrefixWine::Kind::Build ? files : WineBuildIn(base + "/dist", wine.name, "its Proton ");
}

void AddGame(const std::string& root, const HeroicGame& game, const Node* defaults, PrefixSearch* search) {
  if (!IsUsableName(game.id)) return;
  const std::string file = root + "/GamesConfig/" + game.id + ".json";
  Node tree;
  if (!ReadSettings(file, root, Format::Json, &tree, search)) return;  // not set up (never started)
  const Node* settings = tree.Find(game.id);
  if (!settings || !settings->IsMap()) {
    search->problems.push_back(file + ": has no settings for " + game.id);
    return;
  }
  std::string prefixPath = settings->TextOf("winePrefix");
  const Node* version = settings->Find("wineVersion");
  if (!version && defaults) version = defaults->Find("wineVersion");
  if (prefixPath.empty() && defaults) prefixPath = defaults->TextOf("winePrefix");
  if (!IsUsablePath(prefixPath)) {
    if (!prefixPath.empty()) search->problems.push_back(file + ": its prefix is no usable folder");
    return;
  }
  // A prefix made for Proton keeps the prefix itself in its pfx folder.
  std::string prefix = Resolved(prefixPath);
  if (!prefix.empty() && !IsPrefix(prefix) && IsPrefix(prefix + "/pfx")) prefix = Resolved(prefix + "/pfx");
  if (prefix.empty() || !IsPrefix(prefix)) return;  // made when the game first starts
  FoundPrefix found;
  found.launcher = Launcher::Heroic;
  found.prefix = prefix;
  found.id = game.id;
  found.title = game.title;
  if (IsUsablePath(game.folder)) {
    const std::string folder = Resolved(game.folder);
    if (!folder.empty() && IsFolder(folder)) found.gameFolders.push_back(folder);
  }
  found.wine = HeroicWine(version);
  search->prefixes.push_back(found);
}

void FindIn(const std::string& root, const std::string& variant, PrefixSearch* search) {
  if (!IsFolder(root)) return;
  Node config;
  const Node* defaults = nullptr;
  if (ReadSettings(root + "/config.json", root, Format::Json, &config, search)) {
    // Newer files keep the defaults in "defaultSettings", older ones at the top.
    defaults = config.Find("defaultSettings");
    if (!defaults || !defaults->IsMap()) defaults = config.IsMap() ? &config : nullptr;
  }
  std::vector<HeroicGame> games;
  EpicGames(root, &games, search);
  GogGames(root, &games, search);
  const std::size_t first = search->prefixes.size();
  for (const HeroicGame& game : games) AddGame(root, game, defaults, search);
  for (std::size_t i = first; i < search->prefixes.size(); ++i) search->prefixes[i].variant = variant;
}

}  // namespace

void FindHeroicPrefixes(const LauncherHome& home, PrefixSearch* search) {
  FindIn(home.configHome + "/heroic", "", search);
  FindIn(home.home + "/.var/app/com.heroicgameslauncher.hgl/config/heroic", "Flatpak", search);
}

}  // namespace launcherfiles
}  // namespace platform
