// Bottles' bottles: each bottles/<name>/bottle.yml, a prefix with its runner and the programs added
// to it.
#include <string>

#include "platform/posix/launcherFiles.h"

namespace platform {
namespace launcherfiles {
namespace {

using launchers::Node;

// A bottle's runner: a build below runners/, or ("sys-wine-...") the system's Wine, which for the
// Flatpak is the one inside it.
PrefixWine BottleRunner(const std::string& runner, const std::string& root, bool flatpak) {
  PrefixWine wine;
  wine.name = runner;
  if (runner.compare(0, 9, "sys-wine-") == 0 || runner.empty()) {
    if (flatpak) {
      wine.kind = PrefixWine::Kind::Unavailable;
      wine.reason = "its Wine (" + (runner.empty() ? std::string("the system's") : runner) +
                    ") is the one inside the Bottles Flatpak, which cannot be run from outside it";
    }
    return wine;
  }
  if (!IsUsableName(runner)) {
    wine.kind = PrefixWine::Kind::Unavailable;
    wine.reason = "its runner's name is no folder name";
    return wine;
  }
  return WineBuildIn(root + "/runners/" + runner, runner, "its runner ");
}

void AddBottle(const std::string& root, const std::string& name, bool flatpak, PrefixSearch* search) {
  const std::string folder = root + "/bottles/" + name;
  const std::string file = folder + "/bottle.yml";
  Node tree;
  if (!ReadSettings(file, root, Format::Yaml, &tree, search)) return;
  if (!tree.IsMap()) {
    search->problems.push_back(file + ": is no bottle's settings");
    return;
  }
  const std::string prefix = Resolved(folder);
  if (prefix.empty() || !IsPrefix(prefix)) return;  // not made yet
  FoundPrefix found;
  found.launcher = Launcher::Bottles;
  found.variant = flatpak ? "Flatpak" : "";
  found.prefix = prefix;
  found.id = name;
  found.title = tree.TextOf("Name");
  // The folders of the programs added to the bottle.
  const Node* programs = tree.Find("External_Programs");
  if (programs && programs->IsMap()) {
    for (const launchers::Member& program : programs->members) {
      std::string path = program.value.TextOf("folder");
      if (path.empty()) path = FolderOf(program.value.TextOf("path"));
      if (!IsUsablePath(path)) continue;
      const std::string resolved = Resolved(path);
      if (!resolved.empty() && IsFolder(resolved)) found.gameFolders.push_back(resolved);
    }
  }
  found.wine = BottleRunner(tree.TextOf("Runner"), root, flatpak);
  search->prefixes.push_back(found);
}

}  // namespace

void FindBottlesPrefixes(const LauncherHome& home, PrefixSearch* search) {
  const std::string roots[] = {home.dataHome + "/bottles", home.home + "/.var/app/com.usebottles.bottles/data/bottles"};
  for (int i = 0; i < 2; ++i) {
    for (const std::string& name : FolderNames(roots[i] + "/bottles")) {
      if (IsUsableName(name)) {
        AddBottle(roots[i], name, i == 1, search);
      } else {
        search->problems.push_back(roots[i] + "/bottles/" + name + ": a name with control characters");
      }
    }
  }
}

}  // namespace launcherfiles
}  // namespace platform
