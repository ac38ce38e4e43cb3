// What a run checks before its first change, and the side effects that fail it afterwards: registry
// keys that cannot be written, a second run holding the installation, a distribution named in advance
// that the patch or the installation does not have. Each refusal leaves the game and the prefix as they
// were and names its cause.
#include <gtest/gtest.h>

#include <algorithm>

#include "patchRunFixture.h"
#include "platform/runLock.h"
#include "ui/messages.h"

namespace {

using namespace patchruntest;
using Kind = ui::ScriptedInterface::EventKind;

class RunPreconditionsTest : public PatchRunTest {
 protected:
  static bool Says(const std::vector<std::string>& texts, const std::string& part) {
    return std::any_of(texts.begin(), texts.end(),
                       [&](const std::string& text) { return text.find(part) != std::string::npos; });
  }
  std::string MachineVersionKey() const {
    return MemoryRegistry::Key(platform::RegistryHive::LocalMachine, "Software\\Corvanth\\Example", "Version");
  }
};

TEST_F(RunPreconditionsTest, ARegistryKeyThatCannotBeWrittenRefusesTheRunBeforeAnyChange) {
  registry.refuseMachineWrites = true;
  const Tree before = Everything();
  ui::ScriptedInterface screen;
  screen.yesNoAnswers = {true};
  EXPECT_EQ(Run(), app::kPatchFailed) << Events(screen);
  EXPECT_EQ(Everything(), before);
  const std::vector<std::string> log = screen.Texts(Kind::Log);
  EXPECT_TRUE(Says(log, "The registry key HKEY_LOCAL_MACHINE\\Software\\Corvanth\\Example cannot be written: "
                        "access denied."))
      << Events(screen);
  EXPECT_TRUE(Says(log, "probably dammaged")) << "message 9 follows the cause";
  EXPECT_EQ(registry.values.count(MachineVersionKey()), 0u);
}

TEST_F(RunPreconditionsTest, ARegistryValueLostAtTheEndFailsTheRunAndTheRerunWritesIt) {
  registry.refuseMachineWrites = true;
  registry.refuseOnlyWhenWriting = true;  // the rights go between the check and the write
  {
    ui::ScriptedInterface screen;
    screen.yesNoAnswers = {true};
    EXPECT_EQ(Run(), app::kPatchFailed) << Events(screen);
    const std::vector<std::string> log = screen.Texts(Kind::Log);
    EXPECT_TRUE(Says(log, "The registry value HKEY_LOCAL_MACHINE\\Software\\Corvanth\\Example\\Version was not "
                          "written: access denied."))
        << Events(screen);
    EXPECT_FALSE(Says(log, "applied successfully"));
  }
  EXPECT_EQ(Installed().at("readme.txt"), "Version 1.08\r\n") << "the files were updated";
  EXPECT_TRUE(std::filesystem::exists(folder.Path() / "game" / "zrpatch.journal"));
  registry.refuseMachineWrites = false;
  ui::ScriptedInterface screen;
  screen.yesNoAnswers = {true};
  EXPECT_EQ(Run(), app::kPatchDone) << Events(screen);
  EXPECT_EQ(registry.values.at(MachineVersionKey()), "1.08");
  EXPECT_FALSE(std::filesystem::exists(folder.Path() / "game" / "zrpatch.journal"));
  EXPECT_TRUE(Says(screen.Texts(Kind::Log), "applied successfully"));
}

TEST_F(RunPreconditionsTest, ASecondRunIsRefusedWhileTheFirstHoldsTheInstallation) {
  const std::string lockPath = install + "zrpatch.lock";
  {
    platform::RunLock other;  // the first run, between its start and its end
    std::string error;
    ASSERT_EQ(other.Acquire(lockPath, &error), platform::LockResult::Acquired) << error;
    const Tree before = Everything();
    ui::ScriptedInterface screen;
    screen.yesNoAnswers = {true};
    EXPECT_EQ(Run(), app::kPatchFailed);
    EXPECT_EQ(Everything(), before);
    EXPECT_TRUE(Says(screen.Texts(Kind::Message), "Another run of the patch is updating this installation"))
        << Events(screen);
    EXPECT_TRUE(screen.Texts(Kind::YesNo).empty()) << "refused before the start question";
  }
  // Released (or left by a run that was killed: the system lets go of it), the lock is taken again,
  // and a finished run leaves no lock file.
  ui::ScriptedInterface screen;
  screen.yesNoAnswers = {true};
  EXPECT_EQ(Run(), app::kPatchDone) << Events(screen);
  EXPECT_FALSE(std::filesystem::exists(folder.Path() / "game" / "zrpatch.lock"));
}

TEST_F(RunPreconditionsTest, ADistributionNamedInAdvanceMustBeThePatchsAndTheInstallations) {
  const Tree before = Everything();
  for (const auto& [named, says] : std::vector<std::pair<std::string, std::string>>{
           {"FRENCH", "This patch has no distribution FRENCH (it has ENGLISH, GERMAN)."},
           {"english", "The installation cannot be the distribution english (it can be GERMAN)."}}) {
    ui::ScriptedInterface screen;
    screen.yesNoAnswers = {true};
    options.distribution = named;
    EXPECT_EQ(Run(), app::kPatchFailed);
    EXPECT_TRUE(Says(screen.Texts(Kind::Message), says)) << Events(screen);
    EXPECT_TRUE(screen.Texts(Kind::YesNo).empty());
    EXPECT_EQ(Everything(), before);
  }
  ui::ScriptedInterface screen;
  screen.yesNoAnswers = {true};
  options.distribution = "german";
  EXPECT_EQ(Run(), app::kPatchDone) << Events(screen);
}

TEST_F(RunPreconditionsTest, AnEmptyDisplayNameKeepsTheProductName) {
  ui::SetPlaceholders("Corvanth", "9.99");
  std::string text = ManifestText("1.08", true, "");
  text.replace(text.find("displayName=\"Example Game\";"), std::string("displayName=\"Example Game\";").size(),
               "displayName=\"\";");
  Sign(text);
  ui::ScriptedInterface screen;
  screen.yesNoAnswers = {true};
  EXPECT_EQ(Run(), app::kPatchDone) << Events(screen);
  const std::vector<std::string> titles = screen.Texts(Kind::Title);
  ASSERT_FALSE(titles.empty());
  EXPECT_EQ(titles.front(), "Corvanth: Updating version 1.05 to version 1.08...");
}

}  // namespace
