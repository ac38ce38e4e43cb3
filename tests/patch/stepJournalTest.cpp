#include "patch/stepJournal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/faultInjectingFileSystem.h"
#include "support/tempFolder.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

TEST(StepJournal, ARerunFindsWhatTheFirstRunBeganAndFinished) {
  TempFolder folder;
  const std::string path = patch::StepJournal::PathIn(folder.Path().string() + "/");
  {
    patch::StepJournal journal;
    ASSERT_TRUE(journal.Open(path));
    EXPECT_FALSE(journal.Resuming());
    EXPECT_FALSE(std::filesystem::exists(path));  // nothing is written before the first record
    ASSERT_TRUE(journal.SetValue("from", "1.05"));
    ASSERT_TRUE(journal.Begin("1.05-1.06\\A.PAK.UPD", true));
    ASSERT_TRUE(journal.Done("1.05-1.06\\A.PAK.UPD", {"F:C:\\Game\\a.pak.tmp", "D:C:\\Game"}));
    ASSERT_TRUE(journal.Begin("1.05-1.06\\B.PAK.NEW", false));
    EXPECT_FALSE(journal.Begin("bad\tname", true));  // a field cannot hold the format's separators
  }
  patch::StepJournal rerun;
  ASSERT_TRUE(rerun.Open(path));
  EXPECT_TRUE(rerun.Resuming());
  EXPECT_EQ(rerun.Value("from"), "1.05");
  std::vector<std::string> lines;
  ASSERT_TRUE(rerun.IsDone("1.05-1.06\\A.PAK.UPD", &lines));
  EXPECT_EQ(lines, (std::vector<std::string>{"F:C:\\Game\\a.pak.tmp", "D:C:\\Game"}));
  bool existed = true;
  EXPECT_FALSE(rerun.IsBegun("1.05-1.06\\A.PAK.UPD", &existed));
  ASSERT_TRUE(rerun.IsBegun("1.05-1.06\\B.PAK.NEW", &existed));
  EXPECT_FALSE(existed);
  EXPECT_FALSE(rerun.IsDone("1.05-1.06\\B.PAK.NEW", nullptr));
  rerun.Remove();
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(StepJournal, RecordsCutShortByAnInterruptionAreIgnoredAndClosed) {
  TempFolder folder;
  const std::string path = folder.File("zrpatch.journal");
  // A run killed in the middle of writing a record.
  { std::ofstream(path, std::ios::binary) << "zrpatch journal 1\nB\t1\tX.NEW\t.\nL\tF:x\t.\nD\tX.N"; }
  patch::StepJournal journal;
  ASSERT_TRUE(journal.Open(path));
  EXPECT_FALSE(journal.IsDone("X.N", nullptr));
  EXPECT_FALSE(journal.IsDone("X.NEW", nullptr));
  EXPECT_TRUE(journal.IsBegun("X.NEW", nullptr));
  ASSERT_TRUE(journal.Done("X.NEW", {}));
  patch::StepJournal again;
  ASSERT_TRUE(again.Open(path));
  EXPECT_TRUE(again.IsDone("X.NEW", nullptr));
  std::vector<std::string> lines;
  ASSERT_TRUE(again.IsDone("X.NEW", &lines));
  EXPECT_TRUE(lines.empty());  // the uninstall line of the record that was cut short is void
  EXPECT_EQ(ReadFile(path), "zrpatch journal 1\nB\t1\tX.NEW\t.\nL\tF:x\t.\nD\tX.N\nX\t.\nD\tX.NEW\t.\n");

  // Killed while writing the header: nothing was recorded, and the file starts afresh.
  { std::ofstream(path, std::ios::binary) << "zrpatch jou"; }
  ASSERT_TRUE(journal.Open(path));
  EXPECT_FALSE(journal.Resuming());
  ASSERT_TRUE(journal.Begin("Y", false));
  EXPECT_EQ(ReadFile(path), "zrpatch journal 1\nB\t0\tY\t.\n");

  // Not a journal at all: refused, so that the run does not guess.
  { std::ofstream(path, std::ios::binary) << "something else\n"; }
  EXPECT_FALSE(journal.Open(path));
}

TEST(StepJournal, AFullDiskIsAFailureAndTheNextRecordStartsOnItsOwnLine) {
  TempFolder folder;
  const std::string path = folder.File("zrpatch.journal");
  patch::StepJournal journal;
  ASSERT_TRUE(journal.Open(path));
  ASSERT_TRUE(journal.Begin("A", true));
  {
    FaultInjectingFileSystem faults;
    faults.diskSpace = 4;
    EXPECT_FALSE(journal.Done("A", {"F:a"}));
  }
  ASSERT_TRUE(journal.Done("A", {"F:a"}));
  patch::StepJournal rerun;
  ASSERT_TRUE(rerun.Open(path));
  std::vector<std::string> lines;
  ASSERT_TRUE(rerun.IsDone("A", &lines));
  EXPECT_EQ(lines, std::vector<std::string>{"F:a"});
}

}  // namespace
