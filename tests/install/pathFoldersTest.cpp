// The folders on the way to a file the patch creates: made from the root down, each recorded for the
// uninstaller, with the root of a drive or of a network share left as it is and a relative path taken
// from the current folder.
#include "install/pathFolders.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "install/uninstallLog.h"
#include "support/faultInjectingFileSystem.h"
#include "support/currentRunMessages.h"

namespace {

// Folders held by name only, so that drive letters and network shares can be walked on any system.
class NamedFolders : public FaultInjectingFileSystem {
 public:
  std::set<std::string> existing;
  std::vector<std::string> created, entered;
  std::string current = "C:\\Games";

  bool Exists(const char* name, bool* isFolder) override {
    if (isFolder) *isFolder = true;
    return existing.count(name) > 0;
  }
  bool CreateFolder(const char* name) override {
    created.emplace_back(name);
    existing.insert(name);
    return true;
  }
  bool CurrentFolder(std::string* folder) override {
    *folder = current;
    return true;
  }
  bool SetCurrentFolder(const char* name) override {
    entered.emplace_back(name);
    return true;
  }
};

std::vector<std::string> Recorded() {
  std::vector<std::string> lines;
  for (int i = 0; i < testsupport::UninstallList().Size(); ++i) lines.emplace_back(testsupport::UninstallList()[i].Data());
  testsupport::UninstallList().Clear();
  return lines;
}

TEST(CreatePathDirectories, DrivesSharesAndRelativePaths) {
  testsupport::UninstallList().Clear();
  {
    NamedFolders folders;
    folders.existing = {"C:\\Games"};
    EXPECT_TRUE(install::CreatePathDirectories("C:\\Games\\Corvanth\\Data\\map.pak", true, &testsupport::UninstallList()));
    EXPECT_EQ(folders.created, (std::vector<std::string>{"C:\\Games\\Corvanth", "C:\\Games\\Corvanth\\Data"}));
    EXPECT_EQ(folders.entered, (std::vector<std::string>{"C:\\Games"})) << "the deepest folder that existed";
    EXPECT_EQ(Recorded(), (std::vector<std::string>{"D:C:\\Games", "D:C:\\Games\\Corvanth", "D:C:\\Games\\Corvanth\\Data"}));
  }
  {
    // A network share: neither "\\server" nor the share itself is a folder the patch can make.
    NamedFolders folders;
    EXPECT_TRUE(install::CreatePathDirectories("\\\\server\\games\\Corvanth\\Editor.lnk", true, &testsupport::UninstallList()));
    EXPECT_EQ(folders.created, (std::vector<std::string>{"\\\\server\\games\\Corvanth"}));
    EXPECT_EQ(Recorded(), (std::vector<std::string>{"D:\\\\server\\games\\Corvanth"}));
    EXPECT_TRUE(install::CreatePathDirectories("\\\\server\\games", false, &testsupport::UninstallList()));
    EXPECT_TRUE(folders.created.size() == 1 && Recorded().empty()) << "the share alone has nothing to make";
  }
  {
    // A relative path is taken from the current folder.
    NamedFolders folders;
    folders.existing = {"C:\\Games"};
    EXPECT_TRUE(install::CreatePathDirectories("Corvanth\\Data", false, &testsupport::UninstallList()));
    EXPECT_EQ(folders.created, (std::vector<std::string>{"C:\\Games\\Corvanth", "C:\\Games\\Corvanth\\Data"}));
    Recorded();
    // Longer than a path may be: refused, nothing made.
    folders.created.clear();
    EXPECT_FALSE(install::CreatePathDirectories(("C:\\" + std::string(260, 'a') + "\\b").c_str(), false, &testsupport::UninstallList()));
    EXPECT_TRUE(folders.created.empty());
    EXPECT_TRUE(install::CreatePathDirectories("", true, &testsupport::UninstallList()));
  }
  EXPECT_TRUE(Recorded().empty());
}

}  // namespace
