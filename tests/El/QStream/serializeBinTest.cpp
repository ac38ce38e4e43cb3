#include "El/QStream/serializeBin.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "El/QStream/qstream.h"
#include "support/captureDiagnostics.h"

namespace {

// A record with one field per kind of transfer, moved by one routine in both directions.
struct Record {
  std::int32_t number = 0;
  std::int32_t negative = 0;
  RefString name;
  RefString empty;
  char raw[6] = {};
  std::vector<char> small = std::vector<char>(100);
  std::vector<char> block = std::vector<char>(5000);
  // Offset slots: saving reserves them and fills them at the end; loading reads what they hold.
  std::int32_t endOffset = 0;
  std::int32_t valueOffset = 0;
};

void TransferSlot(SerializeBinStream& stream, std::int64_t& slot, std::int32_t& value) {
  if (stream.IsSaving()) {
    slot = stream.ReserveOffset();
  } else {
    stream.TransferInt(value);
  }
}

bool Transfer(SerializeBinStream& stream, Record& record) {
  if (!stream.Version(3, 5)) return false;
  std::int64_t endSlot = 0;
  std::int64_t valueSlot = 0;
  TransferSlot(stream, endSlot, record.endOffset);
  stream.TransferInt(record.number);
  stream.TransferInt(record.negative);
  stream.TransferString(record.name);
  stream.TransferString(record.empty);
  stream.TransferBytes(record.raw, sizeof record.raw);
  stream.TransferData(record.small.data(), 100, true);
  stream.TransferData(record.block.data(), 5000, true);
  TransferSlot(stream, valueSlot, record.valueOffset);
  if (stream.IsSaving()) {
    EXPECT_EQ(endSlot, 4);
    stream.FillOffset(endSlot);
    stream.FillOffset(valueSlot, 77);
  }
  return true;
}

Record Sample() {
  Record record;
  record.number = 0x12345678;
  record.negative = INT32_MIN;
  record.name = "config.bin";
  std::memcpy(record.raw, "r\0a\xffw", 6);
  for (int i = 0; i < 100; ++i) record.small[i] = static_cast<char>(i * 7);
  for (int i = 0; i < 5000; ++i) record.block[i] = "some repeated text "[i % 19];
  return record;
}

std::string Saved(Record record) {
  QOStrStream out;
  SerializeBinStream stream(&out);
  EXPECT_TRUE(Transfer(stream, record));
  EXPECT_EQ(stream.GetError(), 0);
  EXPECT_EQ(stream.GetVersion(), 5);
  return std::string(out.Data(), static_cast<std::size_t>(out.GetTotalSize()));
}

std::int32_t IntAt(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return static_cast<std::int32_t>(value);
}

// ---- round trips ------------------------------------------------------------------------------------

TEST(RoundTrip, EveryTransferWithOffsetSlots) {
  const Record original = Sample();
  const std::string bytes = Saved(original);
  EXPECT_LT(bytes.size(), 1000u);  // the 5000-byte block was coded

  QIStrStream in(bytes.data(), static_cast<int>(bytes.size()));
  SerializeBinStream stream(&in);
  Record loaded;
  ASSERT_TRUE(Transfer(stream, loaded));
  EXPECT_EQ(stream.GetError(), 0);
  EXPECT_EQ(stream.GetVersion(), 5);
  EXPECT_EQ(loaded.number, original.number);
  EXPECT_EQ(loaded.negative, original.negative);
  EXPECT_EQ(loaded.name, "config.bin");
  EXPECT_EQ(loaded.empty, "");
  EXPECT_EQ(std::memcmp(loaded.raw, original.raw, 6), 0);
  EXPECT_EQ(loaded.small, original.small);
  EXPECT_EQ(loaded.block, original.block);
  EXPECT_EQ(stream.TellG(), static_cast<std::int64_t>(bytes.size()));
  // The slots hold the end position and the given value.
  EXPECT_EQ(loaded.endOffset, static_cast<std::int32_t>(bytes.size()));
  EXPECT_EQ(loaded.valueOffset, 77);
  EXPECT_EQ(IntAt(bytes, bytes.size() - 4), 77);
}

TEST(RoundTrip, ByteExactLayout) {
  QOStrStream out;
  SerializeBinStream stream(&out);
  stream.Version(0x50617200);
  std::int32_t number = 0x01020304;
  stream.TransferInt(number);
  RefString text = "ab";
  stream.TransferString(text);
  const std::int64_t slot = stream.ReserveOffset();
  EXPECT_EQ(slot, 11);
  EXPECT_EQ(std::string(out.Data(), 15), std::string("\x00\x72\x61\x50\x04\x03\x02\x01" "ab\0\xff\xff\xff\xff", 15));
  stream.FillOffset(slot, 0x0A0B0C0D);
  EXPECT_EQ(std::string(out.Data() + 11, 4), "\x0D\x0C\x0B\x0A");
  EXPECT_EQ(stream.TellP(), 15);  // back where it was
}

TEST(RoundTrip, CodingStartsAt1024Bytes) {
  for (int size : {1023, 1024}) {
    std::vector<char> data(static_cast<std::size_t>(size), 'a');
    QOStrStream out;
    SerializeBinStream saving(&out);
    saving.TransferData(data.data(), size, true);
    if (size == 1023) {
      ASSERT_EQ(out.GetTotalSize(), 1023);  // stored raw despite the flag
      EXPECT_EQ(std::vector<char>(out.Data(), out.Data() + 1023), data);
    } else {
      EXPECT_LT(out.GetTotalSize(), 1024);
    }
    QIStrStream in(out.Data(), static_cast<int>(out.GetTotalSize()));
    SerializeBinStream loading(&in);
    std::vector<char> back(data.size());
    loading.TransferData(back.data(), size, true);
    EXPECT_EQ(back, data) << size;
    EXPECT_EQ(loading.GetError(), 0);
    EXPECT_EQ(in.tellg(), out.GetTotalSize());
  }
}

TEST(RoundTrip, SkipPassesOverRawAndCodedBlocks) {
  std::vector<char> data(3000, 'x');
  QOStrStream out;
  SerializeBinStream saving(&out);
  saving.TransferData(data.data(), 500, true);
  saving.TransferData(data.data(), 3000, true);
  std::int32_t marker = 1234;
  saving.TransferInt(marker);
  QIStrStream in(out.Data(), static_cast<int>(out.GetTotalSize()));
  SerializeBinStream loading(&in);
  loading.SkipData(500, true);
  EXPECT_EQ(loading.TellG(), 500);
  loading.SkipData(3000, true);
  std::int32_t back = 0;
  loading.TransferInt(back);
  EXPECT_EQ(back, 1234);
  EXPECT_EQ(loading.GetError(), 0);
}

// ---- versions ---------------------------------------------------------------------------------------

TEST(VersionCheck, OutOfRangeIsRefusedButKept) {
  for (std::int32_t written : {2, 6, -1}) {
    QOStrStream out;
    SerializeBinStream saving(&out);
    EXPECT_TRUE(saving.Version(written));
    QIStrStream in(out.Data(), 4);
    SerializeBinStream loading(&in);
    EXPECT_EQ(loading.GetVersion(), -1);
    EXPECT_FALSE(loading.Version(3, 5));
    EXPECT_EQ(loading.GetVersion(), written);
  }
}

// ---- strings ----------------------------------------------------------------------------------------

TEST(Strings, StrictStringWithoutItsNul) {
  CaptureDiagnostics diagnostics;
  QIStrStream in("abc", 3);
  SerializeBinStream stream(&in);
  RefString text;
  stream.TransferString(text);
  EXPECT_EQ(text, "abc");
  EXPECT_EQ(stream.GetError(), 4);
  ASSERT_EQ(diagnostics.lines.size(), 1u);
  EXPECT_EQ(diagnostics.lines[0].rfind("serializeBin(", 0), 0u);
  EXPECT_NE(diagnostics.lines[0].find(") : EOF in string"), std::string::npos);
}

TEST(Strings, LenientStringStopsQuietly) {
  CaptureDiagnostics diagnostics;
  QIStrStream in("abc", 3);
  SerializeBinStream stream(&in);
  RefString text;
  stream.TransferStringLenient(text);
  EXPECT_EQ(text, "abc");
  EXPECT_EQ(stream.GetError(), 0);
  EXPECT_TRUE(diagnostics.lines.empty());

  QIStrStream marked("ab\xff" "cd", 5);
  SerializeBinStream second(&marked);
  second.TransferStringLenient(text);
  EXPECT_EQ(text, "ab");
  EXPECT_EQ(marked.get(), 'c');
}

TEST(Strings, StrictStringKeepsByte255) {
  QIStrStream in("a\xff" "b\0", 4);
  SerializeBinStream stream(&in);
  RefString text;
  stream.TransferString(text);
  EXPECT_EQ(text, "a\xff" "b");
  EXPECT_EQ(stream.GetError(), 0);
}

// ---- positions on the wrong kind of serializer ------------------------------------------------------

TEST(WrongDirection, LoadingSerializerRefusesOutputPositions) {
  CaptureDiagnostics diagnostics;
  QIStrStream in("\1\2\3\4\5\6\7\10", 8);
  SerializeBinStream stream(&in);
  EXPECT_EQ(stream.TellP(), 0);
  stream.SeekP(3);
  EXPECT_EQ(stream.ReserveOffset(), 0);
  stream.FillOffset(0, 5);
  EXPECT_EQ(in.tellg(), 0);  // nothing was read by the slot operations
  EXPECT_EQ(diagnostics.Count(") : File is not writeable"), 3);
  EXPECT_EQ(diagnostics.Count(") : Cannot SeekP on input stream"), 1);
  for (const std::string& line : diagnostics.lines) EXPECT_EQ(line.rfind("serializeBin(", 0), 0u) << line;
}

TEST(WrongDirection, SavingSerializerRefusesInputPositions) {
  CaptureDiagnostics diagnostics;
  QOStrStream out;
  SerializeBinStream stream(&out);
  EXPECT_EQ(stream.TellG(), 0);
  stream.SeekG(3);
  stream.SkipData(10, false);
  EXPECT_EQ(out.GetTotalSize(), 0);
  EXPECT_EQ(diagnostics.Count("serializeBin("), 2);
  EXPECT_TRUE(diagnostics.Contains(") : File is not readable"));
  EXPECT_TRUE(diagnostics.Contains(") : Cannot SeekG on output stream"));
}

// ---- damaged input ----------------------------------------------------------------------------------

TEST(DamagedInput, CorruptCodedBlockFailsWithCode4) {
  std::vector<char> data(2000, 'q');
  QOStrStream out;
  SerializeBinStream saving(&out);
  saving.TransferData(data.data(), 2000, true);
  std::string bytes(out.Data(), static_cast<std::size_t>(out.GetTotalSize()));
  bytes[bytes.size() - 1] ^= 0x55;  // the checksum no longer matches
  for (bool skip : {false, true}) {
    CaptureDiagnostics diagnostics;
    QIStrStream in(bytes.data(), static_cast<int>(bytes.size()));
    SerializeBinStream loading(&in);
    std::vector<char> back(2000);
    if (skip) {
      loading.SkipData(2000, true);
    } else {
      loading.TransferData(back.data(), 2000, true);
    }
    EXPECT_EQ(loading.GetError(), 4);
    EXPECT_TRUE(diagnostics.Contains("serializeBin("));
    EXPECT_TRUE(diagnostics.Contains(") : Error in SerializeBinStream decoding"));
  }
}

TEST(DamagedInput, TruncatedNumberReadsZerosAndFails) {
  QIStrStream in("\x11\x22", 2);
  SerializeBinStream stream(&in);
  std::int32_t value = -1;
  stream.TransferInt(value);
  EXPECT_EQ(value, 0x2211);
  EXPECT_EQ(stream.GetError(), 4);
}

TEST(DamagedInput, RawSkipPastTheEndFails) {
  QIStrStream in("abc", 3);
  SerializeBinStream stream(&in);
  stream.SkipData(2, false);
  EXPECT_EQ(stream.GetError(), 0);
  stream.SkipData(2, false);
  EXPECT_EQ(stream.GetError(), 4);
  EXPECT_EQ(stream.TellG(), 3);
}

TEST(DamagedInput, EveryTruncationIsReportedAndNothingCrashes) {
  const std::string bytes = Saved(Sample());
  CaptureDiagnostics diagnostics;
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    QIStrStream in(bytes.data(), static_cast<int>(length));
    SerializeBinStream stream(&in);
    Record loaded;
    const bool versionOk = Transfer(stream, loaded);
    EXPECT_TRUE(!versionOk || stream.GetError() == 4) << length;
  }
}

TEST(DamagedInput, EverySingleByteCorruptionLoadsOrFailsCleanly) {
  const std::string bytes = Saved(Sample());
  CaptureDiagnostics diagnostics;
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    std::string damaged = bytes;
    damaged[at] = static_cast<char>(damaged[at] ^ 0xA5);
    QIStrStream in(damaged.data(), static_cast<int>(damaged.size()));
    SerializeBinStream stream(&in);
    Record loaded;
    Transfer(stream, loaded);
    EXPECT_LE(stream.TellG(), static_cast<std::int64_t>(damaged.size()));
  }
}

}  // namespace
