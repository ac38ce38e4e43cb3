// The key blob format: the blobs assembled from the openssl command's modulus (1024 and 3072 bits)
// parse and are rebuilt byte for byte, every field that deviates is refused, and sizes the program does
// not support are refused whatever the rest says.
#include "platform/keyBlob.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/testData.h"

TEST(KeyBlob, ParsesAndRebuildsTheBlobsOfTheOpensslCommand) {
  for (const auto& [file, bits] : {std::pair<const char*, std::uint32_t>{"signature/openssl-public.blob", 1024},
                                   {"keys/development-3072-public.blob", 3072}}) {
    const std::vector<std::uint8_t> bytes = ReadTestData(file);
    ASSERT_EQ(bytes.size(), platform::kKeyBlobHeaderSize + bits / 8) << file;
    EXPECT_EQ(platform::KeyBlobLength(bytes.data(), bytes.size()), bytes.size());
    EXPECT_EQ(platform::KeyBlobLength(bytes.data(), platform::kKeyBlobHeaderSize), bytes.size()) << "the header tells";
    platform::Modulus modulus;
    ASSERT_TRUE(platform::ParseKeyBlob(bytes.data(), bytes.size(), &modulus)) << file;
    ASSERT_EQ(modulus.size(), bits / 8);
    EXPECT_EQ(modulus[0] & 0x80, 0x80);  // most significant byte first
    EXPECT_EQ(modulus.back() & 1, 1);
    EXPECT_EQ(platform::MakeKeyBlob(modulus), bytes);
    EXPECT_EQ(platform::KeyBits(bytes), bits);
    // The modulus sits reversed at offset 20.
    for (std::size_t i = 0; i < modulus.size(); ++i) ASSERT_EQ(bytes[20 + i], modulus[modulus.size() - 1 - i]);
  }
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
  EXPECT_FALSE(platform::ParseKeyBlob(nullptr, good.size(), nullptr));
  EXPECT_EQ(platform::KeyBlobLength(good.data(), 19), 0u);

  // A 3072-bit blob that claims another size (its bytes then no longer fit), and sizes between the
  // supported ones, which CryptoAPI would take but the program does not.
  const std::vector<std::uint8_t> large = ReadTestData("keys/development-3072-public.blob");
  for (std::uint32_t bits : {2048u, 4096u, 1536u, 3064u, 8192u, 0u}) {
    std::vector<std::uint8_t> claimed = large;
    for (int i = 0; i < 4; ++i) claimed[12 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
    EXPECT_FALSE(platform::ParseKeyBlob(claimed.data(), claimed.size(), nullptr)) << bits;
    EXPECT_EQ(platform::KeyBits(claimed), 0u) << bits;
  }
  EXPECT_TRUE(platform::MakeKeyBlob(platform::Modulus(192, 0xFF)).empty()) << "1536 bits";
}
