// Registry values and shortcuts as a patch leaves them, for the installation's distribution.
#include "install/registryUpdates.h"
#include "install/shortcuts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install/uninstallLog.h"
#include "support/memoryRegistry.h"
#include "support/tempFolder.h"

namespace {

std::vector<std::string> Lines(const DynArray<RefString>& list) {
  std::vector<std::string> lines;
  for (int i = 0; i < list.Size(); ++i) lines.emplace_back(list[i].Data());
  return lines;
}

TEST(RegistryUpdates, WrittenForTheirDistributionsOnlyAndRefusalsAreSilent) {
  MemoryRegistry registry;
  install::RegistryUpdate everyone{false, "Software\\Corvanth", "Version", "1.08", false, {}};
  install::RegistryUpdate germanOrEuro{true, "Software\\Corvanth", "Language", "Deutsch", true, {"german", "EURO"}};
  install::RegistryUpdate never{true, "Software\\Corvanth", "Never", "x", true, {}};
  const std::vector<install::RegistryUpdate> updates = {everyone, germanOrEuro, never};

  install::UpdateRegistry(updates, "GERMAN");
  EXPECT_EQ(registry.values.size(), 2u);
  EXPECT_EQ(registry.values.at(MemoryRegistry::Key(platform::RegistryHive::CurrentUser, "Software\\Corvanth", "Language")),
            "Deutsch");

  registry.values.clear();
  install::UpdateRegistry(updates, "USA");
  EXPECT_EQ(registry.values.size(), 1u);
  install::UpdateRegistry(updates, "");
  EXPECT_EQ(registry.values.size(), 1u) << "no distribution: only the values without a list";

  // A machine hive the user may not change: the user's value is still written.
  registry.values.clear();
  registry.refuseMachineWrites = true;
  install::UpdateRegistry(updates, "EURO");
  EXPECT_EQ(registry.values.size(), 1u);
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
  install::UninstallList().Clear();
  install::CreateShortcuts({editor, skipped}, install, install::UninstallList(), "GERMAN");
  const std::vector<std::string> lines = Lines(install::UninstallList());
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[lines.size() - 3], "D:" + install);
  EXPECT_EQ(lines[lines.size() - 2], "D:" + install + "\\Tools");
  EXPECT_EQ(lines.back(), "F:" + install + "\\Tools\\Editor.lnk");
  EXPECT_TRUE(std::filesystem::is_regular_file(folder.Path() / "game" / "Tools" / "Editor.lnk"));
  EXPECT_FALSE(std::filesystem::exists(folder.Path() / "game" / "Other.lnk"));
  install::UninstallList().Clear();
}

}  // namespace
