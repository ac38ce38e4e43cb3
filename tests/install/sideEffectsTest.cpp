// Registry values and shortcuts as a patch leaves them, for the installation's distribution.
#include "install/registryUpdates.h"
#include "install/shortcuts.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "install/uninstallLog.h"
#include "support/memoryRegistry.h"
#include "support/tempFolder.h"
#include "support/currentRunMessages.h"

namespace {

std::vector<std::string> Lines(const DynArray<RefString>& list) {
  std::vector<std::string> lines;
  for (int i = 0; i < list.Size(); ++i) lines.emplace_back(list[i].Data());
  return lines;
}

TEST(RegistryUpdates, WrittenForTheirDistributionsOnlyAndEveryRefusalNamed) {
  MemoryRegistry registry;
  install::RegistryUpdate everyone{false, "Software\\Corvanth", "Version", "1.08", false, {}};
  install::RegistryUpdate germanOrEuro{true, "Software\\Corvanth", "Language", "Deutsch", true, {"german", "EURO"}};
  install::RegistryUpdate never{true, "Software\\Corvanth", "Never", "x", true, {}};
  const std::vector<install::RegistryUpdate> updates = {everyone, germanOrEuro, never};
  std::vector<std::string> problems;

  EXPECT_TRUE(install::UpdateRegistry(updates, "GERMAN", &problems));
  EXPECT_EQ(registry.values.size(), 2u);
  EXPECT_EQ(registry.values.at(MemoryRegistry::Key(platform::RegistryHive::CurrentUser, "Software\\Corvanth", "Language")),
            "Deutsch");

  registry.values.clear();
  EXPECT_TRUE(install::UpdateRegistry(updates, "USA", &problems));
  EXPECT_EQ(registry.values.size(), 1u);
  EXPECT_TRUE(install::UpdateRegistry(updates, "", &problems));
  EXPECT_EQ(registry.values.size(), 1u) << "no distribution: only the values without a list";
  EXPECT_TRUE(problems.empty());

  // A machine hive the user may not change: found by the check, which writes nothing; the write itself
  // still writes the user's value and names the machine's.
  registry.values.clear();
  registry.refuseMachineWrites = true;
  EXPECT_FALSE(install::CanUpdateRegistry(updates, "EURO", &problems));
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0], "The registry key HKEY_LOCAL_MACHINE\\Software\\Corvanth cannot be written: access denied");
  EXPECT_TRUE(registry.values.empty());
  problems.clear();
  EXPECT_FALSE(install::CanUpdateRegistry({germanOrEuro, everyone}, "USA", &problems));
  EXPECT_EQ(problems.size(), 1u) << "only the values the distribution writes are checked";
  problems.clear();
  EXPECT_FALSE(install::UpdateRegistry(updates, "EURO", &problems));
  EXPECT_EQ(registry.values.size(), 1u);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0],
            "The registry value HKEY_LOCAL_MACHINE\\Software\\Corvanth\\Version was not written: access denied");
  problems.clear();
  registry.refuseMachineWrites = false;
  EXPECT_TRUE(install::CanUpdateRegistry(updates, "EURO", &problems));
  EXPECT_TRUE(problems.empty());
}

TEST(Shortcuts, PlacementPathsAndDistributionRules) {
  const std::string install = "C:\\Games\\Corvanth";
  EXPECT_EQ(install::ResolveInstallPath("bin\\editor.exe", install), "C:\\Games\\Corvanth\\bin\\editor.exe");
  EXPECT_EQ(install::ResolveInstallPath("C:\\x.exe", install), "C:\\x.exe");
  EXPECT_EQ(install::ResolveInstallPath("\\x.exe", install), "\\x.exe");
  EXPECT_EQ(install::ResolveInstallPath("..\\x.exe", install), "..\\x.exe");
  EXPECT_EQ(install::ResolveInstallPath("bin\\e.exe", install + "\\"), "C:\\Games\\Corvanth\\bin\\e.exe");

  install::Shortcut editor;
  editor.source = "Editor";
  editor.startMenuGroup = "Tools\\Editor";
  EXPECT_EQ(install::ShortcutLinkPath(editor, install, "C:\\ProgramData\\Programs"),
            "C:\\ProgramData\\Programs\\Tools\\Editor\\Editor.lnk");
  editor.startMenuGroup.clear();
  EXPECT_EQ(install::ShortcutLinkPath(editor, install, "C:\\ProgramData\\Programs"), "C:\\Games\\Corvanth\\Editor.lnk");

  editor.includeDistributions = {"GERMAN", "EURO"};
  editor.excludeDistributions = {"euro"};
  EXPECT_TRUE(install::ShortcutApplies(editor, "german"));
  EXPECT_FALSE(install::ShortcutApplies(editor, "EURO")) << "listed in both: no link";
  EXPECT_FALSE(install::ShortcutApplies(editor, "USA"));
  editor.includeDistributions.clear();
  EXPECT_TRUE(install::ShortcutApplies(editor, "USA"));
}

TEST(Shortcuts, CreatedWithTheirFoldersRecordedForTheUninstaller) {
  TempFolder folder;
  const std::string install = (folder.Path() / "game").string();
  install::Shortcut editor;
  editor.source = "Tools\\Editor";
  editor.destination = "bin\\editor.exe";
  editor.workingDirectory = "bin\\editor.exe";
  editor.description = "Map editor";
  install::Shortcut skipped = editor;
  skipped.source = "Other";
  skipped.excludeDistributions = {"GERMAN"};
  testsupport::UninstallList().Clear();
  std::vector<std::string> problems;
  EXPECT_TRUE(install::CanCreateShortcuts({editor, skipped}, install, "GERMAN", &problems));
  EXPECT_FALSE(std::filesystem::exists(folder.Path() / "game")) << "the check makes no folder";
  EXPECT_TRUE(std::filesystem::is_empty(folder.Path())) << "nor leaves its probe behind";
  EXPECT_TRUE(install::CreateShortcuts({editor, skipped}, install, testsupport::UninstallList(), "GERMAN", &problems));
  EXPECT_TRUE(problems.empty());
  const std::vector<std::string> lines = Lines(testsupport::UninstallList());
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[lines.size() - 3], "D:" + install);
  EXPECT_EQ(lines[lines.size() - 2], "D:" + install + "\\Tools");
  EXPECT_EQ(lines.back(), "F:" + install + "\\Tools\\Editor.lnk");
  EXPECT_TRUE(std::filesystem::is_regular_file(folder.Path() / "game" / "Tools" / "Editor.lnk"));
  EXPECT_FALSE(std::filesystem::exists(folder.Path() / "game" / "Other.lnk"));
  testsupport::UninstallList().Clear();

  // A file where the link's folder would be: refused by the check, and by the creation with its name.
  install::Shortcut blocked = editor;
  blocked.source = "readme.txt\\Editor";
  { std::ofstream(folder.Path() / "game" / "readme.txt") << "text"; }
  EXPECT_FALSE(install::CanCreateShortcuts({blocked}, install, "GERMAN", &problems));
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0], "The shortcut " + install + "\\readme.txt\\Editor.lnk cannot be made: " + install +
                             "\\readme.txt is a file, not a folder");
  problems.clear();
  EXPECT_FALSE(install::CreateShortcuts({blocked, editor}, install, testsupport::UninstallList(), "GERMAN", &problems));
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("readme.txt\\Editor.lnk was not made"), std::string::npos) << problems[0];
  EXPECT_EQ(Lines(testsupport::UninstallList()).back(), "F:" + install + "\\Tools\\Editor.lnk") << "the others are made";
  testsupport::UninstallList().Clear();
}

}  // namespace
