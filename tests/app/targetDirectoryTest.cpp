// A manifest with `targetDirectory`: the files the patch updates and adds go to that folder inside the
// installation, through both steps (the second step reading the first one's copies), while the main
// folder keeps its old files; the next run finds the patch applied by the copies. A target directory
// that leaves the installation is refused.
#include <gtest/gtest.h>

#include "patchRunFixture.h"

namespace {

using namespace patchruntest;
using Kind = ui::ScriptedInterface::EventKind;

TEST_F(PatchRunTest, TargetDirectoryReceivesEveryUpdatedFileOverTwoSteps) {
  Sign(ManifestText("1.08", true, "targetDirectory=\"Patched\";\n"));
  const Tree before = Installed();
  ui::ScriptedInterface screen;
  screen.yesNoAnswers = {true};
  ASSERT_EQ(Run(), app::kPatchDone) << Events(screen);

  Tree installed = Installed();
  std::string listing;
  for (const auto& file : installed) listing += "\n  " + file.first;
  SCOPED_TRACE(listing);
  // The main folder: as it was, but for the patch's own files beside it.
  for (const auto& file : before) EXPECT_EQ(installed.at(file.first), file.second) << file.first;
  // The target directory: every file of 1.08 that differs from 1.05, as 1.08 has it, new names lower-cased.
  const auto copy = [&](const std::string& name) {
    const auto found = installed.find("patched\\" + name);  // made by the patch: lower case
    EXPECT_NE(found, installed.end()) << name;
    return found == installed.end() ? std::string() : found->second;
  };
  EXPECT_EQ(copy("game.exe"), steppatch::Digested({{"x", versions.v108.at("game.exe")}}).at("x"));
  EXPECT_EQ(copy("readme.txt"), "Version 1.08\r\n");
  EXPECT_EQ(copy("data\\map.pak"), steppatch::Digested({{"x", versions.v108.at("Data\\Map.pak")}}).at("x"));
  EXPECT_EQ(copy("data\\new.pak"), steppatch::Digested({{"x", versions.v108.at("Data\\New.pak")}}).at("x"));
  EXPECT_EQ(copy("tools\\editor.exe"), "editor");
  EXPECT_EQ(copy("docs\\manual.txt"), "manual");
  EXPECT_EQ(installed.count("patched\\data\\sound.wav"), 0u) << "nothing of the main folder is deleted";
  EXPECT_EQ(installed.at("Data\\Sound.wav"), before.at("Data\\Sound.wav"));
  EXPECT_EQ(screen.Texts(Kind::Log).back(), "Example Game patch 1.08 has been applied successfully.");

  // The next run finds the game at 1.08 through the target directory's executable, and verifies it.
  ui::ScriptedInterface again;
  again.yesNoAnswers = {true};
  EXPECT_EQ(Run(), app::kPatchDone) << Events(again);
  EXPECT_EQ(again.Texts(Kind::Log).back(), "Example Game patch 1.08 has been already applied.");

  // A target directory that leaves the installation folder is refused before anything changes.
  for (const char* outside : {"..\\Elsewhere", "C:\\Elsewhere", "\\Elsewhere"}) {
    Sign(ManifestText("1.08", true, std::string("targetDirectory=\"") + outside + "\";\n"));
    const Tree now = Everything();
    ui::ScriptedInterface refused;
    refused.yesNoAnswers = {true};
    EXPECT_EQ(Run(), app::kPatchFailed) << outside;
    ASSERT_EQ(refused.Texts(Kind::Message).size(), 1u) << Events(refused);
    EXPECT_NE(refused.Texts(Kind::Message)[0].find("target directory"), std::string::npos);
    EXPECT_EQ(Everything(), now);
  }
}

}  // namespace
