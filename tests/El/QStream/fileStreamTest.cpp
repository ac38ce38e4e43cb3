// File streams, the file server and byte sources on disk, with failures injected through the
// file-system seam.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "El/QStream/fileMemView.h"
#include "El/QStream/qstream.h"
#include "randomBytes.h"
#include "support/captureDiagnostics.h"
#include "support/faultInjectingFileSystem.h"
#include "support/tempFolder.h"

namespace {

std::vector<char> Pattern(std::size_t size) { return RandomBytes(size, 11); }

void WriteFile(const std::string& name, const std::vector<char>& bytes) {
  std::ofstream file(name, std::ios::binary);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<char> ReadFile(const std::string& name) {
  std::ifstream file(name, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<char> ReadAll(QIStream& in) {
  std::vector<char> bytes(static_cast<std::size_t>(in.GetDataSize()) + 1);
  bytes.resize(static_cast<std::size_t>(in.read(bytes.data(), static_cast<int>(bytes.size()))));
  return bytes;
}

class FileStreams : public ::testing::Test {
 protected:
  TempFolder folder;
};

// ---- input from disk --------------------------------------------------------------------------------

TEST_F(FileStreams, ReadsAWholeFileInPages) {
  const std::vector<char> bytes = Pattern(20000);
  WriteFile(folder.File("data.bin"), bytes);
  QIFStream in;
  in.open(folder.File("data.bin").c_str());
  ASSERT_FALSE(in.fail());
  EXPECT_EQ(in.GetDataSize(), 20000);
  EXPECT_EQ(ReadAll(in), bytes);
  EXPECT_TRUE(in.eof());
  in.SeekG(8191);
  EXPECT_FALSE(in.eof());
  EXPECT_EQ(in.get(), static_cast<unsigned char>(bytes[8191]));
  EXPECT_EQ(in.get(), static_cast<unsigned char>(bytes[8192]));
}

TEST_F(FileStreams, MissingFileFailsWithNoSuchFile) {
  QIFStream in;
  in.open(folder.File("missing.bin").c_str());
  EXPECT_TRUE(in.fail());
  EXPECT_EQ(in.error(), LSNoFile);
  char out[4];
  EXPECT_EQ(in.read(out, 4), 0);
  EXPECT_TRUE(in.eof());
  EXPECT_EQ(in.get(), -1);
  in.SeekG(3);
  EXPECT_TRUE(in.fail());  // nothing to seek to: the stream stays failed
}

TEST_F(FileStreams, WindowWithUnalignedStartSeesOnlyTheWindow) {
  const std::vector<char> bytes = Pattern(30000);
  WriteFile(folder.File("data.bin"), bytes);
  QIFStream in;
  in.open(folder.File("data.bin").c_str(), 9000, 10000);
  ASSERT_FALSE(in.fail());
  EXPECT_EQ(in.GetDataSize(), 10000);
  EXPECT_EQ(in.get(), static_cast<unsigned char>(bytes[9000]));
  in.unget();
  in.unget();
  EXPECT_EQ(in.tellg(), 0);
  EXPECT_EQ(ReadAll(in), std::vector<char>(bytes.begin() + 9000, bytes.begin() + 19000));
}

TEST_F(FileStreams, WindowStartingPastTheEndIsEmptyNotFailed) {
  WriteFile(folder.File("small.bin"), Pattern(100));
  QIFStream in;
  in.open(folder.File("small.bin").c_str(), 500, 10);
  EXPECT_FALSE(in.fail());
  EXPECT_EQ(in.GetDataSize(), 0);
  EXPECT_EQ(in.get(), -1);
  EXPECT_FALSE(in.fail());
}

TEST_F(FileStreams, CopiedStreamSharesPositionButMovesOnItsOwn) {
  const std::vector<char> bytes = Pattern(10000);
  WriteFile(folder.File("data.bin"), bytes);
  QIFStreamB first;
  first.open(folder.File("data.bin").c_str());
  char part[100];
  first.read(part, 100);
  QIFStreamB second(first);
  EXPECT_EQ(second.tellg(), 100);
  EXPECT_EQ(second.GetSource().GetRef(), first.GetSource().GetRef());
  second.SeekG(0);
  EXPECT_EQ(second.get(), static_cast<unsigned char>(bytes[0]));
  EXPECT_EQ(first.get(), static_cast<unsigned char>(bytes[100]));
  first.close();
  EXPECT_EQ(second.get(), static_cast<unsigned char>(bytes[1]));
}

TEST_F(FileStreams, FileThatBreaksOffMidReadEndsTheStream) {
  const std::vector<char> bytes = Pattern(30000);
  WriteFile(folder.File("data.bin"), bytes);
  FaultInjectingFileSystem faults;
  faults.readFailFrom = 16384;  // the third page is gone
  QIFStream in;
  in.open(folder.File("data.bin").c_str());
  std::vector<char> out(30000);
  EXPECT_EQ(in.read(out.data(), 30000), 16384);
  EXPECT_TRUE(in.eof());
  EXPECT_TRUE(in.fail());
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 16384, bytes.begin()));
}

TEST_F(FileStreams, ShortPageReadsEndTheStreamEarly) {
  WriteFile(folder.File("data.bin"), Pattern(10000));
  FaultInjectingFileSystem faults;
  faults.readLimit = 1000;  // a device that answers with less than asked
  QIFStream in;
  in.open(folder.File("data.bin").c_str());
  std::vector<char> out(10000);
  EXPECT_EQ(in.read(out.data(), 10000), 1000);
  EXPECT_TRUE(in.fail());
}

// ---- output to disk ---------------------------------------------------------------------------------

TEST_F(FileStreams, WritesPastTheBufferAndSeeksBack) {
  const std::vector<char> bytes = Pattern(150000);
  const std::string name = folder.File("out.bin");
  std::vector<char> expected = bytes;
  {
    QOFStream out(name.c_str());
    ASSERT_FALSE(out.Fail());
    EXPECT_EQ(out.write(bytes.data(), 150000), 150000);
    out.SeekP(10, 0);  // long written out: a seek in the file
    out.write("XYZ", 3);
    out.SeekP(0, 2);
    out.write("tail", 4);
    out.SeekP(-2, 1);  // inside the buffer
    out.put('!');
    out.Close();
    EXPECT_FALSE(out.Fail());
  }
  expected[10] = 'X', expected[11] = 'Y', expected[12] = 'Z';
  expected.insert(expected.end(), {'t', 'a', '!', 'l'});
  EXPECT_EQ(ReadFile(name), expected);
}

TEST_F(FileStreams, AppendAddsToTheEnd) {
  const std::string name = folder.File("log.txt");
  WriteFile(name, {'a', 'b'});
  QOFStream out;
  out.OpenAppend(name.c_str());
  out.write("cd", 2);
  out.Close();
  EXPECT_EQ(ReadFile(name), std::vector<char>({'a', 'b', 'c', 'd'}));
}

TEST_F(FileStreams, ForwardSlashesInTheNameAreAccepted) {
  const std::string name = (folder.Path().generic_string()) + "/slashed.bin";
  QOFStream out(name.c_str());
  out.write("ok", 2);
  out.Close();
  EXPECT_FALSE(out.Fail());
  EXPECT_EQ(ReadFile(folder.File("slashed.bin")), std::vector<char>({'o', 'k'}));
}

TEST_F(FileStreams, OpeningInAMissingFolderFails) {
  QOFStream out(folder.File("no/such/folder.bin").c_str());
  EXPECT_TRUE(out.Fail());
  EXPECT_EQ(out.error(), LSNoFile);
  EXPECT_FALSE(out.IsOpen());
  out.write("lost", 4);  // goes nowhere, harmlessly
  out.Close();
  EXPECT_TRUE(out.Fail());
}

TEST_F(FileStreams, FullDiskFailsWithItsCode) {
  FaultInjectingFileSystem faults;
  faults.injectedError = FaultInjectingFileSystem::SystemErrorOfKind(platform::FileError::DiskFull);
  faults.diskSpace = 1000;
  const std::vector<char> bytes = Pattern(70000);
  QOFStream out(folder.File("full.bin").c_str());
  out.write(bytes.data(), 70000);  // the first 64 KiB go to the disk here
  EXPECT_TRUE(out.Fail());
  EXPECT_EQ(out.error(), LSDiskFull);
  const int writes = faults.writes;
  out.write(bytes.data(), 70000);
  out.Close();
  EXPECT_EQ(faults.writes, writes);  // a failed stream writes nothing more
  EXPECT_EQ(out.error(), LSDiskFull);
  EXPECT_EQ(ReadFile(folder.File("full.bin")).size(), 1000u);
}

TEST_F(FileStreams, FailedWriteAtCloseSetsTheCode) {
  FaultInjectingFileSystem faults;
  faults.injectedError = FaultInjectingFileSystem::SystemErrorOfKind(platform::FileError::IoError);
  faults.failWriteAt = 1;
  QOFStream out(folder.File("broken.bin").c_str());
  out.write("abc", 3);
  EXPECT_FALSE(out.Fail());  // still buffered
  out.Close();
  EXPECT_TRUE(out.Fail());
  EXPECT_EQ(out.error(), LSDiskError);
}

TEST_F(FileStreams, FailedCloseKeepsAnEarlierCode) {
  FaultInjectingFileSystem faults;
  faults.injectedError = FaultInjectingFileSystem::SystemErrorOfKind(platform::FileError::AccessDenied);
  faults.failClose = true;
  {
    QOFStream out(folder.File("a.bin").c_str());
    out.Close();
    EXPECT_TRUE(out.Fail());
    EXPECT_EQ(out.error(), LSNoAccess);
  }
  faults.failWriteAt = 1;
  faults.injectedError = FaultInjectingFileSystem::SystemErrorOfKind(platform::FileError::DiskFull);
  QOFStream out(folder.File("b.bin").c_str());
  out.write("x", 1);
  out.Close();  // the write fails with a full disk, then the close with an injected error
  EXPECT_EQ(out.error(), LSDiskFull);
}

TEST_F(FileStreams, FailedSeekFailsTheStream) {
  FaultInjectingFileSystem faults;
  faults.failSeek = true;
  QOFStream out(folder.File("seek.bin").c_str());
  out.write("abc", 3);
  out.SeekP(100, 0);
  EXPECT_TRUE(out.Fail());
  EXPECT_EQ(out.error(), LSUnknownError);
}

TEST_F(FileStreams, OpenFailureWithoutASystemCodeStillReportsAFailure) {
  FaultInjectingFileSystem faults;
  faults.failOpen = true;  // injected error 0
  QOFStream out(folder.File("x.bin").c_str());
  EXPECT_TRUE(out.Fail());
  EXPECT_EQ(out.error(), LSUnknownError);
}

// ---- system errors ----------------------------------------------------------------------------------

TEST(SystemErrors, MapToCodesByKind) {
  using platform::FileError;
  EXPECT_EQ(LSErrorFromSystem(FaultInjectingFileSystem::SystemErrorOfKind(FileError::NotFound)), LSNoFile);
  EXPECT_EQ(LSErrorFromSystem(FaultInjectingFileSystem::SystemErrorOfKind(FileError::AccessDenied)), LSNoAccess);
  EXPECT_EQ(LSErrorFromSystem(FaultInjectingFileSystem::SystemErrorOfKind(FileError::IoError)), LSDiskError);
  EXPECT_EQ(LSErrorFromSystem(FaultInjectingFileSystem::SystemErrorOfKind(FileError::DiskFull)), LSDiskFull);
  EXPECT_EQ(LSErrorFromSystem(FaultInjectingFileSystem::SystemErrorOfKind(FileError::Other)), LSUnknownError);
  EXPECT_EQ(LSErrorFromSystem(0), LSUnknownError);
}

// ---- data-bank seam ---------------------------------------------------------------------------------

// Pretends to hold "bank\hit.txt"; every other name under "bank\" is missing from it.
class FakeBanks : public IStreamBankSource {
 public:
  FakeBanks() { GStreamBankSource = this; }
  ~FakeBanks() { GStreamBankSource = nullptr; }
  QFBank* FindBank(const char* name, const char** nameInBank) override {
    if (std::string(name).rfind("bank\\", 0) != 0) return nullptr;
    *nameInBank = name + 5;
    return bank;
  }
  Ref<IFileBuffer> OpenEntry(QFBank*, const char* nameInBank, std::int64_t, std::int64_t) override {
    if (std::string(nameInBank) != "hit.txt") return Ref<IFileBuffer>();
    return new FileBufferMemory("from bank", 9);
  }
  QFBank* bank = reinterpret_cast<QFBank*>(&bank);
};

TEST(BankSeam, AutomaticOpenReadsFromACoveringBank) {
  FakeBanks banks;
  QIFStream in;
  in.AutoOpen("bank\\hit.txt");
  EXPECT_FALSE(in.fail());
  EXPECT_EQ(in.GetBank(), banks.bank);
  EXPECT_EQ(ReadAll(in), std::vector<char>({'f', 'r', 'o', 'm', ' ', 'b', 'a', 'n', 'k'}));
}

TEST(BankSeam, NameMissingFromTheBankFallsBackToTheDisk) {
  FakeBanks banks;
  CaptureDiagnostics diagnostics;
  QIFStream in;
  in.AutoOpen("bank\\miss.txt");
  EXPECT_TRUE(diagnostics.Contains(") : File bank\\miss.txt not in bank"));
  EXPECT_TRUE(in.fail());  // not on the disk either
  EXPECT_EQ(in.GetBank(), nullptr);
}

TEST_F(FileStreams, AutomaticOpenWithoutBanksUsesTheDisk) {
  WriteFile(folder.File("plain.txt"), {'x'});
  QIFStream in;
  in.AutoOpen(folder.File("plain.txt").c_str());
  EXPECT_FALSE(in.fail());
  EXPECT_EQ(in.get(), 'x');
}

}  // namespace
