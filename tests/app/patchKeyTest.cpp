#include "app/patchKey.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "patch/trustedKey.h"
#include "support/tempFolder.h"
#include "support/testData.h"

namespace {

// A stand-in for a patch executable: bytes around a key slot holding `key`, laid out as the current
// program's slot (marker, area size, key area) or, with `earlierLayout`, as a program built before
// keys of more than 1024 bits (the blob right after the marker).
std::vector<std::uint8_t> PatchWithKey(const platform::KeyBlob& key, bool earlierLayout = false) {
  std::vector<std::uint8_t> bytes(4096, 0xCC);
  bytes[0] = 'M';  // a Windows program
  bytes[1] = 'Z';
  const std::array<std::uint8_t, 16> marker = TrustedKeyMarker();
  std::copy(marker.begin(), marker.end(), bytes.begin() + 1000);
  std::size_t at = 1016;
  if (!earlierLayout) {
    const std::uint8_t area[4] = {platform::kMaxKeyBlobSize & 0xFF, platform::kMaxKeyBlobSize >> 8, 0, 0};
    std::copy(area, area + 4, bytes.begin() + 1016);
    std::fill(bytes.begin() + 1020, bytes.begin() + 1020 + platform::kMaxKeyBlobSize, 0);
    at = 1020;
  }
  std::copy(key.begin(), key.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
  return bytes;
}

platform::KeyBlob BlobFile(const std::string& relative) {
  platform::KeyBlob key{};
  std::string error;
  EXPECT_TRUE(app::ReadKeyBlobFile(TestDataPath(relative).c_str(), &key, &error)) << error;
  return key;
}

TEST(PatchKey, TheSlotsKeyIsTakenAndAPinnedKeyMustMatchIt) {
  const platform::KeyBlob development = BlobFile("keys/development-3072-public.blob");
  [[maybe_unused]] const platform::KeyBlob other = BlobFile("signature/openssl-public.blob");  // compared on Linux
  const std::vector<std::uint8_t> patch = PatchWithKey(development);
  platform::KeyBlob key{};
  std::string error;
  ASSERT_TRUE(app::PatchTrustedKey(patch.data(), patch.size(), nullptr, &key, &error)) << error;
  EXPECT_EQ(key, development);
  EXPECT_TRUE(app::PatchTrustedKey(patch.data(), patch.size(), TestDataPath("keys/development-3072-public.blob").c_str(),
                                   &key, &error))
      << error;
  // A program of the earlier layout carries a 1024-bit key right after the marker.
  const platform::KeyBlob earlier = BlobFile("keys/development-public.blob");
  const std::vector<std::uint8_t> earlierPatch = PatchWithKey(earlier, true);
  ASSERT_TRUE(app::PatchTrustedKey(earlierPatch.data(), earlierPatch.size(), nullptr, &key, &error)) << error;
  EXPECT_EQ(key, earlier);

  const std::string pinned = TestDataPath("signature/openssl-public.blob");
  EXPECT_FALSE(app::PatchTrustedKey(patch.data(), patch.size(), pinned.c_str(), &key, &error));
  EXPECT_NE(error.find("signed for another key"), std::string::npos) << error;
#ifndef _WIN32
  // The message names both fingerprints, so the player can tell which key the patch carries.
  EXPECT_NE(error.find(app::KeyFingerprintText(development)), std::string::npos) << error;
  EXPECT_NE(error.find(app::KeyFingerprintText(other)), std::string::npos) << error;
  EXPECT_EQ(app::KeyFingerprintText(other) + "\n", ReadTestText("signature/openssl-public.fingerprint"));
#endif
}

TEST(PatchKey, BrokenSlotsAndKeyFilesAreRefusedWithAReason) {
  const platform::KeyBlob development = BlobFile("keys/development-3072-public.blob");
  platform::KeyBlob key{};
  std::string error;
  std::vector<std::uint8_t> twice = PatchWithKey(development);
  const std::array<std::uint8_t, 16> marker = TrustedKeyMarker();
  std::copy(marker.begin(), marker.end(), twice.begin() + 3000);
  EXPECT_FALSE(app::PatchTrustedKey(twice.data(), twice.size(), nullptr, &key, &error));
  EXPECT_NE(error.find("more than one"), std::string::npos) << error;
  // A Windows program without a slot, and a file that is no Windows program at all (a folder's listing,
  // a text, an empty file), are no patch, and are told apart.
  std::vector<std::uint8_t> none(4096, 0);
  none[0] = 'M';
  none[1] = 'Z';
  EXPECT_FALSE(app::PatchTrustedKey(none.data(), none.size(), nullptr, &key, &error));
  EXPECT_EQ(error, "not a patch: a Windows program without a publisher's key slot");
  const std::string text = "readme";
  for (std::size_t size : {text.size(), std::size_t{1}, std::size_t{0}}) {
    EXPECT_FALSE(app::PatchTrustedKey(reinterpret_cast<const std::uint8_t*>(text.data()), size, nullptr, &key, &error));
    EXPECT_EQ(error, "not a patch: the file is not a Windows program");
  }

  TempFolder folder;
  const std::vector<std::uint8_t> patch = PatchWithKey(development);
  const platform::KeyBlob large = BlobFile("keys/development-3072-public.blob");
  std::string cut(large.begin(), large.end() - 1), longer(large.begin(), large.end());
  longer += '\0';
  for (const std::string& content : {std::string(), std::string(147, 'x'), std::string(148, 'x'), std::string(149, 'x'),
                                     cut, longer, std::string(100000, 'x')}) {
    const std::string path = folder.File("key.blob");
    { std::ofstream(path, std::ios::binary) << content; }
    EXPECT_FALSE(app::PatchTrustedKey(patch.data(), patch.size(), path.c_str(), &key, &error)) << content.size();
    EXPECT_NE(error.find("is not a public key file"), std::string::npos) << error;
  }
  EXPECT_FALSE(app::PatchTrustedKey(patch.data(), patch.size(), folder.File("missing.blob").c_str(), &key, &error));
  EXPECT_NE(error.find("cannot open the key file"), std::string::npos) << error;
}

}  // namespace
