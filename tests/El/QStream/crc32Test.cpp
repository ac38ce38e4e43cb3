#include "El/QStream/crc32.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "platform/fileSystem.h"

namespace {

const std::uint8_t* Bytes(const char* text) { return reinterpret_cast<const std::uint8_t*>(text); }

std::vector<std::uint8_t> RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bytes(size);
  for (auto& b : bytes) b = std::uint8_t(random());
  return bytes;
}

// The register computed bit by bit, straight from the definition, to check the table against.
std::uint32_t UpdateBitwise(std::uint32_t reg, const std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    reg ^= std::uint32_t(data[i]) << 24;
    for (int bit = 0; bit < 8; ++bit) reg = (reg & 0x80000000u) ? (reg << 1) ^ 0x04C11DB7u : reg << 1;
  }
  return reg;
}

TEST(CheckValue, DigitsGiveFC891918) {
  EXPECT_EQ(Crc32Of("123456789", 9), 0xFC891918u);
  EXPECT_EQ(~crc32detail::UpdateBytewise(0xFFFFFFFFu, Bytes("123456789"), 9), 0xFC891918u);
  EXPECT_EQ(~crc32detail::UpdateSliced(0xFFFFFFFFu, Bytes("123456789"), 9), 0xFC891918u);
}

TEST(CheckValue, EmptyInputIsZero) { EXPECT_EQ(Crc32Of("", 0), 0u); }

TEST(CheckValue, TableMatchesBitwiseDefinition) {
  const std::uint32_t* table = crc32detail::ByteTable();
  EXPECT_EQ(table[0], 0u);
  EXPECT_EQ(table[1], 0x04C11DB7u);
  for (int i = 0; i < 256; ++i) {
    const std::uint8_t byte = std::uint8_t(i);
    EXPECT_EQ(table[i], UpdateBitwise(0, &byte, 1)) << i;
  }
}

TEST(RunningValue, PiecesGiveTheWholeChecksum) {
  const std::vector<std::uint8_t> data = RandomBytes(5000, 1);
  const std::uint32_t whole = Crc32Of(data.data(), data.size());
  for (std::size_t cut : {std::size_t(0), std::size_t(1), std::size_t(63), std::size_t(64),
                          std::size_t(100), std::size_t(4999), std::size_t(5000)}) {
    Crc32 crc;
    crc.Update(data.data(), cut);
    crc.Update(data.data() + cut, data.size() - cut);
    EXPECT_EQ(crc.Value(), whole) << cut;
  }
  Crc32 crc;
  crc.Update(data.data(), 10);
  const std::uint32_t early = crc.Value();
  crc.Reset();
  crc.Update(data.data(), 10);
  EXPECT_EQ(crc.Value(), early);
}

// Every length up to a few folding rounds, at every alignment the vector loads can meet, from
// several starting registers: the fast paths must agree with the byte table bit for bit.
TEST(FastPaths, AgreeWithByteTableOnAllLengthsAndAlignments) {
  const std::vector<std::uint8_t> data = RandomBytes(600, 2);
  for (std::uint32_t start : {0xFFFFFFFFu, 0u, 0x12345678u}) {
    for (std::size_t offset = 0; offset < 16; ++offset) {
      for (std::size_t size = 0; size + offset <= 300; ++size) {
        const std::uint8_t* p = data.data() + offset;
        const std::uint32_t expected = crc32detail::UpdateBytewise(start, p, size);
        ASSERT_EQ(crc32detail::UpdateSliced(start, p, size), expected) << offset << " " << size;
        ASSERT_EQ(crc32detail::Update(start, p, size), expected) << offset << " " << size;
        if (crc32detail::FoldingAvailable()) {
          ASSERT_EQ(crc32detail::UpdateFolded(start, p, size), expected) << offset << " " << size;
        }
      }
    }
  }
}

TEST(FastPaths, AgreeOnRandomLongBlocks) {
  std::mt19937 random(3);
  const std::vector<std::uint8_t> data = RandomBytes(1 << 16, 4);
  for (int round = 0; round < 40; ++round) {
    const std::size_t offset = random() % 64;
    const std::size_t size = random() % (data.size() - offset);
    const std::uint32_t start = std::uint32_t(random());
    const std::uint32_t expected = crc32detail::UpdateBytewise(start, data.data() + offset, size);
    EXPECT_EQ(crc32detail::UpdateSliced(start, data.data() + offset, size), expected);
    EXPECT_EQ(crc32detail::Update(start, data.data() + offset, size), expected);
  }
}

// The folding path reports which processors run it; this machine's answer is printed so that a
// run under an emulator shows which path the other tests covered.
TEST(FastPaths, ReportsFoldingSupport) {
  std::printf("carry-less folding %s\n", crc32detail::FoldingAvailable() ? "used" : "not available");
  const std::vector<std::uint8_t> zeros(1000, 0);
  EXPECT_EQ(Crc32Of(zeros.data(), zeros.size()),
            ~crc32detail::UpdateBytewise(0xFFFFFFFFu, zeros.data(), zeros.size()));
}

class FileChecksum : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = ::testing::TempDir() + "zr_crc32_file_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".bin";
  }
  void TearDown() override { platform::CurrentFileSystem()->Delete(name_.c_str()); }

  void WriteFile(const std::vector<std::uint8_t>& data) {
    platform::FileSystem* fs = platform::CurrentFileSystem();
    const platform::FileHandle handle = fs->OpenWrite(name_.c_str());
    ASSERT_TRUE(platform::IsValidFile(handle));
    std::uint32_t written = 0;
    ASSERT_TRUE(fs->Write(handle, data.data(), std::uint32_t(data.size()), &written));
    ASSERT_EQ(written, data.size());
    ASSERT_TRUE(fs->Close(handle));
  }

  std::string name_;
};

TEST_F(FileChecksum, SpansSeveralReadBlocks) {
  const std::vector<std::uint8_t> data = RandomBytes((1 << 20) * 2 + 12345, 5);
  WriteFile(data);
  std::uint32_t crc = 0;
  ASSERT_TRUE(Crc32OfFile(name_.c_str(), &crc));
  EXPECT_EQ(crc, Crc32Of(data.data(), data.size()));
}

TEST_F(FileChecksum, EmptyFileChecksIsZero) {
  WriteFile({});
  std::uint32_t crc = 1;
  ASSERT_TRUE(Crc32OfFile(name_.c_str(), &crc));
  EXPECT_EQ(crc, 0u);
}

TEST_F(FileChecksum, MissingFileFailsAndLeavesValue) {
  std::uint32_t crc = 0xABCDEF01u;
  EXPECT_FALSE(Crc32OfFile(name_.c_str(), &crc));
  EXPECT_EQ(crc, 0xABCDEF01u);
}

// A file system whose reads come back short after the first block, as from a failing disk.
class ShortReadFileSystem : public platform::FileSystem {
 public:
  explicit ShortReadFileSystem(platform::FileSystem* real) : real_(real) {}
  platform::FileHandle OpenRead(const char* n) override { return real_->OpenRead(n); }
  platform::FileHandle OpenWrite(const char* n) override { return real_->OpenWrite(n); }
  platform::FileHandle OpenAppend(const char* n) override { return real_->OpenAppend(n); }
  bool Close(platform::FileHandle h) override { return real_->Close(h); }
  bool ReadAt(platform::FileHandle h, std::uint64_t position, void* buffer, std::uint32_t size,
              std::uint32_t* bytesRead) override {
    if (position > 0) size /= 2;
    return real_->ReadAt(h, position, buffer, size, bytesRead);
  }
  bool Write(platform::FileHandle h, const void* b, std::uint32_t s, std::uint32_t* w) override {
    return real_->Write(h, b, s, w);
  }
  bool Seek(platform::FileHandle h, std::uint64_t p) override { return real_->Seek(h, p); }
  bool Size(platform::FileHandle h, std::uint64_t* s) override { return real_->Size(h, s); }
  bool LastWriteTime(platform::FileHandle h, std::int64_t* s) override { return real_->LastWriteTime(h, s); }
  bool Delete(const char* n) override { return real_->Delete(n); }
  bool MakeWritable(const char* n) override { return real_->MakeWritable(n); }
  bool RenameReplacing(const char* f, const char* t) override { return real_->RenameReplacing(f, t); }
  bool CreateFolder(const char* n) override { return real_->CreateFolder(n); }
  bool Exists(const char* n, bool* f) override { return real_->Exists(n, f); }
  bool ListFolder(const char* n, void (*v)(const platform::FolderEntry&, void*), void* c) override {
    return real_->ListFolder(n, v, c);
  }
  bool MapView(platform::FileHandle h, std::uint64_t o, std::size_t s, platform::MappedView* v) override {
    return real_->MapView(h, o, s, v);
  }
  void UnmapView(platform::MappedView* v) override { real_->UnmapView(v); }
  int LastError() override { return real_->LastError(); }
  platform::FileError ErrorKind(int e) override { return real_->ErrorKind(e); }
  void ErrorText(int e, char* b, std::size_t s) override { real_->ErrorText(e, b, s); }

 private:
  platform::FileSystem* real_;
};

TEST_F(FileChecksum, ShortReadFails) {
  WriteFile(RandomBytes((1 << 20) + 10, 6));
  ShortReadFileSystem shortReads(platform::NativeFileSystem());
  platform::FileSystem* previous = platform::SetFileSystem(&shortReads);
  std::uint32_t crc = 7;
  const bool ok = Crc32OfFile(name_.c_str(), &crc);
  platform::SetFileSystem(previous);
  EXPECT_FALSE(ok);
  EXPECT_EQ(crc, 7u);
}

}  // namespace
