// The key blob format: what the script assembled from the openssl command's modulus parses and is
// rebuilt byte for byte, and every field that deviates is refused.
#include "platform/keyBlob.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/testData.h"

TEST(KeyBlob, ParsesAndRebuildsTheBlobOfTheOpensslCommand) {
  const std::vector<std::uint8_t> bytes = ReadTestData("signature/openssl-public.blob");
  ASSERT_EQ(bytes.size(), platform::kKeyBlobSize);
  platform::Modulus modulus;
  ASSERT_TRUE(platform::ParseKeyBlob(bytes.data(), bytes.size(), &modulus));
  EXPECT_EQ(modulus[0] & 0x80, 0x80);  // most significant byte first
  EXPECT_EQ(modulus[127] & 1, 1);
  const platform::KeyBlob rebuilt = platform::MakeKeyBlob(modulus);
  EXPECT_EQ(std::vector<std::uint8_t>(rebuilt.begin(), rebuilt.end()), bytes);
  // The modulus sits reversed at offset 20.
  for (std::size_t i = 0; i < platform::kModulusSize; ++i) ASSERT_EQ(bytes[20 + i], modulus[127 - i]);
}

TEST(KeyBlob, EveryDeviatingFieldAndLengthIsRefused) {
  const std::vector<std::uint8_t> good = ReadTestData("signature/openssl-public.blob");
  ASSERT_TRUE(platform::ParseKeyBlob(good.data(), good.size(), nullptr));
  // Each header byte changed (the exponent's and bit length's bytes included), then the modulus' top
  // bit cleared and its lowest bit cleared (an even modulus).
  for (std::size_t offset = 0; offset < 20; ++offset) {
    std::vector<std::uint8_t> bad = good;
    bad[offset] ^= 0x40;
    EXPECT_FALSE(platform::ParseKeyBlob(bad.data(), bad.size(), nullptr)) << "header byte " << offset;
  }
  std::vector<std::uint8_t> bad = good;
  bad[147] &= 0x7F;
  EXPECT_FALSE(platform::ParseKeyBlob(bad.data(), bad.size(), nullptr));
  bad = good;
  bad[20] &= 0xFE;
  EXPECT_FALSE(platform::ParseKeyBlob(bad.data(), bad.size(), nullptr));
  // The exchange-key algorithm (0xA400), which CryptoAPI would take, is not this program's key.
  bad = good;
  bad[5] = 0xA4;
  EXPECT_FALSE(platform::ParseKeyBlob(bad.data(), bad.size(), nullptr));

  for (std::size_t length : {0u, 20u, 147u}) EXPECT_FALSE(platform::ParseKeyBlob(good.data(), length, nullptr));
  std::vector<std::uint8_t> longer = good;
  longer.push_back(0);
  EXPECT_FALSE(platform::ParseKeyBlob(longer.data(), longer.size(), nullptr));
  EXPECT_FALSE(platform::ParseKeyBlob(nullptr, platform::kKeyBlobSize, nullptr));
}
