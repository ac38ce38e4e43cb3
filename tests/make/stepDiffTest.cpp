// A version step from two trees: every kind of change, names that change case, nested and non-ASCII
// names, entries of a distribution, stale entries removed, the same result on one thread and several.

#include "make/stepDiff.h"

#include <gtest/gtest.h>

#include <set>

#include "makeTestSupport.h"
#include "support/faultInjectingProcessLauncher.h"
#include "support/tempFolder.h"

namespace {

using maketest::Write;

std::set<std::string> Files(const std::filesystem::path& root) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) names.insert(std::filesystem::relative(entry.path(), root).generic_u8string());
  }
  return names;
}

class StepDiffTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto o = folder_.Path() / "old", n = folder_.Path() / "new";
    Write(o / "Same.pak", "same");
    Write(n / "Same.pak", "same");
    Write(o / "Data" / "Gone.pak", "gone");
    Write(n / "Data" / "Added.pak", "added");
    Write(o / "Data" / "Maps" / "Moved.map", "moved");
    Write(n / "Maps" / "Moved.map", "moved");
    Write(o / "Readme.txt", "readme");
    Write(n / "README.TXT", "readme");
    Write(o / "Becomes.empty", "bytes");
    Write(n / "Becomes.empty", "");
    Write(o / "Empty.both", "");
    Write(n / "Empty.both", "");
    nonAscii_ = maketest::NonAsciiNamesKept(folder_.Path());
    if (nonAscii_) {
      Write(o / "Grüße.txt", "hallo");
      Write(n / "Grüße.txt", "hallo");
      // Renamed only in a non-ASCII letter's case: the same file, not a deletion and a new one.
      Write(o / "Docs" / "Żółć.txt", "pl");
      Write(n / "Docs" / "żółć.txt", "pl");
    }
    options_.oldTree = folder_.File("old");
    options_.newTree = folder_.File("new");
    options_.fromVersion = "1.05";
    options_.toVersion = "1.06";
    options_.payload = folder_.File("payload");
  }
  TempFolder folder_;
  make::DiffOptions options_;
  bool nonAscii_ = false;
};

TEST_F(StepDiffTest, EveryKindOfChange) {
  FaultInjectingProcessLauncher launcher;  // Becomes.empty differs: its delta "fails"
  launcher.ReportExitCode("", 1);
  options_.jobs = 1;
  make::DiffReport report;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(make::DiffTrees(options_, &report));
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(report.problems.size(), 1u);
  EXPECT_EQ(report.problems[0], options_.newTree + ": Becomes.empty: no entry could be written");
  const auto step = folder_.Path() / "payload" / "1.05-1.06";
  std::set<std::string> expected{"Data/Added.pak.ini", "Data/Gone.pak.del", "Data/Maps/Moved.map.del", "Empty.both.equ",
                                 "Maps/Moved.map.ini", "README.TXT.equ", "Same.pak.equ"};
  if (nonAscii_) expected.insert({"Grüße.txt.equ", "Docs/żółć.txt.equ"});
  EXPECT_EQ(Files(step), expected);
  EXPECT_EQ(maketest::Read(step / "README.TXT.equ"), "E");
  EXPECT_EQ(report.files, nonAscii_ ? 10 : 8);
}

TEST_F(StepDiffTest, DistributionEntriesAndStaleOnesRemoved) {
  std::filesystem::remove(folder_.Path() / "old" / "Becomes.empty");
  options_.carryNewFiles = true;
  options_.distribution = "GERMAN";
  const auto step = folder_.Path() / "payload" / "1.05-1.06";
  Write(step / "Old.pak.upd.#GERMAN", "stale");
  Write(step / "Old.pak.upd.#ENGLISH", "another distribution's");
  Write(step / "Half.pak.upd.#GERMAN.part", "interrupted");
  Write(step / "notes.txt", "the publisher's");
  make::DiffReport report;
  ASSERT_TRUE(make::DiffTrees(options_, &report)) << report.problems[0];
  EXPECT_EQ(maketest::Read(step / "Data" / "Added.pak.new.#GERMAN"), "added");
  EXPECT_EQ(maketest::Read(step / "Becomes.empty.new.#GERMAN"), "");
  EXPECT_FALSE(std::filesystem::exists(step / "Old.pak.upd.#GERMAN"));
  EXPECT_FALSE(std::filesystem::exists(step / "Half.pak.upd.#GERMAN.part"));
  EXPECT_TRUE(std::filesystem::exists(step / "Old.pak.upd.#ENGLISH"));
  EXPECT_TRUE(std::filesystem::exists(step / "notes.txt"));
  EXPECT_EQ(report.removedStale, 2);
  EXPECT_EQ(report.added, 3);
  EXPECT_EQ(report.deleted, 2);
}

TEST_F(StepDiffTest, ParallelRunWritesWhatASerialRunWrites) {
  for (int i = 0; i < 40; ++i) {
    Write(folder_.Path() / "old" / "many" / ("f" + std::to_string(i)), maketest::Noise(1000 + i, i));
    Write(folder_.Path() / "new" / "many" / ("f" + std::to_string(i)), maketest::Noise(1000 + i, i + (i % 3 == 0)));
  }
  std::filesystem::remove(folder_.Path() / "old" / "Becomes.empty");
  std::set<std::string> serial, parallel;
  std::uint64_t lastDone = 0;
  int calls = 0;
  for (int jobs : {1, 4}) {
    options_.jobs = jobs;
    options_.payload = folder_.File("payload" + std::to_string(jobs));
    options_.progress = [&](std::uint64_t done, std::uint64_t total, const std::string&) {
      EXPECT_LE(done, total);
      lastDone = done;
      ++calls;
    };
    make::DiffReport report;
    testing::internal::CaptureStdout();
    const bool ok = make::DiffTrees(options_, &report);
    const std::string printed = testing::internal::GetCapturedStdout();
    if (!ok && printed.find("CreateProcess failed") != std::string::npos) GTEST_SKIP() << "no delta encoder here";
    ASSERT_TRUE(ok) << report.problems[0] << printed;
    EXPECT_EQ(report.deltas, 14);
    EXPECT_EQ(lastDone, report.bytes);
    (jobs == 1 ? serial : parallel) = Files(options_.payload);
  }
  EXPECT_EQ(serial, parallel);
  EXPECT_EQ(calls, 2 * (nonAscii_ ? 50 : 48));
  for (const std::string& name : serial) {
    if (name.find("many/f3.upd") != std::string::npos) {
      EXPECT_EQ(maketest::Read(folder_.Path() / "payload1" / name).substr(0, 3), "\xD6\xC3\xC4");
    }
  }
}

TEST_F(StepDiffTest, RefusedInput) {
  make::DiffReport report;
  options_.fromVersion = "1.5";
  options_.distribution = "GER.MAN";
  EXPECT_FALSE(make::DiffTrees(options_, &report));
  EXPECT_EQ(report.problems.size(), 2u);
  std::string version;
  EXPECT_TRUE(make::NormalizeVersion("01.08", &version));
  EXPECT_EQ(version, "1.08");
  EXPECT_FALSE(make::NormalizeVersion("1.080", &version));
  EXPECT_FALSE(make::NormalizeVersion("1.0a", &version));
  EXPECT_FALSE(make::NormalizeVersion(".08", &version));
}

}  // namespace
