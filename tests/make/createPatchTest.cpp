// The authoring actions: which output each pair of files gets, byte for byte; deltas reused only when
// the record proves their inputs; the delta tool's failures; outputs of other actions removed when a
// file's action changes.

#include "make/createPatch.h"

#include <gtest/gtest.h>

#include "make/deltaInputs.h"
#include "makeTestSupport.h"
#include "standInEncoder.h"
#include "support/faultInjectingProcessLauncher.h"
#include "support/tempFolder.h"
#include "vcdiff/decodeInMemory.h"

namespace {

using maketest::Read;
using maketest::Write;

class CreatePatchTest : public ::testing::Test {
 protected:
  std::string Old(const std::string& name) { return folder_.File("old/" + name); }
  std::string New(const std::string& name) { return folder_.File("new/" + name); }
  std::string Out(const std::string& name) { return folder_.File("out/" + name); }
  void SetUp() override { std::filesystem::create_directories(folder_.Path() / "out"); }

  TempFolder folder_;
};

TEST_F(CreatePatchTest, MarkersForIdenticalAddedAndDeletedFiles) {
  Write(Old("same.pak"), "abc");
  Write(New("same.pak"), "abc");
  Write(New("added.pak"), "fresh");
  Write(Old("gone.pak"), "old");
  make::CreatePatch action(false);
  EXPECT_EQ(action.Apply(Old("same.pak").c_str(), New("same.pak").c_str(), Out("same.pak.upd").c_str(), 1), 1u);
  EXPECT_EQ(Read(Out("same.pak.equ")), "E");
  EXPECT_EQ(action.Apply(Old("added.pak").c_str(), New("added.pak").c_str(), Out("added.pak.upd").c_str(), 1), 1u);
  EXPECT_EQ(Read(Out("added.pak.ini")), "I");
  EXPECT_EQ(action.Apply(Old("gone.pak").c_str(), New("gone.pak").c_str(), Out("gone.pak.upd").c_str(), 1), 1u);
  EXPECT_EQ(Read(Out("gone.pak.del")), "X");
  EXPECT_FALSE(std::filesystem::exists(Out("same.pak.upd")));

  make::CreatePatch carrying(true, ".#GERMAN");
  EXPECT_EQ(carrying.ApplyByName((folder_.File("old") + "/").c_str(), (folder_.File("new") + "/").c_str(),
                                 (folder_.File("out") + "/").c_str(), "added.pak"),
            1u);
  EXPECT_EQ(Read(Out("added.pak.new.#GERMAN")), "fresh");
  EXPECT_STREQ(carrying.LastAction(), ".new");
}

TEST_F(CreatePatchTest, FilesDifferingInTheLastByteOnly) {
  std::string bytes = maketest::Noise(3 * 1024 * 1024 + 17, 1);
  Write(Old("big.pak"), bytes);
  bytes.back() = static_cast<char>(bytes.back() ^ 1);
  Write(New("big.pak"), bytes);
  EXPECT_EQ(make::CompareFiles(New("big.pak").c_str(), Old("big.pak").c_str()), 1);
  EXPECT_EQ(make::CompareFiles(Old("big.pak").c_str(), Old("big.pak").c_str()), 0);
  Write(Old("empty"), "");
  Write(New("empty"), "");
  EXPECT_EQ(make::CompareFiles(New("empty").c_str(), Old("empty").c_str()), 0);
  Write(New("longer"), "ab");
  Write(Old("longer"), "a");
  EXPECT_EQ(make::CompareFiles(New("longer").c_str(), Old("longer").c_str()), 1);

  testing::internal::CaptureStderr();
  EXPECT_EQ(make::CompareFiles(New("missing").c_str(), Old("big.pak").c_str()), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Cannot open file " + New("missing") + "\n");
}

TEST_F(CreatePatchTest, EncodingCommandLineAndToolFailures) {
  Write(Old("a.pak"), "old bytes");
  Write(New("a.pak"), "new bytes");
  FaultInjectingProcessLauncher launcher;
  launcher.ReportExitCode("", 3);
  make::CreatePatch action(false, "", "enc");
  testing::internal::CaptureStdout();
  EXPECT_EQ(action.Apply(Old("a.pak").c_str(), New("a.pak").c_str(), Out("a.pak.upd").c_str(), 1), 0u);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "xdelta3 returned error code: 3\n");
  ASSERT_EQ(launcher.commandLines.size(), 1u);
  EXPECT_EQ(launcher.commandLines[0], "enc -f -I 262144 -W 1048576 -B 268435456 -s \"" + Old("a.pak") + "\" \"" +
                                          New("a.pak") + "\" \"" + Out("a.pak.upd") + ".part\"");
  EXPECT_FALSE(std::filesystem::exists(Out("a.pak.upd")));
  EXPECT_FALSE(std::filesystem::exists(Out("a.pak.upd.part")));
}

TEST_F(CreatePatchTest, ToolThatCannotStartOrWritesNothing) {
  Write(Old("a.pak"), "old bytes");
  Write(New("a.pak"), "new bytes");
  {
    FaultInjectingProcessLauncher launcher;
    launcher.FailStart("", 2);
    make::CreatePatch action(false, "", "enc");
    testing::internal::CaptureStdout();
    EXPECT_EQ(action.Apply(Old("a.pak").c_str(), New("a.pak").c_str(), Out("a.pak.upd").c_str(), 1), 0u);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "CreateProcess failed (2).\n");
  }
  {
    // Success reported, but no delta written: never an entry the up-to-date test would trust.
    FaultInjectingProcessLauncher launcher;
    launcher.ReportExitCode("", 0);
    make::CreatePatch action(false, "", "enc");
    EXPECT_EQ(action.Apply(Old("a.pak").c_str(), New("a.pak").c_str(), Out("a.pak.upd").c_str(), 1), 0u);
    EXPECT_FALSE(std::filesystem::exists(Out("a.pak.upd")));
  }
}

TEST_F(CreatePatchTest, DeltaIsKeptOnlyWhenTheRecordProvesItsInputs) {
  Write(Old("a.pak"), "old bytes");
  Write(New("a.pak"), "old bytez");
  Write(Old("b.pak"), "same");
  Write(New("b.pak"), "same");
  StandInEncoder encoder;
  make::DeltaInputRecord record(folder_.File("out"));
  make::CreatePatch action(false, "", StandInEncoder::kProgram, &record);
  ASSERT_EQ(action.Apply(Old("a.pak").c_str(), New("a.pak").c_str(), Out("a.pak.upd").c_str(), 1), 1u);
  ASSERT_EQ(action.Apply(Old("b.pak").c_str(), New("b.pak").c_str(), Out("b.pak.upd").c_str(), 1), 1u);
  EXPECT_EQ(encoder.encoded.size(), 1u);
  EXPECT_FALSE(action.LastWasUpToDate());

  // Unchanged inputs: no encoding; the marker is written again.
  std::filesystem::remove(Out("b.pak.equ"));
  EXPECT_EQ(action.Apply(Old("a.pak").c_str(), New("a.pak").c_str(), Out("a.pak.upd").c_str(), 1), 1u);
  EXPECT_TRUE(action.LastWasUpToDate());
  EXPECT_EQ(action.Apply(Old("b.pak").c_str(), New("b.pak").c_str(), Out("b.pak.upd").c_str(), 1), 1u);
  EXPECT_EQ(Read(Out("b.pak.equ")), "E");
  EXPECT_EQ(encoder.encoded.size(), 1u);

  // The old file gone: a delta is no longer the file's entry, whatever the record says.
  std::filesystem::remove(Old("a.pak"));
  EXPECT_EQ(action.Apply(Old("a.pak").c_str(), New("a.pak").c_str(), Out("a.pak.upd").c_str(), 1), 1u);
  EXPECT_STREQ(action.LastAction(), ".ini");
  EXPECT_FALSE(std::filesystem::exists(Out("a.pak.upd")));

  // Without a record nothing proves a delta's inputs: it is made every time.
  Write(Old("a.pak"), "old bytes");
  make::CreatePatch unrecorded(false, "", StandInEncoder::kProgram);
  EXPECT_EQ(unrecorded.Apply(Old("a.pak").c_str(), New("a.pak").c_str(), Out("a.pak.upd").c_str(), 1), 1u);
  EXPECT_EQ(unrecorded.Apply(Old("a.pak").c_str(), New("a.pak").c_str(), Out("a.pak.upd").c_str(), 1), 1u);
  EXPECT_FALSE(unrecorded.LastWasUpToDate());
  EXPECT_EQ(encoder.encoded.size(), 3u);
  EXPECT_EQ(vcdifftest::DecodeInMemory(Read(Out("a.pak.upd")), "old bytes").target, "old bytez");
}

TEST_F(CreatePatchTest, ChangedActionRemovesTheOtherOutputs) {
  Write(Old("a.pak"), "same");
  Write(New("a.pak"), "same");
  Write(Out("a.pak.upd"), "stale delta");
  Write(Out("a.pak.ini"), "I");
  maketest::Age(Out("a.pak.upd"), 100);
  make::CreatePatch action(false);
  EXPECT_EQ(action.Apply(Old("a.pak").c_str(), New("a.pak").c_str(), Out("a.pak.upd").c_str(), 1), 1u);
  EXPECT_EQ(Read(Out("a.pak.equ")), "E");
  EXPECT_FALSE(std::filesystem::exists(Out("a.pak.upd")));
  EXPECT_FALSE(std::filesystem::exists(Out("a.pak.ini")));
}

TEST_F(CreatePatchTest, RealDeltaRebuildsTheNewFile) {
  std::string bytes = maketest::Noise(200000, 7);
  Write(Old("a.pak"), bytes);
  bytes.replace(1000, 5, "CHANGED");
  Write(New("a.pak"), bytes);
  make::CreatePatch action(false);
  testing::internal::CaptureStdout();
  const std::uint32_t result = action.Apply(Old("a.pak").c_str(), New("a.pak").c_str(), Out("a.pak.upd").c_str(), 1);
  const std::string printed = testing::internal::GetCapturedStdout();
  if (result == 0 && printed.find("CreateProcess failed") != std::string::npos) {
    GTEST_SKIP() << "no delta encoder on this machine";
  }
  ASSERT_EQ(result, 1u) << printed;
  const std::string delta = Read(Out("a.pak.upd"));
  ASSERT_GE(delta.size(), 4u);
  EXPECT_EQ(delta.substr(0, 4), std::string("\xD6\xC3\xC4\x00", 4));
  EXPECT_LT(delta.size(), 10000u);
  EXPECT_FALSE(std::filesystem::exists(Out("a.pak.upd.part")));
}

TEST_F(CreatePatchTest, CreateDeleteMarksFilesMissingFromTheSecondTree) {
  Write(Old("kept"), "x");
  Write(New("kept"), "y");
  Write(Old("dropped"), "x");
  Write(New("empty"), "");
  make::CreateDelete action;
  EXPECT_EQ(action.Apply(Old("kept").c_str(), New("kept").c_str(), Out("kept.upd").c_str(), 1), 1u);
  EXPECT_FALSE(std::filesystem::exists(Out("kept.upd")));
  EXPECT_EQ(action.Apply(Old("dropped").c_str(), New("dropped").c_str(), Out("dropped.upd").c_str(), 1), 1u);
  EXPECT_EQ(Read(Out("dropped.upd")), std::string(1, '\x02'));
  // A file of 0 bytes cannot be mapped and counts as missing.
  EXPECT_EQ(action.Apply(Old("empty").c_str(), New("empty").c_str(), Out("empty.upd").c_str(), 1), 1u);
  EXPECT_EQ(Read(Out("empty.upd")), std::string(1, '\x02'));
  testing::internal::CaptureStdout();
  EXPECT_EQ(action.Apply(Old("dropped").c_str(), New("dropped").c_str(), Out("no/such/folder.upd").c_str(), 1), 0u);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Cannot write " + Out("no/such/folder.upd") + "\n");
}

TEST(ReplaceLastExtension, OnlyTheFileNamePartCounts) {
  EXPECT_EQ(make::ReplaceLastExtension("a/b.c/d.pak.upd", ".equ"), "a/b.c/d.pak.equ");
  EXPECT_EQ(make::ReplaceLastExtension("a.d/file", ".equ"), "a.d/file.equ");
  EXPECT_EQ(make::ReplaceLastExtension("a\\b.c\\file", ".del"), "a\\b.c\\file.del");
}

}  // namespace
