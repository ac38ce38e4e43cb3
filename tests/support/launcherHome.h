#pragma once
// A made-up player's home with the game launchers' files as they write them (no launcher installed):
// Steam native and Flatpak, each with two libraries (the second on another file system where one can
// be written, such as /dev/shm) holding Proton prefixes; a Lutris game, a Heroic game, a bottle, and a
// plain ~/.wine. Prefixes are folders with drive_c/ (and dosdevices/ where Wine makes
// one); Wine builds are folders with bin/wine. Everything is removed when the object goes.

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/launcherPrefixes.h"
#include "support/tempFolder.h"

class LauncherHomeFixture {
 public:
  LauncherHomeFixture() {
    namespace fs = std::filesystem;
    home = folder.Path() / "home";
    // The second library on another file system where one is at hand.
    const fs::path shm = "/dev/shm";
    std::error_code error;
    if (::access(shm.c_str(), W_OK) == 0) {
      otherDisk = shm / ("zrtest-library-" + folder.Path().filename().string());
    } else {
      otherDisk = folder.Path() / "media" / "sd";
    }
    fs::create_directories(otherDisk, error);

    steam = home / ".local/share/Steam";
    library2 = otherDisk / "SteamLibrary";
    fs::create_directories(home / ".steam");
    fs::create_directories(steam / "steamapps");
    fs::create_directory_symlink(steam, home / ".steam/steam");
    Write(steam / "steamapps/libraryfolders.vdf", LibraryFolders({steam.string(), library2.string(), "/nowhere/unmounted"}));
    proton = steam / "steamapps/common/Proton 8.0";
    WineBuild(proton / "files");
    // App 1001 in the first library: its game registered in its prefix by its own installer.
    registeredPrefix = ProtonPrefix(steam, "1001", "Registered Game", "Registered Game", proton / "files");
    // App 1002 in the second library: installed by Steam only, not in the prefix's registry.
    unregisteredGame = library2 / "steamapps/common/Unregistered Game";
    unregisteredPrefix = ProtonPrefix(library2, "1002", "Unregistered Game", "Unregistered Game", proton / "files");

    // Flatpak Steam, with a second library on the other disk too.
    flatpakSteam = home / ".var/app/com.valvesoftware.Steam/.local/share/Steam";
    flatpakLibrary2 = otherDisk / "FlatpakLibrary";
    Write(flatpakSteam / "steamapps/libraryfolders.vdf", LibraryFolders({flatpakSteam.string(), flatpakLibrary2.string()}));
    const std::filesystem::path flatpakProton = flatpakSteam / "steamapps/common/Proton 7.0/files";
    WineBuild(flatpakProton);
    flatpakPrefix = ProtonPrefix(flatpakSteam, "2001", "Flatpak Game", "Flatpak Game", flatpakProton);
    flatpakPrefix2 = ProtonPrefix(flatpakLibrary2, "2002", "Flatpak Game Two", "Flatpak Game Two", flatpakProton);

    lutrisPrefix = home / "Games/example-game";
    Prefix(lutrisPrefix);
    fs::create_directories(lutrisPrefix / "drive_c/Games/Example");
    WineBuild(home / ".local/share/lutris/runners/wine/lutris-7.2-2-x86_64");
    Write(home / ".local/share/lutris/games/example-game-1700000000.yml",
          "game:\n"
          "  arch: win64\n"
          "  exe: " + (lutrisPrefix / "drive_c/Games/Example").string() + "/game\n"
          "    launcher.exe\n"
          "  prefix: '" + lutrisPrefix.string() + "'\n"
          "wine:\n"
          "  version: lutris-7.2-2-x86_64\n");

    heroicPrefix = home / "Games/Heroic/Prefixes/Example";
    heroicGame = home / "Games/Heroic/Example";
    Prefix(heroicPrefix);
    fs::create_directories(heroicGame);
    Write(home / ".config/heroic/legendaryConfig/legendary/installed.json",
          "{\"Example\": {\"app_name\": \"Example\", \"title\": \"Heroic Example\", \"platform\": \"Windows\","
          " \"install_path\": \"" + heroicGame.string() + "\"},\n"
          " \"Native\": {\"app_name\": \"Native\", \"title\": \"A Linux game\", \"platform\": \"Linux\","
          " \"install_path\": \"" + heroicGame.string() + "\"}}\n");
    Write(home / ".config/heroic/GamesConfig/Example.json",
          "{\"Example\": {\"winePrefix\": \"" + heroicPrefix.string() + "\", \"wineVersion\": {\"bin\": \"/usr/bin/wine\","
          " \"name\": \"Wine Default\", \"type\": \"wine\"}}}\n");

    bottle = home / ".local/share/bottles/bottles/Games";
    Prefix(bottle);
    Write(bottle / "bottle.yml",
          "Arch: win64\n"
          "Custom_Path: false\n"
          "External_Programs:\n"
          "  1b2c:\n"
          "    executable: game.exe\n"
          "    folder: " + heroicGame.string() + "\n"
          "    name: Example\n"
          "Name: My Games\n"
          "Path: Games\n"
          "Runner: soda-7.0-9\n");

    wine = home / ".wine";
    Prefix(wine);
  }
  ~LauncherHomeFixture() {
    std::error_code error;
    std::filesystem::remove_all(otherDisk, error);
  }
  LauncherHomeFixture(const LauncherHomeFixture&) = delete;
  LauncherHomeFixture& operator=(const LauncherHomeFixture&) = delete;

  platform::LauncherHome Home() const {
    platform::LauncherHome result;
    result.home = home.string();
    result.dataHome = (home / ".local/share").string();
    result.configHome = (home / ".config").string();
    return result;
  }

  static void Write(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }
  // A prefix as Wine makes it: drive_c, and dosdevices with c: and z:.
  static void Prefix(const std::filesystem::path& path) {
    std::filesystem::create_directories(path / "drive_c");
    std::filesystem::create_directories(path / "dosdevices");
    std::error_code error;
    std::filesystem::create_directory_symlink("../drive_c", path / "dosdevices/c:", error);
    std::filesystem::create_directory_symlink("/", path / "dosdevices/z:", error);
  }
  // A Wine build whose wine program records how it was run (its arguments and environment).
  static void WineBuild(const std::filesystem::path& path) {
    const std::filesystem::path program = path / "bin/wine";
    Write(program, "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" \"WINEPREFIX=$WINEPREFIX\" \"LD_LIBRARY_PATH=$LD_LIBRARY_PATH\""
                   " > \"$WINEPREFIX/ran-with-wine.txt\"\n");
    ::chmod(program.c_str(), 0755);
    std::filesystem::create_directories(path / "lib64");
  }
  static std::string LibraryFolders(const std::vector<std::string>& paths) {
    std::string text = "\"libraryfolders\"\n{\n";
    for (std::size_t i = 0; i < paths.size(); ++i) {
      text += "\t\"" + std::to_string(i) + "\"\n\t{\n\t\t\"path\"\t\t\"" + paths[i] + "\"\n\t\t\"label\"\t\t\"\"\n\t}\n";
    }
    return text + "}\n";
  }
  // A Proton prefix of `appId` in `library`, its app manifest and the game's folder, made by `protonFiles`.
  static std::filesystem::path ProtonPrefix(const std::filesystem::path& library, const std::string& appId,
                                            const std::string& name, const std::string& installDir,
                                            const std::filesystem::path& protonFiles) {
    const std::filesystem::path compat = library / "steamapps/compatdata" / appId;
    Prefix(compat / "pfx");
    Write(compat / "config_info", "8.0-105\n" + (protonFiles / "share/fonts/").string() + "\n" +
                                      (protonFiles / "share/fonts/").string() + "\n" + (protonFiles / "lib/").string() + "\n");
    Write(library / "steamapps" / ("appmanifest_" + appId + ".acf"),
          "\"AppState\"\n{\n\t\"appid\"\t\t\"" + appId + "\"\n\t\"name\"\t\t\"" + name + "\"\n\t\"installdir\"\t\t\"" +
              installDir + "\"\n}\n");
    std::filesystem::create_directories(library / "steamapps/common" / installDir);
    return compat / "pfx";
  }

  TempFolder folder;
  std::filesystem::path home, otherDisk, steam, library2, proton, registeredPrefix, unregisteredPrefix, unregisteredGame;
  std::filesystem::path flatpakSteam, flatpakLibrary2, flatpakPrefix, flatpakPrefix2, lutrisPrefix, heroicPrefix, heroicGame, bottle, wine;
};
