// Steam's Proton prefixes: one per game in steamapps/compatdata/<appid>/pfx of every library, in
// native, Flatpak and Snap installations.
#include <string>
#include <vector>

#include "platform/posix/launcherFiles.h"

namespace platform {
namespace launcherfiles {
namespace {

using launchers::Node;

// The longest text config_info may be; it names a handful of folders.
constexpr std::size_t kConfigInfoLimit = 64 * 1024;

struct SteamRoot {
  std::string folder;  // resolved
  std::string variant;
};

struct SteamApp {
  std::string name;
  std::string folder;  // steamapps/common/<installdir>, resolved; "" when it is not there
};

bool IsAppId(const std::string& name) {
  if (name.empty() || name.size() > 20) return false;
  for (char c : name) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// The Steam installations in the home: each folder with a steamapps folder, once.
std::vector<SteamRoot> SteamRoots(const LauncherHome& home) {
  const std::string flatpak = home.home + "/.var/app/com.valvesoftware.Steam";
  const std::string snap = home.home + "/snap/steam/common";
  const std::vector<SteamRoot> candidates = {
      {home.home + "/.steam/steam", ""},           {home.home + "/.steam/root", ""},
      {home.dataHome + "/Steam", ""},              {home.home + "/.local/share/Steam", ""},
      {home.home + "/.steam/debian-installation", ""},
      {flatpak + "/.local/share/Steam", "Flatpak"}, {flatpak + "/data/Steam", "Flatpak"},
      {snap + "/.local/share/Steam", "Snap"},       {snap + "/.steam/steam", "Snap"}};
  std::vector<SteamRoot> roots;
  for (const SteamRoot& candidate : candidates) {
    const std::string folder = Resolved(candidate.folder);
    if (folder.empty() || !IsFolder(folder + "/steamapps")) continue;
    bool known = false;
    for (const SteamRoot& root : roots) known = known || root.folder == folder;
    if (!known) roots.push_back({folder, candidate.variant});
  }
  return roots;
}

// The installation's own library first, then those its library list names that are there (a disk
// that is not mounted, an SD card that is out, is no problem).
std::vector<std::string> Libraries(const SteamRoot& root, PrefixSearch* search) {
  std::vector<std::string> libraries = {root.folder};
  for (const char* list : {"/steamapps/libraryfolders.vdf", "/config/libraryfolders.vdf"}) {
    const std::string file = root.folder + list;
    Node tree;
    if (!ReadSettings(file, root.folder, Format::Vdf, &tree, search)) continue;
    const Node* folders = tree.Find("libraryfolders", true);
    if (!folders || !folders->IsMap()) {
      search->problems.push_back(file + ": has no \"libraryfolders\" block");
      continue;
    }
    for (const launchers::Member& member : folders->members) {
      // Each library is a block with its "path"; older lists give the path as the numbered value.
      const std::string path = member.value.IsMap() ? member.value.TextOf("path", true)
                               : IsAppId(member.name) ? member.value.text
                                                      : std::string();
      if (path.empty()) continue;
      if (!IsUsablePath(path)) {
        search->problems.push_back(file + ": library \"" + member.name + "\" names no usable folder");
        continue;
      }
      const std::string folder = Resolved(path);
      if (folder.empty() || !IsFolder(folder + "/steamapps")) continue;
      bool known = false;
      for (const std::string& library : libraries) known = known || library == folder;
      if (!known) libraries.push_back(folder);
    }
    break;  // the second list is a copy of the first
  }
  return libraries;
}

// The app's name and folder from its manifest in `library`; false when the library has none.
bool ReadApp(const std::string& library, const std::string& id, SteamApp* app, PrefixSearch* search) {
  const std::string file = library + "/steamapps/appmanifest_" + id + ".acf";
  Node tree;
  if (!ReadSettings(file, library, Format::Vdf, &tree, search)) return false;
  const Node* state = tree.Find("AppState", true);
  if (!state || !state->IsMap()) {
    search->problems.push_back(file + ": has no \"AppState\" block");
    return false;
  }
  const std::string appId = state->TextOf("appid", true);
  if (!appId.empty() && appId != id) {
    search->problems.push_back(file + ": is the manifest of another app (" + appId + ")");
    return false;
  }
  app->name = state->TextOf("name", true);
  const std::string installDir = state->TextOf("installdir", true);
  if (installDir.empty()) return true;
  if (!IsUsableName(installDir)) {
    search->problems.push_back(file + ": its install folder \"" + installDir + "\" is no folder name");
    return true;
  }
  const std::string folder = Resolved(library + "/steamapps/common/" + installDir);
  if (!folder.empty() && IsFolder(folder)) app->folder = folder;
  return true;
}

// The Proton that made the prefix, as its compatdata's config_info records it: a version line, then
// folders of that Proton's files ("/.../Proton 8.0/files/share/fonts/").
PrefixWine ProtonOf(const std::string& compatData) {
  PrefixWine unknown;
  unknown.kind = PrefixWine::Kind::Unavailable;
  const std::string file = compatData + "/config_info";
  std::string text, problem;
  if (!IsThere(file)) {
    unknown.reason = "the Proton that made this prefix is not recorded (no " + file + ")";
    return unknown;
  }
  if (!ReadLauncherFile(file, compatData, kConfigInfoLimit, &text, &problem)) {
    unknown.reason = file + " " + problem;
    return unknown;
  }
  std::size_t start = text.find('\n');
  while (start != std::string::npos && start < text.size()) {
    std::size_t end = text.find('\n', start + 1);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start + 1, end - start - 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    start = end;
    if (!IsUsablePath(line)) continue;
    for (const char* marker : {"/files/", "/dist/"}) {
      const std::size_t at = line.rfind(marker);
      if (at == std::string::npos || at == 0) continue;
      const std::string build = line.substr(0, at + std::string(marker).size() - 1);
      return WineBuildIn(build, NameOf(FolderOf(build)), "its Proton ");
    }
  }
  unknown.reason = file + " names no Proton folder";
  return unknown;
}

void AddLibraryPrefixes(const SteamRoot& root, const std::vector<std::string>& libraries, const std::string& library,
                        PrefixSearch* search) {
  const std::string compatFolder = library + "/steamapps/compatdata";
  for (const std::string& id : FolderNames(compatFolder)) {
    if (!IsAppId(id)) continue;
    const std::string compatData = Resolved(compatFolder + "/" + id);
    const std::string prefix = compatData.empty() ? std::string() : Resolved(compatData + "/pfx");
    if (prefix.empty() || !IsPrefix(prefix)) continue;  // not made yet
    FoundPrefix found;
    found.launcher = Launcher::Steam;
    found.variant = root.variant;
    found.prefix = prefix;
    found.id = id;
    // The game is usually in the library of its prefix; look there first.
    SteamApp app;
    bool known = ReadApp(library, id, &app, search);
    for (std::size_t i = 0; !known && i < libraries.size(); ++i) {
      if (libraries[i] != library) known = ReadApp(libraries[i], id, &app, search);
    }
    found.title = app.name;
    if (!app.folder.empty()) found.gameFolders.push_back(app.folder);
    found.wine = ProtonOf(compatData);
    search->prefixes.push_back(found);
  }
}

}  // namespace

void FindSteamPrefixes(const LauncherHome& home, PrefixSearch* search) {
  for (const SteamRoot& root : SteamRoots(home)) {
    const std::vector<std::string> libraries = Libraries(root, search);
    for (const std::string& library : libraries) AddLibraryPrefixes(root, libraries, library, search);
  }
}

}  // namespace launcherfiles
}  // namespace platform
