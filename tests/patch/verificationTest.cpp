#include "patch/verification.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "El/QStream/crc32.h"
#include "patch/knownChecksums.h"
#include "patch/mappedFileReader.h"
#include "support/faultInjectingFileSystem.h"
#include "support/memoryEntrySource.h"
#include "support/tempFolder.h"
#include "ui/messages.h"
#include "ui/scriptedInterface.h"
#include "support/currentRunMessages.h"

namespace {

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

// An installation folder with a few files and the store that describes it.
class VerificationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::SetMessageLanguage(1033);
    Write("Game.exe", "game executable");
    Write("data/map.pak", std::string(700000, 'm'));  // three windows
    Write("data/empty.pak", "");
    job.store = &store;
    job.destination = (folder.Path().string() + "/").c_str();
    job.sourceMajor = 1;
    job.sourceMinor = 5;
    job.targetMajor = 1;
    job.targetMinor = 8;
  }
  void TearDown() override { ui::SetMessageLanguage(0); }

  void Write(const std::string& name, const std::string& bytes) {
    std::filesystem::create_directories((folder.Path() / name).parent_path());
    std::ofstream(folder.Path() / name, std::ios::binary) << bytes;
  }
  std::string Crc(const std::string& name) {
    std::uint32_t crc = 0;
    EXPECT_TRUE(Crc32OfFile((folder.Path() / name).string().c_str(), &crc));
    return Hex(crc);
  }
  int Verify(const std::string& filter = "", std::vector<std::string> distributions = {}, bool source = true) {
    return patch::VerifyInstallation(job, filter, distributions, source, false);
  }

  TempFolder folder;
  MemoryEntrySource store;
  patch::PatchJob job = testsupport::JobAsInRun();
  ui::ScriptedInterface script;
};

TEST_F(VerificationTest, AGoodInstallationVerifiesAndEveryFileIsShownInTheStatusLine) {
  store.Add("CRC\\1.05\\CRC.CRC", "Game.exe " + Crc("Game.exe") + "\ndata\\map.pak 0 " + Crc("data/map.pak") + "\n");
  EXPECT_EQ(Verify(), patch::kVerified);
  EXPECT_EQ(script.Texts(ui::ScriptedInterface::EventKind::Status),
            (std::vector<std::string>{"Checking file Game.exe", "Checking file data\\map.pak", ""}));
  EXPECT_TRUE(script.Texts(ui::ScriptedInterface::EventKind::Log).empty());
}

TEST_F(VerificationTest, NoListIsNotAnError) {
  EXPECT_EQ(Verify(), patch::kVerified);
  EXPECT_EQ(Verify("data\\map.pak", {}, false), patch::kVerified);
  EXPECT_EQ(script.Texts(ui::ScriptedInterface::EventKind::Log),
            (std::vector<std::string>{"Warning: No CRC information about version 1.05.",
                                      "Note: No CRC information about file data\\map.pak, version 1.08."}));
}

TEST_F(VerificationTest, MissingAndEmptyFilesFailUnlessTolerated) {
  store.Add("CRC\\1.05\\CRC.CRC", "+DATA\\OPTIONAL.PAK 1234ABCD\n+data\\empty.pak 0\nGame.exe " + Crc("Game.exe") + "\n");
  EXPECT_EQ(Verify(), patch::kVerified);
  store.Add("CRC\\1.05\\CRC.CRC", "data\\empty.pak 0\nGame.exe " + Crc("Game.exe") + "\n");
  EXPECT_EQ(Verify(), patch::kVerifyFailed);
  EXPECT_EQ(script.Texts(ui::ScriptedInterface::EventKind::Log), std::vector<std::string>{"File data\\empty.pak is missing."});
}

TEST_F(VerificationTest, AMismatchAsksAndTheAnswerDecides) {
  const std::string crc = Crc("data/map.pak");
  store.Add("CRC\\1.05\\CRC.CRC", "data\\map.pak 1234abcd\n+Game.exe 1\n");
  script.abortRetryIgnoreAnswers = {ui::kIgnore};
  EXPECT_EQ(Verify(), patch::kVerified);
  const auto log = script.Texts(ui::ScriptedInterface::EventKind::Log);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], "Error found in file data\\map.pak (1234abcd!=" + crc + ")");
  EXPECT_EQ(log[1], "Warning: Error found in file Game.exe (00000001!=" + Crc("Game.exe") + ")");
  EXPECT_EQ(script.Texts(ui::ScriptedInterface::EventKind::AbortRetryIgnore), std::vector<std::string>{log[0]});

  script.abortRetryIgnoreAnswers = {ui::kAbort};
  EXPECT_EQ(Verify(), patch::kVerifyFailed);
  script.abortRetryIgnoreAnswers = {ui::kRetry};
  EXPECT_EQ(patch::VerifyInstallation(job, "", {}, true, true), patch::kVerifyRetry);
  EXPECT_EQ(script.status, "");
}

TEST_F(VerificationTest, DistributionsChooseTheLineAndAFilterOneFile) {
  Write("x.pak", "german");
  store.Add("CRC\\1.08\\CRC.CRC", "x.pak.#GERMAN " + Crc("x.pak") + "\nx.pak BBBB\nGame.exe 0\n");
  EXPECT_EQ(Verify("X.PAK", {"GERMAN"}, false), patch::kVerified);
  script.abortRetryIgnoreAnswers = {ui::kAbort};
  EXPECT_EQ(Verify("x.pak", {"USA"}, false), patch::kVerifyFailed);  // USA expects BBBB
}

TEST_F(VerificationTest, AWindowClosedByTheUserEndsTheCheckWithTheResultSoFar) {
  store.Add("CRC\\1.05\\CRC.CRC", "Game.exe " + Crc("Game.exe") + "\nMISSING.PAK 1\n");
  script.closedByUser = true;
  EXPECT_EQ(Verify(), patch::kVerified);
}

TEST_F(VerificationTest, AFileThatCannotBeOpenedOrVanishesWhileReadCountsAsMissing) {
  store.Add("CRC\\1.05\\CRC.CRC", "data\\map.pak " + Crc("data/map.pak") + "\n");
  {
    FaultInjectingFileSystem faults;
    faults.failOpen = true;
    EXPECT_EQ(Verify(), patch::kVerifyFailed);
  }
  {
    FaultInjectingFileSystem faults;
    faults.readFailFrom = 300000;  // gone after the first blocks
    EXPECT_EQ(Verify(), patch::kVerifyFailed);
  }
  EXPECT_EQ(script.Texts(ui::ScriptedInterface::EventKind::Log),
            (std::vector<std::string>{"File data\\map.pak is missing.", "File data\\map.pak is missing."}));
  EXPECT_EQ(Verify(), patch::kVerified);
}

TEST(MappedFileReader, WindowsClipsAndBytes) {
  TempFolder folder;
  std::string bytes(600000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i % 251);
  std::ofstream(folder.File("f"), std::ios::binary) << bytes;
  patch::MappedFileReader reader;
  ASSERT_TRUE(reader.Open(folder.File("f").c_str(), 300000, 1000000));
  EXPECT_EQ(reader.Start(), 300000u);
  EXPECT_EQ(reader.Length(), 300000u);  // clipped to the file
  std::uint8_t value = 0;
  EXPECT_FALSE(reader.ByteAt(299999, &value));
  ASSERT_TRUE(reader.ByteAt(599999, &value));
  EXPECT_EQ(value, 599999 % 251);
  ASSERT_TRUE(reader.ByteAt(300000, &value));
  EXPECT_EQ(value, 300000 % 251);
  EXPECT_EQ(reader.MappedWindows(), 2);
  std::uint64_t start = 0;
  const FileMemView* view = reader.ViewAt(524288, &start);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(start, 524288u);
  EXPECT_EQ(view->Size(), 600000u - 524288u);
  reader.Close();
  EXPECT_EQ(reader.MappedWindows(), 0);
  EXPECT_FALSE(reader.Open(folder.File("none").c_str(), 0, 10));
}

TEST(InstalledFileChecksum, CoversFilesPastFourGigabytes) {
  // A sparse file of 4 GiB and a little more: the checksum must cover every byte, not a 2 GiB region.
  TempFolder folder;
  const std::string path = folder.File("huge.pak");
  const std::uint64_t size = (std::uint64_t(4) << 30) + 4097;
  {
    std::ofstream(path, std::ios::binary).put('\0');
  }
  std::error_code error;
  std::filesystem::resize_file(path, size, error);
  if (error) GTEST_SKIP() << "cannot make a sparse file here: " << error.message();
  { std::fstream(path, std::ios::in | std::ios::out | std::ios::binary).seekp(static_cast<std::streamoff>(size - 1)).put('Z'); }
  std::uint32_t checksum = 0;
  ASSERT_TRUE(patch::InstalledFileChecksum(path.c_str(), &checksum));
  // The same bytes checksummed from memory, a zero page at a time.
  const std::vector<char> zeros(1 << 20, '\0');
  Crc32 expected;
  for (std::uint64_t left = size - 1; left > 0;) {
    const std::size_t piece = left < zeros.size() ? static_cast<std::size_t>(left) : zeros.size();
    expected.Update(zeros.data(), piece);
    left -= piece;
  }
  expected.Update("Z", 1);
  EXPECT_EQ(checksum, expected.Value());
}

}  // namespace

// The check that ends a run: what it knows is taken without reading the file again, every required
// file that is missing or differs is named and fails it without a question, and only a tolerated file
// or a difference the user accepted earlier in the run passes with a warning.
TEST_F(VerificationTest, ReachedVersionIsProvenFileByFileAndAsksNothing) {
  patch::KnownChecksums known;
  job.known = &known;
  const std::string game = Crc("Game.exe"), map = Crc("data/map.pak");
  std::string failed;
  // No list of the version: the result cannot be proven.
  EXPECT_FALSE(patch::VerifyReachedVersion(job, {}, &failed));
  EXPECT_EQ(failed, "CRC\\1.08\\CRC.CRC");

  store.Add("CRC\\1.08\\CRC.CRC", "Game.exe " + game + "\ndata\\map.pak " + map + "\n+data\\optional.pak 1\n");
  EXPECT_TRUE(patch::VerifyReachedVersion(job, {}, &failed));
  EXPECT_TRUE(script.Texts(ui::ScriptedInterface::EventKind::AbortRetryIgnore).empty());

  // A known checksum stands for the file: the changed bytes on disk are not read again.
  const std::string mapPath = folder.Path().string() + "/data\\map.pak";
  known.Record(mapPath, static_cast<std::uint32_t>(std::stoul(map, nullptr, 16)));
  Write("data/map.pak", "changed after the run knew it");
  EXPECT_TRUE(patch::VerifyReachedVersion(job, {}, &failed));
  // Once forgotten, the file is read, and its difference fails the check with message 12.
  known.Forget(mapPath);
  EXPECT_FALSE(patch::VerifyReachedVersion(job, {}, &failed));
  EXPECT_EQ(failed, "data\\map.pak");
  EXPECT_TRUE(script.Texts(ui::ScriptedInterface::EventKind::AbortRetryIgnore).empty()) << "nothing is asked";
  const std::vector<std::string> lines = script.Texts(ui::ScriptedInterface::EventKind::Log);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().rfind("Error found in file data\\map.pak (" + map + "!=", 0), 0u) << lines.back();

  // The user chose Ignore for exactly this content: a warning; for other content, a failure.
  std::uint32_t changed = 0;
  ASSERT_TRUE(Crc32OfFile((folder.Path() / "data/map.pak").string().c_str(), &changed));
  known.Accept(mapPath, changed);
  EXPECT_TRUE(patch::VerifyReachedVersion(job, {}, &failed));
  EXPECT_EQ(script.Texts(ui::ScriptedInterface::EventKind::Log).back().rfind("Warning: Error found in file data\\map.pak", 0),
            0u);
  Write("data/map.pak", "changed once more");
  EXPECT_FALSE(patch::VerifyReachedVersion(job, {}, &failed));

  // Every missing required file is named; the first is the one reported.
  std::filesystem::remove(folder.Path() / "Game.exe");
  EXPECT_FALSE(patch::VerifyReachedVersion(job, {}, &failed));
  EXPECT_EQ(failed, "Game.exe");
  const std::vector<std::string> all = script.Texts(ui::ScriptedInterface::EventKind::Log);
  EXPECT_EQ(all[all.size() - 2], "File Game.exe is missing.");
}
