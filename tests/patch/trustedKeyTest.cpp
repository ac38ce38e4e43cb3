// The trusted key slot: the built program carries the development key, and the pack step's helper finds
// the one slot in an executable's bytes and replaces its key, refusing anything ambiguous; slots of
// programs built before keys of more than 1024 bits are read too, and take only such a key. That a
// rewritten program then reports the new key is checked by tests/tools/platformProbe.cmake.
#include "patch/trustedKey.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/testData.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The key area of a current slot: its size as 4 little-endian bytes, then `key` and zeros.
Bytes CurrentSlot(const platform::KeyBlob& key) {
  Bytes slot(4 + platform::kMaxKeyBlobSize, 0);
  slot[0] = platform::kMaxKeyBlobSize & 0xFF;
  slot[1] = platform::kMaxKeyBlobSize >> 8;
  std::copy(key.begin(), key.end(), slot.begin() + 4);
  return slot;
}

// Filler, then the marker and `slot` (the bytes after it, or fewer), then more filler.
Bytes Executable(const Bytes& slot, std::size_t before = 1000, std::size_t after = 500) {
  Bytes bytes;
  for (std::size_t i = 0; i < before; ++i) bytes.push_back(static_cast<std::uint8_t>(i * 7));
  const auto marker = TrustedKeyMarker();
  bytes.insert(bytes.end(), marker.begin(), marker.end());
  bytes.insert(bytes.end(), slot.begin(), slot.end());
  for (std::size_t i = 0; i < after; ++i) bytes.push_back(static_cast<std::uint8_t>(i * 13 + 1));
  return bytes;
}

// Every byte equal outside [from, to).
void ExpectOnlyChanged(const Bytes& after, const Bytes& before, std::size_t from, std::size_t to) {
  ASSERT_EQ(after.size(), before.size());
  for (std::size_t i = 0; i < after.size(); ++i) {
    if (i < from || i >= to) {
      ASSERT_EQ(after[i], before[i]) << i;
    }
  }
}

}  // namespace

TEST(TrustedKey, TheBuiltProgramCarriesTheDevelopmentKey) {
  const platform::KeyBlob key = TrustedKeyBlob();
  EXPECT_EQ(key, ReadTestData("keys/development-3072-public.blob"));
  EXPECT_EQ(platform::KeyBits(key), 3072u);
}

TEST(TrustedKey, TheOneSlotIsFoundReadAndReplacedWithKeysOfEverySize) {
  const platform::KeyBlob development = ReadTestData("keys/development-3072-public.blob");
  const platform::KeyBlob small = ReadTestData("signature/openssl-public.blob");
  Bytes executable = Executable(CurrentSlot(development));
  const Bytes before = executable;
  const std::size_t area = 1000 + 16 + 4;

  platform::KeyBlob read;
  ASSERT_EQ(ReadTrustedKey(executable.data(), executable.size(), &read), KeySlotResult::Done);
  EXPECT_EQ(read, development);
  // A smaller key fills the front of the area, the rest becomes zero; the larger one comes back whole.
  ASSERT_EQ(ReplaceTrustedKey(executable.data(), executable.size(), small), KeySlotResult::Done);
  ASSERT_EQ(ReadTrustedKey(executable.data(), executable.size(), &read), KeySlotResult::Done);
  EXPECT_EQ(read, small);
  ExpectOnlyChanged(executable, before, area, area + platform::kMaxKeyBlobSize);
  for (std::size_t i = area + small.size(); i < area + platform::kMaxKeyBlobSize; ++i) ASSERT_EQ(executable[i], 0) << i;
  ASSERT_EQ(ReplaceTrustedKey(executable.data(), executable.size(), development), KeySlotResult::Done);
  EXPECT_EQ(executable, before);

  // A slot that ends the file exactly is whole.
  Bytes atEnd = Executable(CurrentSlot(development), 10, 0);
  EXPECT_EQ(ReplaceTrustedKey(atEnd.data(), atEnd.size(), small), KeySlotResult::Done);

  // The earlier layout: a 1024-bit blob right after the marker, replaced by another of its size only.
  Bytes earlier = Executable(small);
  const Bytes earlierBefore = earlier;
  ASSERT_EQ(ReadTrustedKey(earlier.data(), earlier.size(), &read), KeySlotResult::Done);
  EXPECT_EQ(read, small);
  const platform::KeyBlob otherSmall = ReadTestData("keys/development-public.blob");
  ASSERT_EQ(ReplaceTrustedKey(earlier.data(), earlier.size(), otherSmall), KeySlotResult::Done);
  ExpectOnlyChanged(earlier, earlierBefore, 1016, 1016 + small.size());
  const Bytes earlierSmall = earlier;
  EXPECT_EQ(ReplaceTrustedKey(earlier.data(), earlier.size(), development), KeySlotResult::SlotTooSmall);
  EXPECT_EQ(earlier, earlierSmall) << "a refused key changes nothing";
}

TEST(TrustedKey, MissingRepeatedOrCutSlotsAndBadKeysAreRefusedWithoutAChange) {
  const platform::KeyBlob development = ReadTestData("keys/development-3072-public.blob");
  const platform::KeyBlob publisher = ReadTestData("signature/openssl-public.blob");
  const Bytes slot = CurrentSlot(development);

  Bytes none(4000, 0x5A);
  const Bytes noneBefore = none;
  EXPECT_EQ(ReplaceTrustedKey(none.data(), none.size(), publisher), KeySlotResult::NoMarker);
  EXPECT_EQ(none, noneBefore);
  EXPECT_EQ(ReplaceTrustedKey(nullptr, 0, publisher), KeySlotResult::NoMarker);
  // The marker less its last byte is no marker.
  Bytes partial = Executable(slot);
  partial[1000 + 15] ^= 1;
  EXPECT_EQ(ReplaceTrustedKey(partial.data(), partial.size(), publisher), KeySlotResult::NoMarker);

  Bytes twice = Executable(slot);
  const Bytes second = Executable(slot, 3, 3);
  twice.insert(twice.end(), second.begin(), second.end());
  const Bytes twiceBefore = twice;
  EXPECT_EQ(ReplaceTrustedKey(twice.data(), twice.size(), publisher), KeySlotResult::SeveralMarkers);
  EXPECT_EQ(twice, twiceBefore);
  platform::KeyBlob read;
  EXPECT_EQ(ReadTrustedKey(twice.data(), twice.size(), &read), KeySlotResult::SeveralMarkers);

  // Cut inside the area, inside the size field, right after the marker.
  for (std::size_t keep : {slot.size() - 1, std::size_t(2), std::size_t(0)}) {
    Bytes cut = Executable(Bytes(slot.begin(), slot.begin() + static_cast<std::ptrdiff_t>(keep)), 100, 0);
    const Bytes cutBefore = cut;
    EXPECT_EQ(ReplaceTrustedKey(cut.data(), cut.size(), publisher), KeySlotResult::SlotTruncated) << keep;
    EXPECT_EQ(cut, cutBefore);
  }
  // An area size no slot has.
  for (std::uint8_t sizeLow : {std::uint8_t(0x10), std::uint8_t(0xFF)}) {
    Bytes odd = slot;
    odd[0] = sizeLow;
    odd[1] = sizeLow == 0x10 ? 0 : 0xFF;
    Bytes executable = Executable(odd);
    EXPECT_EQ(ReadTrustedKey(executable.data(), executable.size(), &read), KeySlotResult::BadKeyBlob);
  }

  Bytes good = Executable(slot);
  const Bytes goodBefore = good;
  platform::KeyBlob bad = publisher;
  bad[8] = 'X';
  EXPECT_EQ(ReplaceTrustedKey(good.data(), good.size(), bad), KeySlotResult::BadKeyBlob);
  EXPECT_EQ(good, goodBefore);
  // A slot holding no key reads as such.
  Bytes empty = Executable(CurrentSlot(platform::KeyBlob()));
  EXPECT_EQ(ReadTrustedKey(empty.data(), empty.size(), &read), KeySlotResult::BadKeyBlob);
}

// The slot of a file read a piece at a time: a marker on any byte of the boundary between two pieces
// of the search is found once, and a second marker past the boundary is still seen; a file that
// cannot be read is said to be so, never taken as having no slot.
TEST(TrustedKey, TheSlotOfAFileIsFoundAcrossThePiecesOfTheSearch) {
  const platform::KeyBlob development = ReadTestData("keys/development-3072-public.blob");
  constexpr std::size_t kPiece = 4u << 20;  // the search's piece
  for (std::size_t before : {kPiece - 16, kPiece - 15, kPiece - 8, kPiece - 1, kPiece, kPiece + 1}) {
    const Bytes executable = Executable(CurrentSlot(development), before);
    pe::MemorySource file(pe::ByteView{executable.data(), executable.size()});
    platform::KeyBlob read;
    ASSERT_EQ(ReadTrustedKey(file, &read), KeySlotResult::Done) << before;
    EXPECT_EQ(read, development) << before;

    Bytes twice = executable;
    const Bytes second = Executable(CurrentSlot(development), kPiece, 0);
    twice.insert(twice.end(), second.begin(), second.end());
    pe::MemorySource twiceFile(pe::ByteView{twice.data(), twice.size()});
    EXPECT_EQ(ReadTrustedKey(twiceFile, &read), KeySlotResult::SeveralMarkers) << before;
  }
  // Cut inside the slot at the end of the file, as in memory.
  const Bytes slot = CurrentSlot(development);
  const Bytes cut = Executable(Bytes(slot.begin(), slot.begin() + 100), kPiece - 40, 0);
  pe::MemorySource cutFile(pe::ByteView{cut.data(), cut.size()});
  platform::KeyBlob read;
  EXPECT_EQ(ReadTrustedKey(cutFile, &read), KeySlotResult::SlotTruncated);

  class FailingSource : public pe::ByteSource {
   public:
    std::uint64_t Size() const override { return 10u << 20; }
    bool Read(std::uint64_t, void*, std::size_t, std::string* error) override {
      *error = "the disk went away";
      return false;
    }
  } failing;
  EXPECT_EQ(ReadTrustedKey(failing, &read), KeySlotResult::Unreadable);
  EXPECT_STREQ(KeySlotResultText(KeySlotResult::Unreadable), "the file cannot be read");
}
