#include "El/QStream/crc32.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "platform/fileSystem.h"
#include "support/faultInjectingFileSystem.h"

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
  const std::vector<std::uint8_t> data = RandomBytes(700, 2);
  for (std::uint32_t start : {0xFFFFFFFFu, 0x12345678u}) {
    for (std::size_t offset = 0; offset < 64; offset += offset < 16 ? 1 : 16) {
      for (std::size_t size = 0; size <= 600; ++size) {
        const std::uint8_t* p = data.data() + offset;
        const std::uint32_t expected = crc32detail::UpdateBytewise(start, p, size);
        ASSERT_EQ(crc32detail::UpdateSliced(start, p, size), expected) << offset << " " << size;
        ASSERT_EQ(crc32detail::Update(start, p, size), expected) << offset << " " << size;
        if (crc32detail::FoldingAvailable()) {
          ASSERT_EQ(crc32detail::UpdateFolded(start, p, size), expected) << offset << " " << size;
        }
        if (crc32detail::WideFoldingAvailable()) {
          ASSERT_EQ(crc32detail::UpdateFoldedWide(start, p, size), expected) << offset << " " << size;
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
    if (crc32detail::WideFoldingAvailable()) {
      EXPECT_EQ(crc32detail::UpdateFoldedWide(start, data.data() + offset, size), expected);
    }
  }
}

// The folding path reports which processors run it; this machine's answer is printed so that a
// run under an emulator shows which path the other tests covered.
TEST(FastPaths, ReportsFoldingSupport) {
  std::printf("carry-less folding: 128-bit %s, 512-bit %s\n",
              crc32detail::FoldingAvailable() ? "available" : "not available",
              crc32detail::WideFoldingAvailable() ? "available" : "not available");
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

// A read that comes back short, and one that fails, both fail the checksum and leave the value.
TEST_F(FileChecksum, ReadFaultsFail) {
  WriteFile(RandomBytes((1 << 20) + 10, 6));
  for (bool shortRead : {true, false}) {
    std::uint32_t crc = 7;
    {
      FaultInjectingFileSystem disk;
      if (shortRead) {
        disk.readLimit = 4096;
      } else {
        disk.readFailFrom = 1 << 20;
      }
      EXPECT_FALSE(Crc32OfFile(name_.c_str(), &crc)) << shortRead;
    }
    EXPECT_EQ(crc, 7u);
  }
}

}  // namespace
