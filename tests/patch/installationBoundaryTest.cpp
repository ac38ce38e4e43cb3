// The installation boundary as a file system: changes through a link that leads out of a guarded folder
// are refused and named, a link itself may be removed or replaced, paths outside every guarded folder
// pass, and every failed change inside is reported with its real cause (the faults injected below it).
#include "patch/installationBoundary.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "support/faultInjectingFileSystem.h"
#include "support/tempFolder.h"
#include "support/textLines.h"

namespace {

class InstallationBoundaryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(folder.Path() / "game" / "Data");
    std::filesystem::create_directories(folder.Path() / "outside" / "Data");
    std::ofstream(folder.Path() / "outside" / "secret.txt") << "outside";
    std::ofstream(folder.Path() / "outside" / "Data" / "map.pak") << "outside map";
    std::error_code error;
    const std::filesystem::path game = folder.Path() / "game";
    std::filesystem::create_directory_symlink(folder.Path() / "outside" / "Data", game / "Linked", error);
    if (!error) std::filesystem::create_symlink(folder.Path() / "outside" / "secret.txt", game / "secret.txt", error);
    if (!error) std::filesystem::create_symlink(folder.Path() / "outside" / "gone.txt", game / "dangling.txt", error);
    linksMade = !error;
  }

  // A name in the game folder as the run writes it (backslashes below the folder).
  std::string Game(const std::string& relative) const { return (folder.Path() / "game").string() + "\\" + relative; }
  std::string Outside(const std::string& relative) const { return (folder.Path() / "outside" / relative).string(); }

  TempFolder folder;
  bool linksMade = false;
  std::vector<std::string> reports;
};

TEST_F(InstallationBoundaryTest, ChangesThroughLinksOutOfTheFolderAreRefusedAndNamed) {
  if (!linksMade) GTEST_SKIP() << "this file system makes no symbolic links here";
  patch::InstallationBoundary boundary([this](const std::string& line) { reports.push_back(line); });
  ASSERT_TRUE(boundary.AddFolder((folder.Path() / "game").string()));
  platform::FileSystem* files = platform::CurrentFileSystem();
  ASSERT_EQ(files, &boundary) << "it serves the process while it lives";

  // Through the folder link: every kind of change.
  EXPECT_FALSE(platform::IsValidFile(files->OpenWrite(Game("Linked\\map.pak").c_str())));
  EXPECT_EQ(files->LastError(), patch::InstallationBoundary::kLeadsOutside);
  EXPECT_EQ(files->ErrorKind(files->LastError()), platform::FileError::AccessDenied);
  EXPECT_FALSE(files->MakeWritable(Game("Linked\\map.pak").c_str()));
  EXPECT_FALSE(files->Delete(Game("Linked\\map.pak").c_str()));
  EXPECT_FALSE(files->CreateFolder(Game("Linked\\New").c_str()));
  EXPECT_FALSE(files->RenameReplacing(Game("Data\\x").c_str(), Game("Linked\\map.pak").c_str()));
  EXPECT_FALSE(platform::IsValidFile(files->OpenAppend(Game("Linked\\log.txt").c_str())));
  // Through the file link: writing and the mode; a link that leads nowhere cannot be checked either.
  EXPECT_FALSE(platform::IsValidFile(files->OpenWrite(Game("secret.txt").c_str())));
  EXPECT_FALSE(files->MakeWritable(Game("secret.txt").c_str()));
  EXPECT_FALSE(platform::IsValidFile(files->OpenWrite(Game("dangling.txt").c_str())));
  EXPECT_FALSE(std::filesystem::exists(Outside("gone.txt")));
  EXPECT_TRUE(AnyContains(reports, "Refused to write " + Game("Linked\\map.pak") + ": the link " + Game("Linked") +
                                       " leads out of"))
      << Joined(reports);
  EXPECT_TRUE(AnyContains(reports, "Refused to change the attributes of " + Game("secret.txt") + ": the link " +
                                       Game("secret.txt") + " leads out of"))
      << Joined(reports);
  EXPECT_EQ(reports.size(), 9u) << Joined(reports);

  // Nothing outside changed; the links themselves may go, which changes nothing they lead to.
  std::ifstream secret(Outside("secret.txt"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(secret), std::istreambuf_iterator<char>()), "outside");
  EXPECT_TRUE(files->Delete(Game("secret.txt").c_str()));
  EXPECT_TRUE(std::filesystem::exists(Outside("secret.txt")));
  EXPECT_TRUE(std::filesystem::exists(Outside("Data/map.pak")));

  // Inside the folder, and outside every guarded folder, changes go through.
  const platform::FileHandle inside = files->OpenWrite(Game("Data\\new.pak").c_str());
  ASSERT_TRUE(platform::IsValidFile(inside));
  files->Close(inside);
  const platform::FileHandle elsewhere = files->OpenWrite(Outside("elsewhere.txt").c_str());
  ASSERT_TRUE(platform::IsValidFile(elsewhere));
  files->Close(elsewhere);
  EXPECT_TRUE(files->RenameReplacing(Game("Data\\new.pak").c_str(), Game("Data\\renamed.pak").c_str()));
}

TEST_F(InstallationBoundaryTest, EveryFailedChangeInsideIsReportedWithItsCause) {
  FaultInjectingFileSystem faults;
  patch::InstallationBoundary boundary([this](const std::string& line) { reports.push_back(line); });
  ASSERT_TRUE(boundary.AddFolder((folder.Path() / "game").string()));
  platform::FileSystem* files = platform::CurrentFileSystem();
  char diskFull[256];
  faults.injectedError = ENOSPC;
  platform::NativeFileSystem()->ErrorText(ENOSPC, diskFull, sizeof diskFull);

  // A write that stops short, and a rename the disk refuses: each named with the system's text.
  faults.diskSpace = 4;
  const platform::FileHandle file = files->OpenWrite(Game("Data\\map.pak.tmp").c_str());
  ASSERT_TRUE(platform::IsValidFile(file));
  std::uint32_t written = 0;
  files->Write(file, "0123456789", 10, &written);
  files->Close(file);
  faults.failRename = true;
  EXPECT_FALSE(files->RenameReplacing(Game("Data\\map.pak.tmp").c_str(), Game("Data\\map.pak").c_str()));
  EXPECT_TRUE(AnyContains(reports, "Cannot write " + Game("Data\\map.pak.tmp") + ": only 4 of 10 bytes")) << Joined(reports);
  EXPECT_TRUE(AnyContains(reports, "Cannot move into place " + Game("Data\\map.pak.tmp") + " -> " + Game("Data\\map.pak") +
                                       ": " + diskFull))
      << Joined(reports);
  // A file that is not there to delete is no failure worth a word; outside the folder nothing is said.
  const std::size_t before = reports.size();
  EXPECT_FALSE(files->Delete(Game("Data\\never.tmp").c_str()));
  faults.failOpen = true;
  EXPECT_FALSE(platform::IsValidFile(files->OpenWrite(Outside("x.txt").c_str())));
  EXPECT_EQ(reports.size(), before) << Joined(reports);
  EXPECT_FALSE(platform::IsValidFile(files->OpenWrite(Game("Data\\y.txt").c_str())));
  EXPECT_TRUE(AnyContains(reports, "Cannot create " + Game("Data\\y.txt") + ": " + diskFull)) << Joined(reports);
}

}  // namespace
