// The whole patch run over a game laid out in a temporary folder (patchRunFixture.h): the chain of
// steps with its side effects, the refusals, distributions, damaged installations, a full disk, addons,
// commands, the dry run, and reruns after a failed rename.
#include "app/patchRun.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "install/uninstallLog.h"
#include "patchRunFixture.h"
#include "support/captureDiagnostics.h"
#include "support/faultInjectingFileSystem.h"
#include "support/faultInjectingProcessLauncher.h"

namespace {

using namespace patchruntest;

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
  ASSERT_GE(logLines.size(), 5u);
  EXPECT_EQ(logLines[0].rfind("Payload: 17 entries (", 0), 0u) << logLines[0];
  EXPECT_NE(logLines[0].find(" KiB) match the publisher's signed table."), std::string::npos) << logLines[0];
  EXPECT_EQ(logLines[1], "Deutsche Ausgabe");
  EXPECT_EQ(logLines[2], "Verifying Example Game, version 1.05...");
  EXPECT_EQ(logLines[3], "Example Game: Updating version 1.05 to version 1.08...");
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
  EXPECT_EQ(screen.Texts(Kind::Log).at(1), "English edition");
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
  // Room for every file of the first step but not for the second step's replacement of a large file the
  // player keeps beside the game (room is counted for files that exist): message 7 before the first
  // step changes anything.
  ASSERT_TRUE(steppatch::WriteTree(folder.Path() / "game", {{"Data\\Huge.pak", Filler(9, 300000)}}));
  Tree v108 = versions.v108;
  v108["Data\\Huge.pak"] = Filler(10, 1000);
  store = MemoryEntrySource();
  steppatch::AddStep(store, 1, 5, 6, versions.v105, versions.v106);
  steppatch::AddStep(store, 1, 6, 8, versions.v106, v108);
  store.Add("ALL\\DOCS\\MANUAL.TXT", "manual");
  Sign(ManifestText("1.08", true, ""));
  const std::int64_t roomForTheFirstStep = 10 * 1024 * 1024 + 200000;
  const Tree before = Installed();
  {
    FaultInjectingFileSystem disk;
    disk.freeSpace = roomForTheFirstStep;
    ui::ScriptedInterface screen;
    screen.yesNoAnswers = {true};
    EXPECT_EQ(Run(), app::kPatchFailed);
    const std::vector<std::string> boxes = screen.Texts(Kind::Message);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], std::string("Patch cannot continue. The disk ") + install[0] + ": is almost full.");
    EXPECT_EQ(Installed(), before);
  }
  // The same room is enough for the patch without the large file: it was the second step that did
  // not fit, not the first.
  store = MemoryEntrySource();
  steppatch::AddStep(store, 1, 5, 6, versions.v105, versions.v106);
  steppatch::AddStep(store, 1, 6, 8, versions.v106, versions.v108);
  store.Add("ALL\\DOCS\\MANUAL.TXT", "manual");
  Sign(ManifestText("1.08", true, ""));
  FaultInjectingFileSystem disk;
  disk.freeSpace = roomForTheFirstStep;
  ui::ScriptedInterface screen;
  screen.yesNoAnswers = {true};
  EXPECT_EQ(Run(), app::kPatchDone) << Events(screen);
}

TEST_F(PatchRunTest, AddonInstallsItsFilesWithoutVerifyingTheGame) {
  store = MemoryEntrySource();
  store.Add("ADD\\MAPS\\BONUS.MAP", "bonus map");
  // The list of the installed version is there, and the game differs from it: a verification that
  // ran would refuse the addon.
  store.Add("CRC\\1.05\\CRC.CRC", steppatch::ChecksumList(versions.v105));
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

// The dry run does not ask the start question (an unattended one must not wait for a Yes it does
// not need) and lists only the entries that would change a file: the steps' ".EQU" and ".INI"
// entries are left out.
TEST_F(PatchRunTest, DryRunChecksAndListsButWritesNothing) {
  store.Add("1.05-1.06\\DATA\\ABSENT.PAK.INI.#GERMAN", "I");
  store.Add("1.06-1.08\\DATA\\KEPT.PAK.equ", "E");
  const Tree before = Installed();
  options.dryRun = true;
  ui::ScriptedInterface screen;
  EXPECT_EQ(Run(), app::kPatchDone) << Events(screen);
  EXPECT_TRUE(screen.Texts(Kind::YesNo).empty()) << Events(screen);
  EXPECT_EQ(Installed(), before);
  EXPECT_TRUE(registry.values.count(MemoryRegistry::Key(platform::RegistryHive::LocalMachine,
                                                        "Software\\Corvanth\\Example", "Version")) == 0);
  const std::vector<std::string> lines = screen.Texts(Kind::Log);
  bool listedDelta = false, listedUnchanged = false;
  for (const std::string& line : lines) {
    listedDelta = listedDelta || line.find("1.05-1.06\\DATA\\MAP.PAK") != std::string::npos;
    listedUnchanged = listedUnchanged || line.find(".EQU") != std::string::npos ||
                      line.find(".equ") != std::string::npos || line.find(".INI") != std::string::npos;
  }
  EXPECT_TRUE(listedDelta) << Events(screen);
  EXPECT_FALSE(listedUnchanged) << Events(screen);
  EXPECT_EQ(lines.back(), "Dry run: nothing was written.");
}

// Every change the run makes refused once in turn (the disk failing it), then the patch run again: the
// installation ends as a clean run leaves it, byte for byte, the uninstall log included, whether the
// failed run stopped there or could do without the change. Under Wine every fifth change (all of them
// with ZR_EXHAUSTIVE=1): each run there starts processes that take their time.
TEST_F(PatchRunTest, RerunAfterAnyFailedChangeCompletesTheUpdate) {
  Tree clean;
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
#if defined(_WIN32)
  const int stride = std::getenv("ZR_EXHAUSTIVE") ? 1 : 5;
#else
  const int stride = 1;
#endif
  int failed = 0, points = 0;
  for (int changeAt = 1;; changeAt += stride) {
    SCOPED_TRACE(changeAt);
    ReplaceGame(pristine);
    int result = 0;
    {
      FaultInjectingFileSystem disk;
      disk.failChangeAt = changeAt;
      disk.injectedError = FaultInjectingFileSystem::SystemErrorOfKind(platform::FileError::IoError);
      ui::ScriptedInterface screen;
      screen.yesNoAnswers = {true};
      screen.abortRetryIgnoreAnswers = {ui::kAbort, ui::kAbort, ui::kAbort};
      result = Run();
      if (disk.changes < changeAt) break;  // every change of the run has failed once
    }
    ++points;
    if (result != app::kPatchDone) {
      ++failed;
      ui::ScriptedInterface screen;
      screen.yesNoAnswers = {true};
      ASSERT_EQ(Run(), app::kPatchDone) << Events(screen);
    }
    ASSERT_EQ(LinkPresent(Installed()), LinkPresent(clean)) << "the run ended " << result;
  }
  EXPECT_GT(failed, 20);
  std::printf("%d changes failed in turn, %d of them failed the run\n", points, failed);
}

}  // namespace
