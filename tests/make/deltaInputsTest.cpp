// The record of what each delta was made from: its lines byte for byte, what a damaged or torn record
// still proves (nothing wrong), and a record shared by two runs on one payload folder.

#include "make/deltaInputs.h"

#include <gtest/gtest.h>

#include "makeTestSupport.h"
#include "support/faultInjectingFileSystem.h"
#include "support/tempFolder.h"

namespace {

using maketest::Read;
using maketest::Write;

make::FileDigest Digest(std::uint64_t size, std::uint8_t fill) {
  make::FileDigest digest;
  digest.size = size;
  digest.digest.fill(fill);
  return digest;
}

TEST(DeltaInputsText, LinesByteForByteAndWhatAReaderSkips) {
  make::RecordedDelta delta{"1.05-1.06\\Data\\Map.pak.upd.#GERMAN", Digest(120, 0xAB), Digest(0, 0x00),
                            Digest(18446744073709551615u, 0x5C)};
  const std::string line = make::DeltaInputsLine(delta);
  std::string ab, fivec;
  for (int i = 0; i < 32; ++i) ab += "ab", fivec += "5c";
  EXPECT_EQ(line, "120 " + ab + " 0 " + std::string(64, '0') + " 18446744073709551615 " + fivec +
                      " 1.05-1.06\\Data\\Map.pak.upd.#GERMAN\n");

  const std::string header = std::string(make::kDeltaInputsHeader) + "\n";
  make::RecordedDelta later = delta;
  later.entry = "1.05-1.06\\DATA\\MAP.PAK.UPD.#GERMAN";
  later.delta.size = 121;
  std::string text = header + line + "garbage\n" + std::string(2000, 'x') + "\n" + make::DeltaInputsLine(later);
  std::map<std::string, make::RecordedDelta> read;
  bool endsWithLineFeed = false;
  ASSERT_TRUE(make::ParseDeltaInputs(text, &read, &endsWithLineFeed));
  EXPECT_TRUE(endsWithLineFeed);
  ASSERT_EQ(read.size(), 1u);
  // A later line for the same entry, spelled in another case, replaces the earlier one.
  EXPECT_EQ(read.begin()->second.entry, later.entry);
  EXPECT_EQ(read.begin()->second.delta.size, 121u);
  EXPECT_TRUE(read.begin()->second.oldFile == delta.oldFile && read.begin()->second.newFile == delta.newFile);

  // A line torn by a kill counts for nothing, even where what is left would read as a line.
  make::RecordedDelta other = delta;
  other.entry = "1.05-1.06\\Other.pak.upd";
  std::string torn = make::DeltaInputsLine(other);
  torn.pop_back();
  ASSERT_TRUE(make::ParseDeltaInputs(header + torn, &read, &endsWithLineFeed));
  EXPECT_TRUE(read.empty());
  EXPECT_FALSE(endsWithLineFeed);

  // Another header, or none: the text proves nothing. A number past 64 bits, a digest of the wrong
  // length, a forward slash in the entry: the line is skipped.
  EXPECT_FALSE(make::ParseDeltaInputs("zrmake delta inputs 2\n" + line, &read));
  EXPECT_TRUE(read.empty());
  EXPECT_FALSE(make::ParseDeltaInputs(line, &read));
  for (const std::string& bad : {"18446744073709551616" + line.substr(3), line.substr(0, 10) + line.substr(11),
                                 line.substr(0, line.size() - 1) + "/x\n", "+" + line}) {
    ASSERT_TRUE(make::ParseDeltaInputs(header + bad, &read));
    EXPECT_TRUE(read.empty()) << bad;
  }
}

class DeltaInputRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    payload_ = folder_.File("payload");
    delta_ = payload_ + "/1.05-1.06/Data/Map.pak.upd";
    Write(delta_, std::string("\xD6\xC3\xC4\x00 delta", 10));
    Write(folder_.File("old.pak"), "old bytes");
    Write(folder_.File("new.pak"), "new bytes");
    ASSERT_TRUE(make::DigestFile(folder_.File("old.pak").c_str(), &old_));
    ASSERT_TRUE(make::DigestFile(folder_.File("new.pak").c_str(), &new_));
  }

  TempFolder folder_;
  std::string payload_, delta_;
  make::FileDigest old_, new_;
};

TEST_F(DeltaInputRecordTest, ProvesOnlyTheFilesADeltaWasMadeFrom) {
  EXPECT_EQ(old_.size, 9u);
  EXPECT_EQ(platform::DigestText(old_.digest), "b4dddecf813201f4a83f2ae71f6fa1a03ea961c3738e3da7fff94859c5ad1c17");
  {
    make::DeltaInputRecord record(payload_ + "/");
    EXPECT_EQ(record.Path(), payload_ + ".inputs");
    EXPECT_FALSE(record.Proves(delta_, old_, new_));
    ASSERT_TRUE(record.Remember(delta_, old_, new_));
  }
  // Beside the payload folder, never in it; read back by the next run.
  EXPECT_EQ(Read(payload_ + ".inputs").substr(0, 22), "zrmake delta inputs 1\n");
  make::DeltaInputRecord record(payload_);
  EXPECT_TRUE(record.Proves(delta_, old_, new_));
  EXPECT_FALSE(record.Proves(delta_, new_, old_));
  make::FileDigest changed = new_;
  changed.digest[31] ^= 1;
  EXPECT_FALSE(record.Proves(delta_, old_, changed));
  changed = new_;
  changed.size += 1;
  EXPECT_FALSE(record.Proves(delta_, old_, changed));
  EXPECT_FALSE(record.Proves(folder_.File("elsewhere/1.05-1.06/Data/Map.pak.upd"), old_, new_));
  EXPECT_FALSE(record.Proves(payload_ + "/1.05-1.06/Data/Other.pak.upd", old_, new_));
  // The delta itself replaced by other bytes of the same size.
  Write(delta_, std::string("\xD6\xC3\xC4\x00 other", 10));
  EXPECT_FALSE(record.Proves(delta_, old_, new_));
}

TEST_F(DeltaInputRecordTest, TornDamagedAndSharedRecords) {
  // A run killed in the middle of a line: the next line starts on a line of its own.
  const std::string second = payload_ + "/1.05-1.06/Second.pak.upd";
  Write(second, "second delta");
  make::RecordedDelta torn{"1.05-1.06\\Second.pak.upd", Digest(12, 1), old_, new_};
  Write(payload_ + ".inputs", std::string(make::kDeltaInputsHeader) + "\n" +
                                  make::DeltaInputsLine(torn).substr(0, 100));
  {
    make::DeltaInputRecord record(payload_);
    ASSERT_TRUE(record.Remember(second, old_, new_));
  }
  {
    make::DeltaInputRecord record(payload_);
    EXPECT_TRUE(record.Proves(second, old_, new_));
  }

  // Damaged beyond reading: it proves nothing, and the next delta made starts it again.
  Write(payload_ + ".inputs", "\x7F garbage\n");
  {
    make::DeltaInputRecord record(payload_);
    EXPECT_FALSE(record.Proves(second, old_, new_));
    ASSERT_TRUE(record.Remember(delta_, old_, new_));
  }
  std::map<std::string, make::RecordedDelta> read;
  ASSERT_TRUE(make::ParseDeltaInputs(Read(payload_ + ".inputs"), &read));
  EXPECT_EQ(read.size(), 1u);

  // Two runs on one folder: compacting keeps what the other appended, and drops deltas that are gone.
  make::DeltaInputRecord first(payload_);
  make::DeltaInputRecord other(payload_);
  ASSERT_TRUE(other.Remember(second, old_, new_));
  std::filesystem::remove(delta_);
  std::string error;
  ASSERT_TRUE(first.Compact(&error)) << error;
  ASSERT_TRUE(make::ParseDeltaInputs(Read(payload_ + ".inputs"), &read));
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read.begin()->second.entry, "1.05-1.06\\Second.pak.upd");

  // A record that cannot be written costs only the reuse.
  FaultInjectingFileSystem failing;
  failing.failOpen = true;
  EXPECT_FALSE(first.Remember(second, old_, new_));
  EXPECT_FALSE(first.Compact(&error));
  EXPECT_NE(error.find(payload_ + ".inputs"), std::string::npos) << error;
}

}  // namespace
