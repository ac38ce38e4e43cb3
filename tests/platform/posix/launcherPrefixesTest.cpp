// The search for the prefixes of a player's game launchers, over fixture homes: every launcher and
// layout found with its game folders and Wine, and every kind of damaged or hostile file skipped with
// its reason while the rest is still found.
#include "platform/launcherPrefixes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/faultInjectingFileSystem.h"
#include "support/launcherHome.h"

namespace {

namespace fs = std::filesystem;
using platform::FoundPrefix;
using platform::Launcher;
using platform::PrefixWine;

std::string Real(const fs::path& path) { return fs::canonical(path).string(); }

const FoundPrefix* Find(const platform::PrefixSearch& search, const fs::path& prefix) {
  for (const FoundPrefix& found : search.prefixes) {
    if (found.prefix == Real(prefix)) return &found;
  }
  return nullptr;
}

std::string Problems(const platform::PrefixSearch& search) {
  std::string text;
  for (const std::string& problem : search.problems) text += "\n  " + problem;
  return text;
}

bool HasProblem(const platform::PrefixSearch& search, const std::string& file, const std::string& reason) {
  for (const std::string& problem : search.problems) {
    if (problem.find(file) != std::string::npos && problem.find(reason) != std::string::npos) return true;
  }
  return false;
}

TEST(LauncherPrefixes, EveryLauncherAndLayoutIsFound) {
  LauncherHomeFixture fixture;
  const platform::PrefixSearch search = platform::FindPrefixes(fixture.Home());
  EXPECT_TRUE(search.problems.empty()) << Problems(search);
  ASSERT_EQ(search.prefixes.size(), 8u) << Problems(search);

  // Plain Wine first, then Steam's libraries (the one on the other disk too), Flatpak Steam, Lutris,
  // Heroic, Bottles; native Steam found through ~/.steam/steam and ~/.local/share/Steam only once.
  EXPECT_EQ(search.prefixes[0].prefix, Real(fixture.wine));
  EXPECT_EQ(search.prefixes[0].launcher, Launcher::Wine);
  EXPECT_EQ(search.prefixes[0].wine.kind, PrefixWine::Kind::System);

  const FoundPrefix* registered = Find(search, fixture.registeredPrefix);
  ASSERT_NE(registered, nullptr);
  EXPECT_EQ(registered->launcher, Launcher::Steam);
  EXPECT_EQ(registered->variant, "");
  EXPECT_EQ(registered->id, "1001");
  EXPECT_EQ(registered->title, "Registered Game");
  EXPECT_EQ(registered->wine.kind, PrefixWine::Kind::Build);
  EXPECT_EQ(registered->wine.folder, (fixture.proton / "files").string());
  EXPECT_EQ(registered->wine.name, "Proton 8.0");

  const FoundPrefix* unregistered = Find(search, fixture.unregisteredPrefix);
  ASSERT_NE(unregistered, nullptr);
  EXPECT_EQ(unregistered->id, "1002");
  EXPECT_EQ(unregistered->gameFolders, std::vector<std::string>{Real(fixture.unregisteredGame)});

  for (const fs::path& prefix : {fixture.flatpakPrefix, fixture.flatpakPrefix2}) {
    const FoundPrefix* flatpak = Find(search, prefix);
    ASSERT_NE(flatpak, nullptr) << prefix;
    EXPECT_EQ(flatpak->variant, "Flatpak");
    EXPECT_EQ(flatpak->wine.name, "Proton 7.0");
  }

  const FoundPrefix* lutris = Find(search, fixture.lutrisPrefix);
  ASSERT_NE(lutris, nullptr);
  EXPECT_EQ(lutris->launcher, Launcher::Lutris);
  EXPECT_EQ(lutris->id, "example-game");
  EXPECT_EQ(lutris->gameFolders, std::vector<std::string>{Real(fixture.lutrisPrefix / "drive_c/Games/Example")});
  EXPECT_EQ(lutris->wine.kind, PrefixWine::Kind::Build);
  EXPECT_EQ(lutris->wine.name, "lutris-7.2-2-x86_64");

  const FoundPrefix* heroic = Find(search, fixture.heroicPrefix);
  ASSERT_NE(heroic, nullptr);
  EXPECT_EQ(heroic->launcher, Launcher::Heroic);
  EXPECT_EQ(heroic->id, "Example");
  EXPECT_EQ(heroic->title, "Heroic Example");
  EXPECT_EQ(heroic->gameFolders, std::vector<std::string>{Real(fixture.heroicGame)});
  EXPECT_EQ(heroic->wine.kind, PrefixWine::Kind::System);  // /usr/bin/wine is the system's

  const FoundPrefix* bottle = Find(search, fixture.bottle);
  ASSERT_NE(bottle, nullptr);
  EXPECT_EQ(bottle->launcher, Launcher::Bottles);
  EXPECT_EQ(bottle->title, "My Games");
  EXPECT_EQ(bottle->gameFolders, std::vector<std::string>{Real(fixture.heroicGame)});
  // Its runner is not installed: its programs may not run with another Wine.
  EXPECT_EQ(bottle->wine.kind, PrefixWine::Kind::Unavailable);
  EXPECT_NE(bottle->wine.reason.find("soda-7.0-9 is not installed"), std::string::npos) << bottle->wine.reason;
}

TEST(LauncherPrefixes, OldLayoutsAndOtherPlacesOfTheSameFiles) {
  LauncherHomeFixture fixture;
  // The older library list: numbered paths beside other values.
  LauncherHomeFixture::Write(fixture.steam / "steamapps/libraryfolders.vdf",
                             "\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\t\"1561832478\"\n\t\"1\"\t\t\"" +
                                 fixture.library2.string() + "\"\n}\n");
  // Snap Steam, Flatpak Heroic with the older settings at the top of config.json, a Lutris game file
  // among its settings with the runner's default, a named winetricks prefix, and $WINEPREFIX naming a
  // Proton prefix (which stays Steam's).
  const fs::path snap = fixture.home / "snap/steam/common/.local/share/Steam";
  fs::create_directories(snap / "steamapps");
  const fs::path snapPrefix = LauncherHomeFixture::ProtonPrefix(snap, "3001", "Snap Game", "Snap Game", "/nowhere/Proton 9.0/files");
  const fs::path flatpakHeroic = fixture.home / ".var/app/com.heroicgameslauncher.hgl/config/heroic";
  const fs::path gogPrefix = fixture.home / "Games/Heroic/Prefixes/Gog";
  LauncherHomeFixture::Prefix(gogPrefix / "pfx");
  LauncherHomeFixture::Write(flatpakHeroic / "gog_store/installed.json",
                             "{\"installed\": [{\"appName\": \"1207658924\", \"platform\": \"windows\", \"install_path\": \"" +
                                 fixture.heroicGame.string() + "\"}]}");
  LauncherHomeFixture::Write(flatpakHeroic / "GamesConfig/1207658924.json", "{\"1207658924\": {}}");
  LauncherHomeFixture::Write(flatpakHeroic / "config.json",
                             "{\"winePrefix\": \"" + gogPrefix.string() + "\", \"wineVersion\": {\"type\": \"proton\","
                             " \"name\": \"Proton - Proton 8.0\", \"bin\": \"" + (fixture.proton / "proton").string() + "\"}}");
  const fs::path oldLutris = fixture.home / "Games/old";
  LauncherHomeFixture::Prefix(oldLutris);
  LauncherHomeFixture::Write(fixture.home / ".config/lutris/games/old-game-1500000000.yml",
                             "game:\n  prefix: " + oldLutris.string() + "\n  exe: drive_c/old.exe\nname: Old Game\n");
  LauncherHomeFixture::Write(fixture.home / ".config/lutris/runners/wine.yml", "wine:\n  version: system\n");
  const fs::path named = fixture.home / ".local/share/wineprefixes/office";
  LauncherHomeFixture::Prefix(named);
  platform::LauncherHome home = fixture.Home();
  home.winePrefix = fixture.unregisteredPrefix.string();

  const platform::PrefixSearch search = platform::FindPrefixes(home);
  EXPECT_TRUE(search.problems.empty()) << Problems(search);
  ASSERT_NE(Find(search, fixture.unregisteredPrefix), nullptr);
  EXPECT_EQ(Find(search, fixture.unregisteredPrefix)->launcher, Launcher::Steam);
  EXPECT_EQ(Find(search, fixture.registeredPrefix)->id, "1001");

  const FoundPrefix* snapFound = Find(search, snapPrefix);
  ASSERT_NE(snapFound, nullptr);
  EXPECT_EQ(snapFound->variant, "Snap");
  EXPECT_EQ(snapFound->wine.kind, PrefixWine::Kind::Unavailable);
  EXPECT_NE(snapFound->wine.reason.find("its Proton Proton 9.0 is not installed"), std::string::npos) << snapFound->wine.reason;

  const FoundPrefix* gog = Find(search, gogPrefix / "pfx");
  ASSERT_NE(gog, nullptr);
  EXPECT_EQ(gog->variant, "Flatpak");
  EXPECT_EQ(gog->title, "Example");  // the install folder's name
  EXPECT_EQ(gog->wine.kind, PrefixWine::Kind::Build);
  EXPECT_EQ(gog->wine.folder, (fixture.proton / "files").string());

  const FoundPrefix* old = Find(search, oldLutris);
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(old->title, "Old Game");
  EXPECT_EQ(old->id, "old-game");
  EXPECT_EQ(old->gameFolders, std::vector<std::string>{Real(oldLutris / "drive_c")});
  EXPECT_EQ(old->wine.kind, PrefixWine::Kind::System);

  ASSERT_NE(Find(search, named), nullptr);
  EXPECT_EQ(Find(search, named)->id, "office");
}

// Replaces a file of the fixture home with `text`, a link to `linkTo`, or (neither) a folder.
void Replace(const fs::path& path, const std::string& text, const std::string& linkTo) {
  fs::create_directories(path.parent_path());
  fs::remove(path);
  if (!linkTo.empty()) {
    fs::create_symlink(linkTo, path);
  } else if (text.empty()) {
    fs::create_directory(path);
  } else {
    LauncherHomeFixture::Write(path, text);
  }
}

// What stays found is never a hostile file's doing: no folder climbs out, no Wine build is made up.
void ExpectNothingMadeUp(const platform::PrefixSearch& search) {
  for (const FoundPrefix& found : search.prefixes) {
    for (const std::string& folder : found.gameFolders) EXPECT_EQ(folder.find(".."), std::string::npos) << folder;
    if (found.wine.kind == PrefixWine::Kind::Build) {
      EXPECT_EQ(found.wine.folder.find(".."), std::string::npos) << found.wine.folder;
    }
  }
}

// Each launcher's file cut short, huge, a link out of its launcher's folder, a folder, or of another
// shape: skipped and named in the problems, every other prefix still found.
TEST(LauncherPrefixes, EveryLauncherFileDamagedOrHostileIsSkippedWithItsReason) {
  struct LauncherFile {
    std::string file;       // relative to the home
    std::size_t lost;       // prefixes lost with it
    std::string otherShape; // a file of the right syntax and the wrong shape
    std::string reason;     // what the problems say of that one
  };
  const std::vector<LauncherFile> files = {
      {".local/share/Steam/steamapps/libraryfolders.vdf", 1, "\"AppState\" { \"a\" \"b\" }",
       "has no \"libraryfolders\" block"},
      {".var/app/com.valvesoftware.Steam/.local/share/Steam/steamapps/libraryfolders.vdf", 1, "\"x\" \"y\"",
       "has no \"libraryfolders\" block"},
      {".local/share/Steam/steamapps/appmanifest_1001.acf", 0, "\"libraryfolders\" { }", "has no \"AppState\" block"},
      {".local/share/lutris/games/example-game-1700000000.yml", 1, "- game\n", "has no \"game\" section"},
      {".config/heroic/legendaryConfig/legendary/installed.json", 1, "[1, 2]", "is no mapping of installed games"},
      {".config/heroic/GamesConfig/Example.json", 1, "{\"Other\": {}}", "has no settings for Example"},
      {".local/share/bottles/bottles/Games/bottle.yml", 1, "just text\n", "is no bottle's settings"},
  };
  const std::string huge(9u << 20, ' ');
  for (const LauncherFile& test : files) {
    const std::string name = test.file.substr(test.file.rfind('/') + 1);
    struct Form {
      const char* what;
      std::string text, linkTo, reason;
    };
    const std::vector<Form> forms = {{"huge", huge, "", "is larger than"},
                                     {"a link out", "", "/etc/hostname", "outside"},
                                     {"a folder", "", "", "is not a file"},
                                     {"of another shape", test.otherShape, "", test.reason}};
    for (const Form& form : forms) {
      SCOPED_TRACE(name + " " + form.what);
      LauncherHomeFixture fixture;
      Replace(fixture.home / test.file, form.text, form.linkTo);
      const platform::PrefixSearch search = platform::FindPrefixes(fixture.Home());
      EXPECT_EQ(search.prefixes.size(), 8u - test.lost) << Problems(search);
      EXPECT_TRUE(HasProblem(search, name, form.reason)) << Problems(search);
      ExpectNothingMadeUp(search);
    }
    // Every cut of the file leaves the search whole: at worst the file's own prefix is lost.
    LauncherHomeFixture fixture;
    std::ifstream in(fixture.home / test.file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (std::size_t cut = 0; cut < text.size(); cut += 7) {
      Replace(fixture.home / test.file, text.substr(0, cut) + (cut == 0 ? " " : ""), "");
      const platform::PrefixSearch search = platform::FindPrefixes(fixture.Home());
      EXPECT_GE(search.prefixes.size(), 8u - test.lost) << name << " cut at " << cut << Problems(search);
      ExpectNothingMadeUp(search);
    }
  }
}

// Hostile contents of particular fields, each with its reason.
TEST(LauncherPrefixes, HostileValuesAreSkippedWithTheirReason) {
  struct Case {
    const char* what;
    std::string file;  // relative to the home
    std::string text;  // written there ("" makes a folder)
    std::string reason;
    std::size_t remaining;  // prefixes still found
  };
  const std::vector<Case> cases = {
      {"cut library list", ".local/share/Steam/steamapps/libraryfolders.vdf", "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"",
       "line 5: the key \"path\" has no value", 7},
      {"library list naming a control character", ".local/share/Steam/steamapps/libraryfolders.vdf",
       "\"libraryfolders\" { \"1\" { \"path\" \"/tmp/\x1b[2J\" } }", "names no usable folder", 7},
      {"app manifest climbing out of its library", ".local/share/Steam/steamapps/appmanifest_1001.acf",
       "\"AppState\" { \"appid\" \"1001\" \"installdir\" \"../../..\" }", "is no folder name", 8},
      {"app manifest of another app", ".local/share/Steam/steamapps/appmanifest_1001.acf",
       "\"AppState\" { \"appid\" \"9\" \"name\" \"x\" }", "is the manifest of another app (9)", 8},
      {"cut Lutris game", ".local/share/lutris/games/example-game-1700000000.yml", "game:\n  prefix: '/home",
       "line 2: a quoted text is not closed", 7},
      {"Lutris game named with control characters", ".local/share/lutris/games/evil\x07-1.yml", "game: {}\n",
       "a name with control characters", 8},
      {"Lutris runner climbing out", ".local/share/lutris/games/example-game-1700000000.yml",
       "game:\n  prefix: HOME/Games/example-game\nwine:\n  version: ../../../../bin\n", "", 8},
      {"cut Heroic settings", ".config/heroic/GamesConfig/Example.json", "{\"Example\": {\"winePrefix\": \"/ho",
       "line 1: a string is not closed", 7},
      {"bottle with a tab", ".local/share/bottles/bottles/Games/bottle.yml", "Name:\n\tx\n", "a tab in the indentation", 7},
      {"bottle folder with control characters", ".local/share/bottles/bottles/\x1b]0;x\x07", "",
       "a name with control characters", 8},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    LauncherHomeFixture fixture;
    std::string text = test.text;
    const std::size_t home = text.find("HOME");
    if (home != std::string::npos) text.replace(home, 4, fixture.home.string());
    Replace(fixture.home / test.file, text, "");
    const platform::PrefixSearch search = platform::FindPrefixes(fixture.Home());
    EXPECT_EQ(search.prefixes.size(), test.remaining) << Problems(search);
    if (!test.reason.empty()) {
      EXPECT_TRUE(HasProblem(search, test.file.substr(test.file.rfind('/') + 1), test.reason)) << Problems(search);
    }
    ExpectNothingMadeUp(search);
  }
}

TEST(LauncherPrefixes, ProtonOfAConfigInfoLinkedOutIsUnknownAndReadsFailThroughTheSeam) {
  LauncherHomeFixture fixture;
  const fs::path info = fixture.steam / "steamapps/compatdata/1001/config_info";
  fs::remove(info);
  fs::create_symlink("/dev/zero", info);
  platform::PrefixSearch search = platform::FindPrefixes(fixture.Home());
  const FoundPrefix* registered = Find(search, fixture.registeredPrefix);
  ASSERT_NE(registered, nullptr);
  EXPECT_EQ(registered->wine.kind, PrefixWine::Kind::Unavailable);
  EXPECT_NE(registered->wine.reason.find("outside"), std::string::npos) << registered->wine.reason;
  fs::remove(info);
  search = platform::FindPrefixes(fixture.Home());
  EXPECT_NE(Find(search, fixture.registeredPrefix)->wine.reason.find("not recorded"), std::string::npos);
  LauncherHomeFixture::Write(info, "8.0-105\n");
  search = platform::FindPrefixes(fixture.Home());
  EXPECT_NE(Find(search, fixture.registeredPrefix)->wine.reason.find("names no Proton folder"), std::string::npos);
  LauncherHomeFixture::Write(info, "8.0-105\n" + std::string(70000, '/') + "\n");
  search = platform::FindPrefixes(fixture.Home());
  EXPECT_NE(Find(search, fixture.registeredPrefix)->wine.reason.find("is larger than 65536 bytes"), std::string::npos);

  // Every read fails: the files are named, and prefixes found by folders alone remain.
  FaultInjectingFileSystem failing;
  failing.readFailFrom = 0;
  failing.injectedError = FaultInjectingFileSystem::SystemErrorOfKind(platform::FileError::IoError);
  search = platform::FindPrefixes(fixture.Home());
  EXPECT_TRUE(HasProblem(search, "libraryfolders.vdf", "cannot be read")) << Problems(search);
  EXPECT_TRUE(HasProblem(search, "example-game-1700000000.yml", "cannot be read")) << Problems(search);
  EXPECT_NE(Find(search, fixture.wine), nullptr);
  EXPECT_NE(Find(search, fixture.registeredPrefix), nullptr);  // the first library needs no list
  EXPECT_EQ(Find(search, fixture.unregisteredPrefix), nullptr);
  failing.readFailFrom = -1;
  failing.failOpen = true;
  search = platform::FindPrefixes(fixture.Home());
  EXPECT_TRUE(HasProblem(search, "installed.json", "cannot be opened")) << Problems(search);
}

}  // namespace
