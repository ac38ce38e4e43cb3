// Which prefix the Linux program patches in, over a fixture home with every launcher: the one that
// holds the game, a choice among several (asked, or refused when unattended), a Steam app's prefix, a
// prefix given, a game folder given; and what --list says about each prefix.
#include <gtest/gtest.h>

#if !defined(_WIN32)

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/prefixChoice.h"
#include "app/prefixList.h"
#include "pe/handMadeImage.h"
#include "pe/peTestSupport.h"
#include "pe/versionInfo.h"
#include "platform/machine.h"
#include "support/launcherHome.h"
#include "support/tempFolder.h"

namespace {

namespace fs = std::filesystem;

void WriteExecutable(const fs::path& path, const std::string& version) {
  std::vector<std::uint8_t> executable;
  std::string error;
  ASSERT_TRUE(pe::WithFileVersion(petest::View(petest::HandMadeImage(petest::StartingTree())), version, &executable,
                                  &error))
      << error;
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(executable.data()),
                                              static_cast<std::streamsize>(executable.size()));
}

// The game registered in a prefix, as its installer leaves it in a 64-bit prefix.
void Register(const fs::path& prefix, const std::string& folder) {
  std::ofstream(prefix / "system.reg", std::ios::binary)
      << "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n"
         "[Software\\\\Wow6432Node\\\\Corvanth\\\\Example] 1700000000\n\"MAIN\"=\"" + folder + "\"\n";
}

std::string Native(const std::string& path) { return fs::canonical(path).string(); }

std::string Windows(const fs::path& path) {
  std::string name = "Z:" + fs::canonical(path).string() + "/";
  for (char& c : name) c = c == '/' ? '\\' : c;
  return name;
}

class PrefixChoiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous = platform::PrefixDirectory();
    manifest.configApp = "Software\\Corvanth\\Example";
    manifest.displayName = "Example Game";
    manifest.appName = {"Game.exe"};
    // App 1001: registered in its prefix, installed in its drive C. App 1002: a Steam folder only.
    WriteExecutable(home.registeredPrefix / "drive_c/Games/Example/Game.exe", "1.05");
    Register(home.registeredPrefix, "C:\\\\Games\\\\Example");
    WriteExecutable(home.unregisteredGame / "Game.exe", "1.06");
    search = platform::FindPrefixes(home.Home());
  }
  void TearDown() override {
    std::string error;
    platform::SelectPrefix(previous.c_str(), &error);
  }

  bool Choose(const app::PrefixRequest& request, int answer = -1) {
    asked.clear();
    const app::PrefixQuestion ask = [&](const std::string& question, const std::vector<std::string>& options) {
      asked = question;
      for (const std::string& option : options) asked += "\n" + option;
      return answer;
    };
    return app::ChoosePrefix(request, search, manifest, ask, &choice, &error);
  }

  LauncherHomeFixture home;
  std::string previous;
  app::Manifest manifest;
  platform::PrefixSearch search;
  app::PrefixChoice choice;
  std::string error, asked;
};

TEST_F(PrefixChoiceTest, SeveralHoldersAreAskedOrRefusedUnattended) {
  app::PrefixRequest request;
  request.unattended = true;
  EXPECT_FALSE(Choose(request, 0));
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(error, "Example Game is in more than one prefix. Name the one to patch with --prefix or --steam-app:\n"
                   "  1) Steam app 1001 \"Registered Game\": " + Native(home.registeredPrefix.string()) +
                   " (1.05, no distribution, in C:\\Games\\Example\\ (registered))\n"
                   "  2) Steam app 1002 \"Unregistered Game\": " + Native(home.unregisteredPrefix.string()) +
                   " (1.06, no distribution, in " + Windows(home.unregisteredGame) + ")");

  request.unattended = false;
  EXPECT_FALSE(Choose(request, -1));
  EXPECT_EQ(error, "No prefix was chosen.");
  ASSERT_TRUE(Choose(request, 1)) << error;
  EXPECT_NE(asked.find("Which one shall be patched?"), std::string::npos);
  EXPECT_EQ(platform::PrefixDirectory(), Native(home.unregisteredPrefix.string()));
  EXPECT_EQ(choice.installFolder, Windows(home.unregisteredGame));
  EXPECT_EQ(choice.game.versionText, "1.06");
  EXPECT_EQ(platform::SelectedPrefixWine().kind, platform::PrefixWine::Kind::Build);
  EXPECT_EQ(platform::SelectedPrefixWine().folder, (home.proton / "files").string());
  EXPECT_EQ(choice.reason, "chosen of 2 that hold Example Game");
}

TEST_F(PrefixChoiceTest, TheOnlyHolderIsTakenAndNoneIsRefused) {
  fs::remove(home.unregisteredGame / "Game.exe");
  app::PrefixRequest request;
  request.unattended = true;
  ASSERT_TRUE(Choose(request)) << error;
  EXPECT_EQ(platform::PrefixDirectory(), Native(home.registeredPrefix.string()));
  EXPECT_EQ(choice.installFolder, "");  // the run finds it through the registry
  EXPECT_TRUE(choice.game.registered);
  EXPECT_EQ(choice.reason, "the one prefix found that holds Example Game");

  fs::remove(home.registeredPrefix / "drive_c/Games/Example/Game.exe");
  EXPECT_FALSE(Choose(request));
  EXPECT_EQ(error, "Example Game is in none of the 8 Wine and Proton prefixes found here (zrpatch --list PATCH shows "
                   "them). Name its prefix with --prefix or --steam-app, or its folder with --game.");
}

TEST_F(PrefixChoiceTest, SteamAppAndGivenPrefixes) {
  app::PrefixRequest request;
  request.steamApp = "1002";
  ASSERT_TRUE(Choose(request)) << error;
  EXPECT_EQ(platform::PrefixDirectory(), Native(home.unregisteredPrefix.string()));
  EXPECT_EQ(choice.installFolder, Windows(home.unregisteredGame));
  request.steamApp = "99";
  EXPECT_FALSE(Choose(request));
  EXPECT_EQ(error, "No Steam library here has a Proton prefix of app 99 (zrpatch --list shows the prefixes found).");

  // A launcher's prefix given by a path of its own (a link): the launcher's Wine and game folder.
  fs::create_directory_symlink(home.unregisteredPrefix, home.folder.Path() / "my prefix");
  request = app::PrefixRequest();
  request.prefix = (home.folder.Path() / "my prefix").string();
  ASSERT_TRUE(Choose(request)) << error;
  EXPECT_EQ(platform::PrefixDirectory(), request.prefix);  // as given
  EXPECT_EQ(choice.prefix.launcher, platform::Launcher::Steam);
  EXPECT_EQ(platform::SelectedPrefixWine().kind, platform::PrefixWine::Kind::Build);
  EXPECT_EQ(choice.installFolder, Windows(home.unregisteredGame));
  // A prefix of no launcher: the system's Wine, the registry's folder.
  TempFolder plain;
  fs::create_directories(plain.Path() / "drive_c");
  request.prefix = plain.Path().string();
  ASSERT_TRUE(Choose(request)) << error;
  EXPECT_EQ(platform::SelectedPrefixWine().kind, platform::PrefixWine::Kind::System);
  EXPECT_EQ(choice.installFolder, "");
  request.prefix = (plain.Path() / "missing").string();
  EXPECT_FALSE(Choose(request));
  EXPECT_EQ(error, "Wine prefix '" + request.prefix + "' does not exist");
}

TEST_F(PrefixChoiceTest, GivenGameFolderIsTheInstallationFolder) {
  app::PrefixRequest request;
  request.unattended = true;
  // Heroic installed it and a bottle runs it: two prefixes claim the folder.
  request.gameFolder = home.heroicGame.string();
  EXPECT_FALSE(Choose(request));
  EXPECT_NE(error.find("1) Heroic game Example \"Heroic Example\""), std::string::npos) << error;
  EXPECT_NE(error.find("2) Bottles bottle Games \"My Games\""), std::string::npos) << error;
  // In a prefix's drive C: that prefix, whatever the registry says.
  request.gameFolder = (home.lutrisPrefix / "drive_c/Games/Example").string();
  ASSERT_TRUE(Choose(request)) << error;
  EXPECT_EQ(platform::PrefixDirectory(), Native(home.lutrisPrefix.string()));
  EXPECT_EQ(choice.installFolder, "C:\\Games\\Example\\");
  // A folder no launcher knows: the default prefix.
  TempFolder loose;
  const char* old = std::getenv("WINEPREFIX");
  const std::string kept = old ? old : "";
  setenv("WINEPREFIX", home.wine.string().c_str(), 1);
  request.gameFolder = loose.Path().string();
  const bool chosen = Choose(request);
  if (old) setenv("WINEPREFIX", kept.c_str(), 1); else unsetenv("WINEPREFIX");
  ASSERT_TRUE(chosen) << error;
  EXPECT_EQ(platform::PrefixDirectory(), home.wine.string());
  EXPECT_EQ(choice.installFolder, Windows(loose.Path()));
  request.gameFolder = (loose.Path() / "missing").string();
  EXPECT_FALSE(Choose(request));
  EXPECT_EQ(error, "The game folder " + request.gameFolder + " does not exist.");
  // A folder whose name in the prefix is longer than a registered folder may be.
  const fs::path deep = loose.Path() / std::string(120, 'a') / std::string(120, 'b') / std::string(20, 'c');
  fs::create_directories(deep);
  request.prefix = home.wine.string();
  request.gameFolder = deep.string();
  EXPECT_FALSE(Choose(request));
  EXPECT_NE(error.find("is longer than 258 characters in the prefix"), std::string::npos) << error;
}

TEST_F(PrefixChoiceTest, ListSaysWhereTheGameIsAndShowsNoControlCharacters) {
  search.prefixes[1].title = "Evil\x1b]0;owned\x07";
  std::FILE* out = std::tmpfile();
  app::ListPrefixes(search, &manifest, false, out);
  std::rewind(out);
  std::string text;
  for (int c = std::fgetc(out); c != EOF; c = std::fgetc(out)) text += static_cast<char>(c);
  std::fclose(out);
  EXPECT_NE(text.find("Steam app 1001 \"Evil?]0;owned?\"\n  prefix: " + Native(home.registeredPrefix.string()) +
                      "\n  game folder: " + Native((home.steam / "steamapps/common/Registered Game").string()) +
                      "\n  Wine: Proton 8.0 (" + (home.proton / "files").string() + ")\n"
                      "  Example Game: 1.05, no distribution, in C:\\Games\\Example\\ (registered)\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("  game folder: " + Native(home.unregisteredGame.string()) + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  Wine: none that can run here: its runner soda-7.0-9 is not installed"), std::string::npos) << text;
  EXPECT_NE(text.find("  Example Game: not in this prefix"), std::string::npos) << text;
  for (char c : text) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << text;

  out = std::tmpfile();
  app::ListPrefixes(search, &manifest, true, out);
  std::rewind(out);
  text.clear();
  for (int c = std::fgetc(out); c != EOF; c = std::fgetc(out)) text += static_cast<char>(c);
  std::fclose(out);
  EXPECT_NE(text.find("{\"type\":\"prefix\",\"launcher\":\"Steam\",\"variant\":\"\",\"id\":\"1001\",\"title\":"
                      "\"Evil\\u001b]0;owned\\u0007\""),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\"game\":{\"folder\":\"C:\\\\Games\\\\Example\\\\\",\"version\":\"1.05\",\"distributions\":[],"
                      "\"registered\":true}}"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\"game\":null}"), std::string::npos) << text;
}

TEST(PrefixQuestion, ANumberFromTheTerminal) {
  const auto ask = [](const std::string& answers, bool terminal, std::string* shown) {
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    std::fputs(answers.c_str(), in);
    std::rewind(in);
    const int answer = app::AskOnTerminal(in, out, terminal, "Which?", {"first", "second"});
    std::rewind(out);
    shown->clear();
    for (int c = std::fgetc(out); c != EOF; c = std::fgetc(out)) *shown += static_cast<char>(c);
    std::fclose(in);
    std::fclose(out);
    return answer;
  };
  std::string shown;
  EXPECT_EQ(ask("x\n0\n3\n2\n", true, &shown), 1);
  EXPECT_EQ(shown, "Which?\n  1) first\n  2) second\nNumber (empty to cancel): Number (empty to cancel): "
                   "Number (empty to cancel): Number (empty to cancel): ");
  EXPECT_EQ(ask("\n", true, &shown), -1);
  EXPECT_EQ(ask("", true, &shown), -1);
  EXPECT_EQ(ask("1\n", false, &shown), -1);
  EXPECT_TRUE(shown.empty());
}

}  // namespace

#endif
