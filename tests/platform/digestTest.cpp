// SHA-256 through the system's cryptography: the published test vectors, any split into pieces giving
// the same digest, whole files through the file-system seam (a read that fails gives no digest), and
// the text form both ways.
#include "platform/digest.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/faultInjectingFileSystem.h"
#include "support/tempFolder.h"

namespace {

std::string DigestOf(const std::string& text) {
  platform::Sha256Digest digest{};
  EXPECT_TRUE(platform::Sha256Of(text.data(), text.size(), &digest));
  return platform::DigestText(digest);
}

}  // namespace

TEST(Sha256, PublishedVectorsAndEveryWayOfSplittingTheInput) {
  EXPECT_EQ(DigestOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(DigestOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  EXPECT_EQ(DigestOf(twoBlocks), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  const std::string million(1000000, 'a');
  EXPECT_EQ(DigestOf(million), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");

  // Pieces of every size from 1 to 70 (across the 64-byte block) give the digest of the whole.
  for (std::size_t piece = 1; piece <= 70; ++piece) {
    platform::Sha256 hash;
    ASSERT_TRUE(hash.Valid());
    for (std::size_t at = 0; at < twoBlocks.size(); at += piece) {
      hash.Update(twoBlocks.data() + at, std::min(piece, twoBlocks.size() - at));
    }
    platform::Sha256Digest digest{};
    ASSERT_TRUE(hash.Final(&digest));
    EXPECT_EQ(platform::DigestText(digest), DigestOf(twoBlocks)) << "pieces of " << piece;
    // A spent object gives no second digest.
    EXPECT_FALSE(hash.Final(&digest));
  }
}

TEST(Sha256, WholeFilesAndReadsThatFail) {
  TempFolder folder;
  const std::string path = folder.File("data.bin");
  std::string content(3 * 1048576 + 17, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + (i >> 13));
  std::ofstream(path, std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));

  platform::Sha256Digest digest{};
  std::uint64_t size = 0;
  ASSERT_TRUE(platform::Sha256OfFile(path.c_str(), &digest, &size));
  EXPECT_EQ(size, content.size());
  EXPECT_EQ(platform::DigestText(digest), DigestOf(content));

  EXPECT_FALSE(platform::Sha256OfFile(folder.File("missing.bin").c_str(), &digest, &size));
  FaultInjectingFileSystem faults;
  faults.readFailFrom = 2 * 1048576;  // the file vanishes under the reader
  EXPECT_FALSE(platform::Sha256OfFile(path.c_str(), &digest, &size));
  faults.readFailFrom = -1;
  faults.readLimit = 4096;  // short reads are not taken for the end of the file
  EXPECT_FALSE(platform::Sha256OfFile(path.c_str(), &digest, &size));
}

TEST(Sha256, TextFormBothWays) {
  platform::Sha256Digest digest{};
  for (std::size_t i = 0; i < digest.size(); ++i) digest[i] = static_cast<std::uint8_t>(i * 37 + 5);
  const std::string text = platform::DigestText(digest);
  ASSERT_EQ(text.size(), 64u);
  platform::Sha256Digest back{};
  ASSERT_TRUE(platform::ParseDigestText(text, &back));
  EXPECT_EQ(back, digest);
  std::string upper = text;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  ASSERT_TRUE(platform::ParseDigestText(upper, &back));
  EXPECT_EQ(back, digest);
  for (const std::string& bad : {text.substr(1), text + "0", text.substr(0, 63) + "g", std::string(" ") + text.substr(1)}) {
    EXPECT_FALSE(platform::ParseDigestText(bad, &back)) << bad;
  }
}
