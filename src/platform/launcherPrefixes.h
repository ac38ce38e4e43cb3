#pragma once
// The Wine and Proton prefixes of a Linux player's home, found the way the player's game launchers
// keep them, without starting any launcher (Linux; on Windows there are none):
//
// - plain Wine: $WINEPREFIX, ~/.wine, and the named prefixes below ~/.local/share/wineprefixes;
// - Steam, installed natively (~/.steam/steam, ~/.local/share/Steam, ~/.steam/debian-installation),
//   as a Flatpak (~/.var/app/com.valvesoftware.Steam/...) or a Snap (~/snap/steam/common/...): every
//   library of steamapps/libraryfolders.vdf (other disks and SD cards included), one Proton prefix per
//   game in steamapps/compatdata/<appid>/pfx, the game's name and folder from
//   steamapps/appmanifest_<appid>.acf, the Proton from the compatdata's config_info;
// - Lutris: the game files in ~/.local/share/lutris/games and ~/.config/lutris/games (their prefix,
//   executable and Wine runner), the runner's default in runners/wine.yml;
// - Heroic (native or Flatpak): GamesConfig/<app>.json for each game of the stores' lists of installed
//   games (legendaryConfig/legendary/installed.json, gog_store/installed.json,
//   sideload_apps/library.json), the defaults in config.json;
// - Bottles (native or Flatpak): bottles/<name>/bottle.yml with the bottle's runner and programs.
//
// Every file is read through the file system seam (tests give fixture homes and failing file systems),
// at most settingsTree.h's size limit, and only when it is a file inside its launcher's own folder (a
// link that leads elsewhere is refused). A file that cannot be read, or is no file of its kind, is
// skipped and named in the search's problems; the rest is still found.

#include <string>
#include <vector>

#include "platform/machine.h"

namespace platform {

// Where the launchers keep their files.
struct LauncherHome {
  std::string home;        // $HOME
  std::string dataHome;    // $XDG_DATA_HOME, else home/.local/share
  std::string configHome;  // $XDG_CONFIG_HOME, else home/.config
  std::string winePrefix;  // $WINEPREFIX, "" when it is not set
};

// The running user's, from the environment.
LauncherHome UserLauncherHome();

enum class Launcher { Wine, Steam, Lutris, Heroic, Bottles };

// "Wine", "Steam", "Lutris", "Heroic", "Bottles".
const char* LauncherName(Launcher launcher);

struct FoundPrefix {
  Launcher launcher = Launcher::Wine;
  std::string variant;   // how the launcher is installed: "", "Flatpak", "Snap"
  std::string prefix;    // the prefix folder, a native path with its links resolved
  std::string id;        // the launcher's name for the game or prefix: a Steam app id, a Lutris game's
                         // file name, Heroic's app name, the bottle's folder name; "" for plain Wine
  std::string title;     // the game's or bottle's name as the launcher shows it ("" when it has none)
  // Folders the launcher installed the game into (native paths with links resolved): a Steam game's
  // steamapps/common/<installdir>, Heroic's install path, the folder of a Lutris game's or a bottle's
  // program. A game there need not be in the prefix's registry.
  std::vector<std::string> gameFolders;
  PrefixWine wine;       // the Wine the launcher runs the prefix with
};

struct PrefixSearch {
  std::vector<FoundPrefix> prefixes;  // each prefix folder once, in the order above
  std::vector<std::string> problems;  // "<file>: <why it was skipped>"
};

// Every prefix of the launchers in `home`.
PrefixSearch FindPrefixes(const LauncherHome& home);

}  // namespace platform
