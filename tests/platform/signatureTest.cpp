// Manifest (SHA-1) and payload table (SHA-256) signatures on each target (CryptoAPI under Wine, OpenSSL
// natively) against vectors made by the openssl command (tests/data/signature/make.sh) and by the
// program's own publisher functions, with keys of 1024 and 3072 bits.
#include "platform/signature.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/keyBlob.h"
#include "support/testData.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kBadData = 0x80090005;
constexpr std::uint32_t kBadSignature = 0x80090006;

platform::ManifestSignature Check(const Bytes& signature, const Bytes& key) {
  platform::ManifestSignature check;
  check.keyBlob = key.empty() ? nullptr : key.data();
  check.keyBlobLength = static_cast<std::uint32_t>(key.size());
  check.signature = signature.empty() ? nullptr : signature.data();
  check.signatureLength = static_cast<std::uint32_t>(signature.size());
  return check;
}

int Verify(const Bytes& manifest, const Bytes& signature, const Bytes& key) {
  return platform::VerifyManifest(manifest.data(), static_cast<std::uint32_t>(manifest.size()), Check(signature, key));
}

int VerifySha256(const Bytes& bytes, const Bytes& signature, const Bytes& key) {
  return platform::VerifyPayloadTableSignature(bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                                               Check(signature, key));
}

struct Vectors {
  Bytes manifest = ReadTestData("signature/manifest.bin");
  Bytes signature = ReadTestData("signature/manifest.bin.sign");
  Bytes key = ReadTestData("signature/openssl-public.blob");
  Bytes developmentSignature = ReadTestData("signature/manifest.bin.development.sign");
  Bytes developmentKey = ReadTestData("keys/development-public.blob");
  Bytes sha256Signature = ReadTestData("signature/manifest.bin.sha256.sign");
  Bytes largeKey = ReadTestData("keys/development-3072-public.blob");
  Bytes largeSignature = ReadTestData("signature/manifest.bin.development-3072.sign");
  Bytes largeSha256Signature = ReadTestData("signature/manifest.bin.development-3072.sha256.sign");
};

}  // namespace

TEST(VerifyManifest, SignaturesOfTheOpensslCommandAndOfOurPublisherFunctionsVerify) {
  Vectors v;
  ASSERT_EQ(v.key.size(), platform::kManifestOnlyKeyBlobSize);
  ASSERT_EQ(v.signature.size(), 128u);
  ASSERT_GT(v.manifest.size(), 256u);
  EXPECT_EQ(Verify(v.manifest, v.signature, v.key), platform::kManifestVerified);
  EXPECT_EQ(platform::LastSignatureError(), 0u);
  EXPECT_EQ(Verify(v.manifest, v.developmentSignature, v.developmentKey), platform::kManifestVerified);
  // A manifest signed with a 3072-bit key: the same SHA-1 signature, as long as that key.
  ASSERT_EQ(v.largeSignature.size(), 384u);
  EXPECT_EQ(Verify(v.manifest, v.largeSignature, v.largeKey), platform::kManifestVerified);
}

TEST(VerifyPayloadTableSignature, Sha256SignaturesVerifyAndNothingElseDoes) {
  Vectors v;
  EXPECT_EQ(VerifySha256(v.manifest, v.largeSha256Signature, v.largeKey), platform::kManifestVerified);
  EXPECT_EQ(platform::LastSignatureError(), 0u);
  EXPECT_EQ(VerifySha256(v.manifest, v.sha256Signature, v.key), platform::kManifestVerified);
  // The SHA-1 signature of the same bytes is not a SHA-256 one, nor the other way round.
  EXPECT_EQ(VerifySha256(v.manifest, v.largeSignature, v.largeKey), platform::kSignatureMismatch);
  EXPECT_EQ(platform::LastSignatureError(), kBadSignature);
  EXPECT_EQ(Verify(v.manifest, v.largeSha256Signature, v.largeKey), platform::kSignatureMismatch);
  for (std::size_t bit = 0; bit < v.manifest.size() * 8; bit += 11) {
    Bytes damaged = v.manifest;
    damaged[bit / 8] ^= static_cast<std::uint8_t>(1 << (bit % 8));
    ASSERT_EQ(VerifySha256(damaged, v.largeSha256Signature, v.largeKey), platform::kSignatureMismatch) << bit;
  }
  for (std::size_t bit = 0; bit < v.largeSha256Signature.size() * 8; bit += 13) {
    Bytes damaged = v.largeSha256Signature;
    damaged[bit / 8] ^= static_cast<std::uint8_t>(1 << (bit % 8));
    ASSERT_EQ(VerifySha256(v.manifest, damaged, v.largeKey), platform::kSignatureMismatch) << bit;
  }
  // The 3072-bit signature cut to a 1024-bit key's length, and checked with the other key.
  EXPECT_EQ(VerifySha256(v.manifest, Bytes(v.largeSha256Signature.begin(), v.largeSha256Signature.begin() + 128),
                         v.largeKey),
            platform::kSignatureMismatch);
  EXPECT_EQ(VerifySha256(v.manifest, v.largeSha256Signature, v.key), platform::kSignatureMismatch);
  Bytes badKey = v.largeKey;
  badKey[13] = 0x0B;  // claims 2816 bits
  EXPECT_EQ(VerifySha256(v.manifest, v.largeSha256Signature, badKey), platform::kKeyNotImported);
  EXPECT_EQ(platform::LastSignatureError(), kBadData);
}

TEST(VerifyManifest, AnyFlippedBitOfManifestOrSignatureFailsWithCode7) {
  Vectors v;
  for (std::size_t bit = 0; bit < v.manifest.size() * 8; bit += 7) {
    Bytes damaged = v.manifest;
    damaged[bit / 8] ^= static_cast<std::uint8_t>(1 << (bit % 8));
    ASSERT_EQ(Verify(damaged, v.signature, v.key), platform::kSignatureMismatch) << "manifest bit " << bit;
    ASSERT_EQ(platform::LastSignatureError(), kBadSignature);
  }
  for (std::size_t bit = 0; bit < v.signature.size() * 8; bit += 3) {
    Bytes damaged = v.signature;
    damaged[bit / 8] ^= static_cast<std::uint8_t>(1 << (bit % 8));
    ASSERT_EQ(Verify(v.manifest, damaged, v.key), platform::kSignatureMismatch) << "signature bit " << bit;
  }
  // Reversed back into big-endian order, the right bytes do not verify either.
  Bytes bigEndian(v.signature.rbegin(), v.signature.rend());
  EXPECT_EQ(Verify(v.manifest, bigEndian, v.key), platform::kSignatureMismatch);
  // Appended or truncated manifest bytes.
  Bytes longer = v.manifest;
  longer.push_back(0);
  EXPECT_EQ(Verify(longer, v.signature, v.key), platform::kSignatureMismatch);
  EXPECT_EQ(Verify(Bytes(v.manifest.begin(), v.manifest.end() - 1), v.signature, v.key), platform::kSignatureMismatch);
}

TEST(VerifyManifest, SignaturesOfAnyOtherLengthAndOtherKeysFailWithCode7) {
  Vectors v;
  for (std::size_t length : {0u, 1u, 64u, 127u}) {
    EXPECT_EQ(Verify(v.manifest, Bytes(v.signature.begin(), v.signature.begin() + length), v.key),
              platform::kSignatureMismatch)
        << length;
    EXPECT_EQ(platform::LastSignatureError(), kBadSignature);
  }
  // A zero byte appended (the value unchanged in CryptoAPI's order) and one put in front.
  Bytes longer = v.signature;
  longer.push_back(0);
  EXPECT_EQ(Verify(v.manifest, longer, v.key), platform::kSignatureMismatch);
  longer.insert(longer.begin(), 0);
  EXPECT_EQ(Verify(v.manifest, longer, v.key), platform::kSignatureMismatch);
  Bytes doubled = v.signature;
  doubled.insert(doubled.end(), v.signature.begin(), v.signature.end());
  EXPECT_EQ(Verify(v.manifest, doubled, v.key), platform::kSignatureMismatch);
  // The right signature checked with the other key, and the other way round.
  EXPECT_EQ(Verify(v.manifest, v.signature, v.developmentKey), platform::kSignatureMismatch);
  EXPECT_EQ(Verify(v.manifest, v.developmentSignature, v.key), platform::kSignatureMismatch);
  EXPECT_EQ(platform::LastSignatureError(), kBadSignature);
}

TEST(VerifyManifest, DamagedKeyBlobsFailWithCode4OnBothBuilds) {
  Vectors v;
  struct Damage {
    std::size_t offset;
    std::uint8_t value;
  };
  // Blob type, version, reserved byte, the magic's last letter, the bit length (2048 without the bytes).
  for (Damage damage : {Damage{0, 7}, Damage{1, 3}, Damage{2, 1}, Damage{11, '2'}, Damage{13, 8}}) {
    Bytes key = v.key;
    key[damage.offset] = damage.value;
    EXPECT_EQ(Verify(v.manifest, v.signature, key), platform::kKeyNotImported) << "offset " << damage.offset;
    EXPECT_EQ(platform::LastSignatureError(), kBadData);
  }
  EXPECT_EQ(Verify(v.manifest, v.signature, Bytes(v.key.begin(), v.key.end() - 1)), platform::kKeyNotImported);
  EXPECT_EQ(Verify(v.manifest, v.signature, Bytes(v.key.begin(), v.key.begin() + 20)), platform::kKeyNotImported);
  EXPECT_EQ(Verify(v.manifest, v.signature, Bytes()), platform::kKeyNotImported);
  EXPECT_EQ(platform::LastSignatureError(), kBadData);
  // A failure never sticks: the next good check reports success and no error.
  EXPECT_EQ(Verify(v.manifest, v.signature, v.key), platform::kManifestVerified);
  EXPECT_EQ(platform::LastSignatureError(), 0u);
}
