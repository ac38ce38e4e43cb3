#pragma once
// Whether a prefix holds the game a manifest names, where, at which version and distribution: in the
// folder its registration names (where the patch run looks), else in a folder the prefix's launcher
// installed it into, or in a folder the player names. The same tests as the run's: the manifest's
// executables, the first version text, the distribution rules.

#include <string>
#include <vector>

#include "app/manifest.h"

namespace app {

struct GameLocation {
  bool found = false;
  bool registered = false;        // in the folder of its registration: the run finds it by itself
  std::string installFolder;      // in the program's own form, ending with a backslash
  std::string versionText;        // of the first executable that has one
  std::vector<std::string> distributions;  // the candidates the recognition rules leave
};

// Looks in the selected prefix (SelectPrefix first): the registered folder, then each of
// `gameFolders` (native folders, such as a Steam game's steamapps/common/<installdir>).
GameLocation LocateGame(const Manifest& manifest, const std::vector<std::string>& gameFolders);

// Looks only in `folder` (a native folder), whatever the registry says.
GameLocation LocateGameIn(const Manifest& manifest, const std::string& folder);

// A native folder as an installation folder of the selected prefix (ToWindowsPath, ending with a
// backslash). False when it cannot be named there or is longer than a registered folder may be.
bool InstallFolderOf(const std::string& folder, std::string* installFolder);

}  // namespace app
