// The integrity checks against published check values.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "xz/integrityCheck.h"

namespace {

const std::uint8_t* Text(const char* text) { return reinterpret_cast<const std::uint8_t*>(text); }

std::string Hex(const std::uint8_t* bytes, std::size_t size) {
  std::string hex;
  char digits[3];
  for (std::size_t i = 0; i < size; ++i) {
    std::snprintf(digits, sizeof digits, "%02x", bytes[i]);
    hex += digits;
  }
  return hex;
}

}  // namespace

TEST(IntegrityCheck, CrcCheckValues) {
  EXPECT_EQ(xz::Crc32(0, Text("123456789"), 9), 0xCBF43926u);
  EXPECT_EQ(xz::Crc64(0, Text("123456789"), 9), 0x995DC9BBDF1939FAull);
  EXPECT_EQ(xz::Crc32(0, nullptr, 0), 0u);
  // Continued over pieces of every split (the slicing path and the byte path meet correctly).
  const char* text = "The quick brown fox jumps over the lazy dog, again and again and again.";
  const std::size_t size = std::strlen(text);
  const std::uint32_t whole32 = xz::Crc32(0, Text(text), size);
  const std::uint64_t whole64 = xz::Crc64(0, Text(text), size);
  for (std::size_t split = 0; split <= size; ++split) {
    EXPECT_EQ(xz::Crc32(xz::Crc32(0, Text(text), split), Text(text) + split, size - split), whole32) << split;
    EXPECT_EQ(xz::Crc64(xz::Crc64(0, Text(text), split), Text(text) + split, size - split), whole64) << split;
  }
}

TEST(IntegrityCheck, Sha256Vectors) {
  std::uint8_t digest[32];
  xz::Sha256 sha;
  sha.Finish(digest);
  EXPECT_EQ(Hex(digest, 32), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  sha.Reset();
  sha.Update(Text("abc"), 3);
  sha.Finish(digest);
  EXPECT_EQ(Hex(digest, 32), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const char* two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";  // 56 bytes: a second block
  for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{56}}) {
    sha.Reset();
    for (std::size_t i = 0; i < 56; i += piece) sha.Update(Text(two) + i, i + piece > 56 ? 56 - i : piece);
    sha.Finish(digest);
    EXPECT_EQ(Hex(digest, 32), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1") << piece;
  }
  std::string million(1000000, 'a');
  sha.Reset();
  sha.Update(Text(million.c_str()), million.size());
  sha.Finish(digest);
  EXPECT_EQ(Hex(digest, 32), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(IntegrityCheck, SizesOfEveryCheckId) {
  const std::size_t expected[16] = {0, 4, 4, 4, 8, 8, 8, 16, 16, 16, 32, 32, 32, 64, 64, 64};
  for (unsigned type = 0; type < 16; ++type) EXPECT_EQ(xz::CheckSize(type), expected[type]) << type;
}
