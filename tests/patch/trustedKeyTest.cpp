// The trusted key slot: the built program carries the development key, and the pack step's helper finds
// the one slot in an executable's bytes and replaces its key, refusing anything ambiguous. That a
// rewritten program then reports the new key is checked by tests/tools/platformProbe.cmake.
#include "patch/trustedKey.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/testData.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

platform::KeyBlob BlobFile(const std::string& name) {
  const Bytes bytes = ReadTestData(name);
  platform::KeyBlob blob{};
  if (bytes.size() == blob.size()) std::copy(bytes.begin(), bytes.end(), blob.begin());
  return blob;
}

// Filler, then the marker and `slot` (the key's bytes, or fewer), then more filler.
Bytes Executable(const Bytes& slot, std::size_t before = 1000, std::size_t after = 500) {
  Bytes bytes;
  for (std::size_t i = 0; i < before; ++i) bytes.push_back(static_cast<std::uint8_t>(i * 7));
  const auto marker = TrustedKeyMarker();
  bytes.insert(bytes.end(), marker.begin(), marker.end());
  bytes.insert(bytes.end(), slot.begin(), slot.end());
  for (std::size_t i = 0; i < after; ++i) bytes.push_back(static_cast<std::uint8_t>(i * 13));
  return bytes;
}

}  // namespace

TEST(TrustedKey, TheBuiltProgramCarriesTheDevelopmentKey) {
  const platform::KeyBlob key = TrustedKeyBlob();
  EXPECT_EQ(key, BlobFile("keys/development-public.blob"));
  EXPECT_TRUE(platform::ParseKeyBlob(key.data(), key.size(), nullptr));
}

TEST(TrustedKey, TheOneSlotIsFoundReadAndReplaced) {
  const platform::KeyBlob development = BlobFile("keys/development-public.blob");
  const platform::KeyBlob publisher = BlobFile("signature/openssl-public.blob");
  Bytes executable = Executable(Bytes(development.begin(), development.end()));
  const Bytes before = executable;

  platform::KeyBlob read{};
  ASSERT_EQ(ReadTrustedKey(executable.data(), executable.size(), &read), KeySlotResult::Done);
  EXPECT_EQ(read, development);
  ASSERT_EQ(ReplaceTrustedKey(executable.data(), executable.size(), publisher), KeySlotResult::Done);
  ASSERT_EQ(ReadTrustedKey(executable.data(), executable.size(), &read), KeySlotResult::Done);
  EXPECT_EQ(read, publisher);
  // Exactly the 148 bytes after the marker changed.
  const std::size_t key = 1000 + 16;
  for (std::size_t i = 0; i < executable.size(); ++i) {
    if (i < key || i >= key + platform::kKeyBlobSize) {
      ASSERT_EQ(executable[i], before[i]) << i;
    }
  }
  // A slot that ends the file exactly is whole.
  Bytes atEnd = Executable(Bytes(development.begin(), development.end()), 10, 0);
  EXPECT_EQ(ReplaceTrustedKey(atEnd.data(), atEnd.size(), publisher), KeySlotResult::Done);
}

TEST(TrustedKey, MissingRepeatedOrCutSlotsAndBadKeysAreRefusedWithoutAChange) {
  const platform::KeyBlob development = BlobFile("keys/development-public.blob");
  const platform::KeyBlob publisher = BlobFile("signature/openssl-public.blob");
  const Bytes slot(development.begin(), development.end());

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
  platform::KeyBlob read{};
  EXPECT_EQ(ReadTrustedKey(twice.data(), twice.size(), &read), KeySlotResult::SeveralMarkers);

  Bytes cut = Executable(Bytes(slot.begin(), slot.end() - 1), 100, 0);
  const Bytes cutBefore = cut;
  EXPECT_EQ(ReplaceTrustedKey(cut.data(), cut.size(), publisher), KeySlotResult::SlotTruncated);
  EXPECT_EQ(cut, cutBefore);

  Bytes good = Executable(slot);
  const Bytes goodBefore = good;
  platform::KeyBlob bad = publisher;
  bad[8] = 'X';
  EXPECT_EQ(ReplaceTrustedKey(good.data(), good.size(), bad), KeySlotResult::BadKeyBlob);
  EXPECT_EQ(good, goodBefore);
  // A slot holding no key reads as such.
  Bytes empty = Executable(Bytes(platform::kKeyBlobSize, 0));
  EXPECT_EQ(ReadTrustedKey(empty.data(), empty.size(), &read), KeySlotResult::BadKeyBlob);
}
