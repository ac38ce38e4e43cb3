// The whole patch run over a game laid out in a temporary folder: a signed manifest, version steps made
// in memory, the registry held in memory, the user's answers scripted.
#include "app/patchRun.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "El/QStream/crc32.h"
#include "install/uninstallLog.h"
#include "pe/handMadeImage.h"
#include "pe/versionInfo.h"
#include "platform/fileSystem.h"
#include "platform/machine.h"
#include "support/compiledConfig.h"
#include "support/captureDiagnostics.h"
#include "support/faultInjectingFileSystem.h"
#include "support/faultInjectingProcessLauncher.h"
#include "support/memoryRegistry.h"
#include "support/stepPatch.h"
#include "support/tempFolder.h"
#include "support/testData.h"
#include "support/testSigning.h"
#include "ui/scriptedInterface.h"

namespace {

using steppatch::Tree;
using Kind = ui::ScriptedInterface::EventKind;

// An executable whose version resource says `version`, as the game's.
std::string GameExecutable(const std::string& version) {
  std::vector<std::uint8_t> executable;
  std::string error;
  EXPECT_TRUE(pe::WithFileVersion(petest::View(petest::HandMadeImage(petest::StartingTree())), version, &executable,
                                  &error))
      << error;
  return std::string(executable.begin(), executable.end());
}

std::string Filler(int seed, std::size_t size) {
  std::string text(size, '\0');
  std::uint32_t state = static_cast<std::uint32_t>(seed) * 2654435761u + 1;
  for (char& c : text) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  return text;
}

struct Versions {
  Tree v105, v106, v108;
  Versions() {
    v105 = {{"game.exe", GameExecutable("1.05")},
            {"Data\\Map.pak", Filler(1, 20000)},
            {"Data\\Sound.wav", Filler(2, 3000)},
            {"readme.txt", "Version 1.05\r\n"}};
    v106 = v105;
    v106["game.exe"] = GameExecutable("1.06");
    v106["Data\\Map.pak"] = Filler(1, 12000) + Filler(3, 9000);
    v106["Data\\New.pak"] = Filler(4, 5000);
    v106["readme.txt"] = "Version 1.06\r\n";
    v108 = v106;
    v108["game.exe"] = GameExecutable("1.08");
    v108["Data\\Map.pak"] = Filler(1, 12000) + Filler(5, 9500);
    v108.erase("Data\\Sound.wav");
    v108["Tools\\Editor.exe"] = "editor";
    v108["readme.txt"] = "Version 1.08\r\n";
  }
};

const std::string kGermanText = "Sprache: Deutsch\r\n";
const std::string kEnglishText = "Language: English\r\n";

std::string Signed(int value) { return std::to_string(value); }

// The manifest of the example patch; `extra` is added at the top level.
std::string ManifestText(const std::string& version, bool isPatch, const std::string& extra) {
  const auto crc = [](const std::string& text) {
    return Signed(static_cast<std::int32_t>(Crc32Of(text.data(), text.size())));
  };
  return "configApp=\"Software\\Corvanth\\Example\";\n"
         "displayName=\"Example Game\";\n"
         "version=\"" + version + "\";\n"
         "appName[]={\"bin\\game.exe\",\"game.exe\"};\n"
         "isPatch=" + (isPatch ? "1" : "0") + ";\n" + extra +
         "class Distributions {\n"
         "  class ENGLISH { scope=1; name=\"English edition\"; parent=\"\"; };\n"
         "  class GERMAN { scope=1; name=\"Deutsche Ausgabe\"; parent=\"\"; };\n"
         "};\n"
         "class WhatDistribution {\n"
         "  class German { file=\"text.txt\"; crc=" + crc(kGermanText) + "; distributions[]={\"GERMAN\"}; };\n"
         "  class English { file=\"text.txt\"; crc=" + crc(kEnglishText) + "; distributions[]={\"ENGLISH\"}; };\n"
         "};\n"
         "class UpdateRegistry {\n"
         "  class Version { registryUser=0; registryPath=\"Software\\Corvanth\\Example\"; registryName=\"Version\";"
         " registryValue=\"" + version + "\"; };\n"
         "  class Language { registryUser=1; registryPath=\"Software\\Corvanth\\Example\"; registryName=\"Language\";"
         " registryValue=\"Deutsch\"; distributions[]={\"GERMAN\"}; };\n"
         "  class Never { registryUser=1; registryPath=\"Software\\Corvanth\\Example\"; registryName=\"Never\";"
         " registryValue=\"x\"; distributions[]={}; };\n"
         "};\n"
         "class Shortcuts {\n"
         "  class Editor { source=\"Editor\"; destination=\"Tools\\Editor.exe\"; arguments=\"-map\";"
         " workingDirectory=\"Tools\\Editor.exe\"; startMenuGroup=\"\"; description=\"Map editor\";"
         " excludeDistributions[]={\"ENGLISH\"}; };\n"
         "};\n";
}

// Everything the run showed, for failure messages.
std::string Events(const ui::ScriptedInterface& screen) {
  std::string text;
  for (const auto& event : screen.events) text += "\n  " + event.text;
  return text;
}

class PatchRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The run makes the folders it writes in current; the test's own paths must not depend on it.
    platform::CurrentFileSystem()->CurrentFolder(&currentFolder);
#if !defined(_WIN32)
    // The temporary working folder and the start menu live in a prefix.
    std::filesystem::create_directories(folder.Path() / "prefix" / "drive_c");
    std::string error;
    previousPrefix = platform::PrefixDirectory();
    ASSERT_TRUE(platform::SelectPrefix((folder.Path() / "prefix").string().c_str(), &error)) << error;
#endif
    std::filesystem::create_directories(folder.Path() / "game");
    install = (folder.Path() / "game").string() + "\\";
    registry.values[MemoryRegistry::Key(platform::RegistryHive::LocalMachine, "Software\\Corvanth\\Example", "MAIN")] =
        (folder.Path() / "game").string();
    ASSERT_TRUE(steppatch::WriteTree(folder.Path() / "game", versions.v105));
    ASSERT_TRUE(steppatch::WriteTree(folder.Path() / "game", {{"text.txt", kGermanText}}));
    steppatch::AddStep(store, 1, 5, 6, versions.v105, versions.v106);
    steppatch::AddStep(store, 1, 6, 8, versions.v106, versions.v108);
    store.Add("ALL\\DOCS\\MANUAL.TXT", "manual");
    Sign(ManifestText("1.08", true, ""));
  }
  void TearDown() override {
    platform::CurrentFileSystem()->SetCurrentFolder(currentFolder.c_str());
#if !defined(_WIN32)
    std::string error;
    if (!previousPrefix.empty()) platform::SelectPrefix(previousPrefix.c_str(), &error);
#endif
  }

  void Sign(const std::string& text) {
    manifest = CompileConfigText(text);
    std::string signature;
    ASSERT_TRUE(SignWithDevelopmentKey(manifest, &signature, &options.trustedKey));
    store.Add("VERSION.CFG", manifest);
    store.Add("VERSION.CFG.SIGN", signature);
  }

  int Run() {
    options.store = &store;
    return app::PatchRun(options);
  }

  // The game folder replaced by a copy of `source`. The run leaves the current folder inside the game,
  // which Windows would not let go; under Wine a saved link starts a helper process there for a moment.
  void ReplaceGame(const std::filesystem::path& source) {
    platform::CurrentFileSystem()->SetCurrentFolder(currentFolder.c_str());
    std::error_code error;
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::filesystem::remove_all(folder.Path() / "game", error);
      if (!std::filesystem::exists(folder.Path() / "game")) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::filesystem::copy(source, folder.Path() / "game", std::filesystem::copy_options::recursive);
  }

  Tree Installed() const { return steppatch::ReadTree(folder.Path() / "game"); }

  std::string Log() const {
    std::ifstream in(folder.Path() / "game" / "uninstall.log", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  TempFolder folder;
  std::string previousPrefix;
  std::string currentFolder;
  std::string install;
  Versions versions;
  MemoryEntrySource store;
  MemoryRegistry registry;
  std::string manifest;
  app::PatchRunOptions options;
};

TEST_F(PatchRunTest, ChainOfStepsBringsTheGameToTheNewVersionWithItsSideEffects) {
  ui::ScriptedInterface screen;
  screen.yesNoAnswers = {true};
  ASSERT_EQ(Run(), app::kPatchDone) << Events(screen);

  // 1.05-1.06 and 1.06-1.08 chain; the missing 1.07 step contributes nothing.
  Tree expected = versions.v108;
  expected["text.txt"] = kGermanText;
  expected["Docs\\Manual.txt"] = "manual";
  Tree installed = Installed();
  ASSERT_EQ(installed.count("Editor.lnk"), 1u) << "the German installation gets the editor's link";
  ASSERT_EQ(installed.count("uninstall.log"), 1u);
  installed.erase("Editor.lnk");
  expected["uninstall.log"] = Log();
  // New files and folders are created with lower-case names.
  expected.erase("Data\\New.pak");
  expected["Data\\new.pak"] = versions.v108.at("Data\\New.pak");
  expected.erase("Tools\\Editor.exe");
  expected["TOOLS\\editor.exe"] = "editor";
  expected.erase("Docs\\Manual.txt");
  expected["docs\\manual.txt"] = "manual";
  EXPECT_EQ(installed, steppatch::Digested(expected));

  const std::string log = Log();
  EXPECT_NE(log.find("F:" + install + "DATA\\NEW.PAK\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("F:" + install + "Editor.lnk\r\n"), std::string::npos) << log;
  EXPECT_EQ(installed.count("zrpatch.journal"), 0u) << "the journal goes once the run is complete";

  // The registry: the machine value for everyone, the German one for this installation, never "Never".
  EXPECT_EQ(registry.values.at(MemoryRegistry::Key(platform::RegistryHive::LocalMachine, "Software\\Corvanth\\Example",
                                                   "Version")),
            "1.08");
  EXPECT_EQ(registry.values.at(MemoryRegistry::Key(platform::RegistryHive::CurrentUser, "Software\\Corvanth\\Example",
                                                   "Language")),
            "Deutsch");
  EXPECT_EQ(registry.values.count(MemoryRegistry::Key(platform::RegistryHive::CurrentUser, "Software\\Corvanth\\Example",
                                                      "Never")),
            0u);

  // What the player saw: the start question, the edition, verification, the title, success.
  const std::vector<std::string> logLines = screen.Texts(Kind::Log);
  ASSERT_GE(logLines.size(), 4u);
  EXPECT_EQ(logLines[0], "Deutsche Ausgabe");
  EXPECT_EQ(logLines[1], "Verifying Example Game, version 1.05...");
  EXPECT_EQ(logLines[2], "Example Game: Updating version 1.05 to version 1.08...");
  EXPECT_EQ(logLines.back(), "Example Game patch 1.08 has been applied successfully.");
  EXPECT_EQ(screen.title, "Example Game: Updating version 1.05 to version 1.08...");
  EXPECT_TRUE(screen.keepOpen);
  EXPECT_TRUE(screen.animationStopped);
  EXPECT_EQ(screen.percent, 100);
  EXPECT_TRUE(screen.Texts(Kind::Message).empty());

  // The second run finds the patch applied and only verifies.
  ui::ScriptedInterface again;
  again.yesNoAnswers = {true};
  EXPECT_EQ(Run(), app::kPatchDone) << Events(screen);
  const std::vector<std::string> againLines = again.Texts(Kind::Log);
  ASSERT_FALSE(againLines.empty());
  EXPECT_EQ(againLines.back(), "Example Game patch 1.08 has been already applied.");
  EXPECT_EQ(Log(), log) << "nothing is written again";
}

TEST_F(PatchRunTest, RefusalsEndWithTheirMessageAndWriteNothing) {
  const Tree before = Installed();
  struct Case {
    const char* what;
    std::string manifestText;
    std::vector<bool> answers;
    int result;
    std::string box;  // "" when none is shown
  };
  const std::vector<Case> cases = {
      {"required version", ManifestText("1.08", true, "requiredForPatch=\"1.06\";\n"), {true}, app::kPatchFailed,
       "Game version 1.06 required.\r\nYour current version is 1.05."},
      {"installed newer", ManifestText("1.04", true, ""), {true}, app::kPatchFailed,
       "The version of Example Game (1.05) \nis more recent than this patch version (1.04)."},
      {"text comparison", ManifestText("1.010", true, ""), {true}, app::kPatchFailed,
       "The version of Example Game (1.05) \nis more recent than this patch version (1.010)."},
      {"declined", ManifestText("1.08", true, ""), {false}, app::kPatchDeclined, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Sign(c.manifestText);
    ui::ScriptedInterface screen;
    screen.yesNoAnswers.assign(c.answers.begin(), c.answers.end());
    EXPECT_EQ(Run(), c.result);
    const std::vector<std::string> boxes = screen.Texts(Kind::Message);
    if (c.box.empty()) {
      EXPECT_TRUE(boxes.empty());
    } else {
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0], c.box);
    }
    EXPECT_EQ(Installed(), before);
  }

  // Not registered: message 2 with the manifest's name.
  Sign(ManifestText("1.08", true, ""));
  registry.values.clear();
  ui::ScriptedInterface screen;
  EXPECT_EQ(Run(), app::kPatchFailed);
  EXPECT_EQ(screen.Texts(Kind::Message),
            std::vector<std::string>{"Example Game is not installed on your computer or installation is corrupted."});
  EXPECT_EQ(Installed(), before);
}

TEST_F(PatchRunTest, AnyChangedManifestByteIsRefusedBeforeAnythingHappens) {
  const std::string good = manifest;
  const Tree before = Installed();
  for (std::size_t at = 0; at < good.size(); ++at) {
    std::string bad = good;
    bad[at] = static_cast<char>(bad[at] ^ 0x01);
    store.Add("VERSION.CFG", bad);
    ui::ScriptedInterface screen;
    screen.yesNoAnswers = {true};
    ASSERT_EQ(Run(), app::kPatchFailed) << at;
    const std::vector<std::string> boxes = screen.Texts(Kind::Message);
    ASSERT_EQ(boxes.size(), 1u) << at;
    ASSERT_EQ(boxes[0].rfind("Patch file is corrupted, error 7/", 0), 0u) << boxes[0];
    ASSERT_TRUE(screen.Texts(Kind::YesNo).empty()) << "nothing is asked of a damaged patch";
  }
  EXPECT_EQ(Installed(), before);
}

TEST_F(PatchRunTest, DistributionChoiceCancelledOrAnsweredWhenDetectionLeavesTwo) {
  // A file that matches no rule leaves both editions: the player chooses.
  ASSERT_TRUE(steppatch::WriteTree(folder.Path() / "game", {{"text.txt", "something else"}}));
  const Tree before = Installed();
  {
    ui::ScriptedInterface screen;
    screen.yesNoAnswers = {true};
    screen.distributionAnswers = {""};
    EXPECT_EQ(Run(), app::kPatchFailed);
    EXPECT_EQ(screen.Texts(Kind::Distribution), std::vector<std::string>{"ENGLISH,GERMAN"});
    EXPECT_TRUE(screen.Texts(Kind::Message).empty()) << "a cancelled choice ends silently";
    EXPECT_EQ(Installed(), before);
  }
  ui::ScriptedInterface screen;
  screen.yesNoAnswers = {true};
  screen.distributionAnswers = {"ENGLISH"};
  EXPECT_EQ(Run(), app::kPatchDone) << Events(screen);
  EXPECT_EQ(screen.Texts(Kind::Log).at(0), "English edition");
  EXPECT_EQ(Installed().count("Editor.lnk"), 0u) << "the English edition gets no editor link";
  EXPECT_EQ(registry.values.count(MemoryRegistry::Key(platform::RegistryHive::CurrentUser,
                                                      "Software\\Corvanth\\Example", "Language")),
            0u);
}

TEST_F(PatchRunTest, DamagedInstallationAndFullDiskStopBeforeAnyChange) {
  // A file that differs from the installed version's list: message 14 in the log, nothing changed.
  {
    ASSERT_TRUE(steppatch::WriteTree(folder.Path() / "game", {{"Data\\Sound.wav", "damaged"}}));
    const Tree before = Installed();
    ui::ScriptedInterface screen;
    screen.yesNoAnswers = {true};
    screen.abortRetryIgnoreAnswers = {ui::kAbort};
    EXPECT_EQ(Run(), app::kPatchFailed);
    const std::vector<std::string> lines = screen.Texts(Kind::Log);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(),
              "One or more files in game instalation are modified or dammaged.\r\nReinstall game from original CD "
              "disc and try again.\r\n");
    EXPECT_TRUE(screen.keepOpen);
    EXPECT_EQ(Installed(), before);
    ASSERT_TRUE(steppatch::WriteTree(folder.Path() / "game", {{"Data\\Sound.wav", versions.v105.at("Data\\Sound.wav")}}));
  }
  // Too little room for the second step's files: message 7 before the first step changes anything.
  const Tree before = Installed();
  FaultInjectingFileSystem disk;
  disk.freeSpace = 10 * 1024 * 1024 + 30000;
  ui::ScriptedInterface screen;
  screen.yesNoAnswers = {true};
  EXPECT_EQ(Run(), app::kPatchFailed);
  const std::vector<std::string> boxes = screen.Texts(Kind::Message);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], std::string("Patch cannot continue. The disk ") + install[0] + ": is almost full.");
  EXPECT_EQ(Installed(), before);
}

TEST_F(PatchRunTest, AddonInstallsItsFilesWithoutVerifyingTheGame) {
  store = MemoryEntrySource();
  store.Add("ADD\\MAPS\\BONUS.MAP", "bonus map");
  Sign(ManifestText("1.05", false, "name=\"Bonus Maps\";\nrequiredForAddons=\"1.05\";\n"));
  ASSERT_TRUE(steppatch::WriteTree(folder.Path() / "game", {{"Data\\Sound.wav", "modified, not checked"}}));
  ui::ScriptedInterface screen;
  screen.yesNoAnswers = {true};
  ASSERT_EQ(Run(), app::kPatchDone) << Events(screen);
  EXPECT_EQ(Installed().at("maps\\bonus.map"), "bonus map");
  EXPECT_EQ(screen.title, "Example Game: Installing addon Bonus Maps.");
  EXPECT_EQ(screen.Texts(Kind::Log).back(), "Example Game addon installed: Bonus Maps.");
}

TEST_F(PatchRunTest, CommandThatCannotStartIsLoggedAndThePatchGoesOn) {
  Sign(ManifestText("1.08", true,
                    "class Commands { class Missing { commandLine=\"no-such-program.exe /setup\"; };"
                    " class Setup { commandLine=\"setup.exe\"; directory=\"C:\\Temp\"; }; class Empty { commandLine=\"\"; }; };\n"));
  FaultInjectingProcessLauncher launcher;
  launcher.FailStart("no-such-program", 2);
  launcher.ReportExitCode("setup.exe", 0);
  CaptureDiagnostics diagnostics;
  ui::ScriptedInterface screen;
  screen.yesNoAnswers = {true};
  EXPECT_EQ(Run(), app::kPatchDone) << Events(screen);
  EXPECT_EQ(launcher.commandLines, (std::vector<std::string>{"no-such-program.exe /setup", "setup.exe"}));
  EXPECT_EQ(launcher.workingFolders.back(), "C:\\Temp");
  EXPECT_TRUE(diagnostics.Contains("CreateProcess failed, error 0x2"));
}

TEST_F(PatchRunTest, DryRunChecksAndListsButWritesNothing) {
  const Tree before = Installed();
  options.dryRun = true;
  ui::ScriptedInterface screen;
  screen.yesNoAnswers = {true};
  EXPECT_EQ(Run(), app::kPatchDone) << Events(screen);
  EXPECT_EQ(Installed(), before);
  EXPECT_TRUE(registry.values.count(MemoryRegistry::Key(platform::RegistryHive::LocalMachine,
                                                        "Software\\Corvanth\\Example", "Version")) == 0);
  const std::vector<std::string> lines = screen.Texts(Kind::Log);
  bool listedDelta = false;
  for (const std::string& line : lines) listedDelta = listedDelta || line.find("1.05-1.06\\DATA\\MAP.PAK") != std::string::npos;
  EXPECT_TRUE(listedDelta);
  EXPECT_EQ(lines.back(), "Dry run: nothing was written.");
}

// The tree with the link's bytes left out: the system's link object records the target's times.
Tree LinkPresent(Tree tree) {
  if (tree.count("Editor.lnk")) tree["Editor.lnk"] = "a link";
  return tree;
}

// A run that stops at any rename (the disk refusing it once) leaves a journal; running the patch again
// completes it, and the installation ends as a clean run leaves it.
TEST_F(PatchRunTest, RerunAfterAFailedRenameCompletesTheUpdate) {
  Tree clean;
  std::string cleanLog;
  {
    TempFolder other;
    std::filesystem::copy(folder.Path() / "game", other.Path() / "game", std::filesystem::copy_options::recursive);
    ui::ScriptedInterface screen;
    screen.yesNoAnswers = {true};
    ASSERT_EQ(Run(), app::kPatchDone);
    clean = Installed();
    ReplaceGame(other.Path() / "game");
  }
  const std::filesystem::path pristine = folder.Path() / "pristine";
  std::filesystem::copy(folder.Path() / "game", pristine, std::filesystem::copy_options::recursive);
  int interrupted = 0;
  for (int renameAt = 1;; ++renameAt) {
    SCOPED_TRACE(renameAt);
    ReplaceGame(pristine);
    int result = 0;
    {
      FaultInjectingFileSystem disk;
      disk.failRenameAt = renameAt;
      ui::ScriptedInterface screen;
      screen.yesNoAnswers = {true};
      screen.abortRetryIgnoreAnswers = {ui::kAbort, ui::kAbort};
      result = Run();
      if (disk.renames < renameAt) break;  // every rename of the run has been refused once
    }
    if (result == app::kPatchDone) continue;  // a rename the run could do without
    ++interrupted;
    ui::ScriptedInterface screen;
    screen.yesNoAnswers = {true};
    ASSERT_EQ(Run(), app::kPatchDone);
    EXPECT_EQ(LinkPresent(Installed()), LinkPresent(clean));
  }
  EXPECT_GT(interrupted, 5);
}

}  // namespace
