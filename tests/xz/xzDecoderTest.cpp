// The .xz decoder on every build: streams liblzma wrote and kept with the tests, and hand-made
// streams whose every field can be damaged on purpose.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "xz/integrityCheck.h"
#include "xz/xzBuilder.h"
#include "xz/xzDecoder.h"
#include "xz/xzTestSupport.h"

using xz::XzStatus;
using namespace xztest;

namespace {

std::string DataFile(const std::string& name) {
  const char* root = std::getenv("ZR_TEST_DATA");
  return std::string(root ? root : "tests/data") + "/xz/" + name;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string Sha256Hex(const Bytes& bytes) {
  xz::Sha256 sha;
  sha.Update(bytes.data(), bytes.size());
  std::uint8_t digest[32];
  sha.Finish(digest);
  std::string hex;
  char digits[3];
  for (std::uint8_t byte : digest) {
    std::snprintf(digits, sizeof digits, "%02x", byte);
    hex += digits;
  }
  return hex;
}

struct Kept {
  std::string name;
  std::size_t size;
  std::string sha256;
};

std::vector<Kept> KeptStreams() {
  std::vector<Kept> kept;
  std::ifstream list(DataFile("expected.txt"));
  std::string line;
  while (std::getline(list, line)) {
    std::istringstream fields(line);
    Kept k;
    if (fields >> k.name >> k.size >> k.sha256) kept.push_back(k);
  }
  return kept;
}

void ExpectFailure(const Bytes& stream, XzStatus status, const std::string& text) {
  const Decoded decoded = DecodeXz(stream);
  EXPECT_EQ(decoded.status, status) << decoded.text;
  EXPECT_NE(decoded.text.find(text), std::string::npos) << "got: " << decoded.text << "\nwanted: " << text;
}

Bytes Sample(std::size_t size) { return MakeContent(Content::Text, size, size); }

}  // namespace

TEST(KeptStreams, DecodeToTheirContent) {
  const std::vector<Kept> kept = KeptStreams();
  ASSERT_EQ(kept.size(), 6u) << "tests/data/xz/expected.txt";
  for (const Kept& k : kept) {
    const Bytes stream = ReadFile(DataFile(k.name));
    ASSERT_FALSE(stream.empty()) << k.name;
    for (std::size_t inPiece : {SIZE_MAX, std::size_t{1}, std::size_t{7}, std::size_t{4096}}) {
      for (std::size_t outPiece : {SIZE_MAX, std::size_t{1}, std::size_t{1000}}) {
        if (inPiece == 1 && outPiece == 1 && k.size > 40000) continue;
        const Decoded decoded = DecodeXz(stream, inPiece, outPiece);
        ASSERT_EQ(decoded.status, XzStatus::StreamEnd) << k.name << " " << inPiece << "/" << outPiece << ": " << decoded.text;
        EXPECT_EQ(decoded.inputUsed, stream.size()) << k.name;
        EXPECT_EQ(decoded.output.size(), k.size) << k.name;
        EXPECT_EQ(Sha256Hex(decoded.output), k.sha256) << k.name << " " << inPiece << "/" << outPiece;
      }
    }
  }
}

TEST(KeptStreams, EveryTruncationAndByteChange) {
  for (const char* name : {"records-lc0lp2pb0-sha256.xz", "text-lc4pb4-9e-none.xz"}) {
    const Bytes stream = ReadFile(DataFile(name));
    ASSERT_FALSE(stream.empty()) << name;
    const bool checked = std::string(name).find("none") == std::string::npos;
    for (std::size_t size = 0; size < stream.size(); ++size) {
      const Decoded decoded = DecodeXz(Bytes(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(size)));
      ASSERT_EQ(decoded.status, XzStatus::Corrupt) << name << " cut at " << size;
      ASSERT_TRUE(decoded.text == "the stream is truncated" || decoded.text == "the input holds no .xz stream")
          << decoded.text;
    }
    int accepted = 0;
    for (std::size_t i = 0; i < stream.size(); ++i) {
      Bytes damaged = stream;
      damaged[i] ^= 0x55;
      const Decoded decoded = DecodeXz(damaged, i % 3 == 0 ? 100 : SIZE_MAX);
      if (decoded.status == XzStatus::StreamEnd) {
        ++accepted;
      } else {
        EXPECT_FALSE(decoded.text.empty());
      }
    }
    // With a check every change is caught; without one only changes inside the LZMA data can pass.
    if (checked) EXPECT_EQ(accepted, 0) << name;
    else EXPECT_LT(accepted, static_cast<int>(stream.size() / 10)) << name;
  }
}

TEST(KeptStreams, DamagedChunkSizes) {
  const Bytes stream = ReadFile(DataFile("text-6-crc64.xz"));
  ASSERT_GT(stream.size(), 40u);
  // Stream header (12) and block header (12), then the first LZMA chunk: control, two bytes of
  // uncompressed size, two of compressed size, properties.
  const std::size_t chunk = 24;
  ASSERT_EQ(stream[chunk] & 0xE0, 0xE0);
  for (int delta : {-1, 1}) {
    Bytes damaged = stream;
    damaged[chunk + 4] = static_cast<std::uint8_t>(damaged[chunk + 4] + delta);  // compressed size
    const Decoded decoded = DecodeXz(damaged);
    EXPECT_EQ(decoded.status, XzStatus::Corrupt);
    EXPECT_NE(decoded.text.find("LZMA"), std::string::npos) << decoded.text;
    damaged = stream;
    damaged[chunk + 2] = static_cast<std::uint8_t>(damaged[chunk + 2] + delta);  // uncompressed size
    const Decoded shorter = DecodeXz(damaged);
    EXPECT_EQ(shorter.status, XzStatus::Corrupt);
    EXPECT_NE(shorter.text.find("LZMA"), std::string::npos) << shorter.text;
  }
}

TEST(HandMade, EveryCheckType) {
  const Bytes data = Sample(70000);  // two stored chunks
  for (unsigned check : {0u, 1u, 4u, 10u}) {
    const Bytes stream = StoredStream(data, check).Join();
    const Decoded decoded = DecodeXz(stream);
    ASSERT_EQ(decoded.status, XzStatus::StreamEnd) << check << ": " << decoded.text;
    EXPECT_TRUE(decoded.output == data);
    if (check == 0) continue;
    Stream damaged = StoredStream(data, check);
    damaged.check[damaged.check.size() / 2] ^= 0x10;
    ExpectFailure(damaged.Join(), XzStatus::Corrupt,
                  check == 1 ? "a block's CRC-32 does not match its data"
                             : check == 4 ? "a block's CRC-64 does not match its data"
                                          : "a block's SHA-256 does not match its data");
    // The same change in the data instead of the check.
    damaged = StoredStream(data, check);
    damaged.data[100] ^= 0x10;
    EXPECT_EQ(DecodeXz(damaged.Join()).status, XzStatus::Corrupt);
  }
}

TEST(HandMade, UnknownCheckIdsAreSteppedOver) {
  const Bytes data = Sample(1000);
  for (unsigned check : {2u, 7u, 15u}) {
    Stream s = StoredStream(data, check);
    s.check.assign(xz::CheckSize(check), 0xAB);  // not verified, only its size matters
    s.index = Index({{s.blockHeader.size() + s.data.size() + s.check.size(), data.size()}});
    s.footer = StreamFooter(check, s.index.size());
    const Decoded decoded = DecodeXz(s.Join());
    ASSERT_EQ(decoded.status, XzStatus::StreamEnd) << check << ": " << decoded.text;
    EXPECT_TRUE(decoded.output == data);
  }
}

TEST(HandMade, StreamHeaderAndFooter) {
  const Bytes data = Sample(500);
  Stream s = StoredStream(data, 1);
  ExpectFailure(Bytes{'P', 'K', 3, 4, 0, 0, 0, 0, 0, 0, 0, 0}, XzStatus::Corrupt, "not an .xz stream");
  ExpectFailure(Bytes(), XzStatus::Corrupt, "the input holds no .xz stream");
  Stream bad = s;
  bad.header[8] ^= 1;
  ExpectFailure(bad.Join(), XzStatus::Corrupt, "the stream header's CRC-32 does not match");
  bad = s;
  bad.header = StreamHeader(0x11);
  ExpectFailure(bad.Join(), XzStatus::Unsupported, "the stream header has unknown flags 0x0011");
  bad = s;
  bad.footer[10] = 'X';
  ExpectFailure(bad.Join(), XzStatus::Corrupt, "the stream footer's magic bytes are wrong");
  bad = s;
  bad.footer[0] ^= 1;
  ExpectFailure(bad.Join(), XzStatus::Corrupt, "the stream footer's CRC-32 does not match");
  bad = s;
  bad.footer = StreamFooter(4, s.index.size());
  ExpectFailure(bad.Join(), XzStatus::Corrupt, "the stream footer's flags differ from the header's");
  bad = s;
  bad.footer = StreamFooter(1, s.index.size() + 4);
  ExpectFailure(bad.Join(), XzStatus::Corrupt, "the stream footer gives the index as");
}

TEST(HandMade, BlockHeaders) {
  const Bytes data = Sample(500);
  const Stream s = StoredStream(data, 1);
  Stream bad = s;
  bad.blockHeader[1] ^= 0x80;  // CRC no longer matches
  ExpectFailure(bad.Join(), XzStatus::Corrupt, "a block header's CRC-32 does not match");
  bad.blockHeader = BlockHeaderOf({0x04, 0x21, 0x01, 0x00});
  ExpectFailure(bad.Join(), XzStatus::Unsupported, "a block header has unknown flags 0x04");
  bad.blockHeader = BlockHeaderOf({0x01, 0x03, 0x01, 0x00, 0x21, 0x01, 0x00});
  ExpectFailure(bad.Join(), XzStatus::Unsupported, "the filter 0x3 (delta) is not supported; only LZMA2 is");
  bad.blockHeader = BlockHeaderOf({0x00, 0x04, 0x00});
  ExpectFailure(bad.Join(), XzStatus::Unsupported, "the filter 0x4 (x86 branch converter) is not supported");
  bad.blockHeader = BlockHeaderOf({0x01, 0x21, 0x01, 0x00, 0x21, 0x01, 0x00});
  ExpectFailure(bad.Join(), XzStatus::Corrupt, "a block's LZMA2 filter is not the last of its filters");
  bad.blockHeader = BlockHeaderOf({0x00, 0x21, 0x02, 0x00, 0x00});
  ExpectFailure(bad.Join(), XzStatus::Corrupt, "a block's LZMA2 filter has 2 property bytes instead of 1");
  bad.blockHeader = BlockHeaderOf({0x00, 0x21, 0x01, 41});
  ExpectFailure(bad.Join(), XzStatus::Unsupported, "a block's LZMA2 dictionary size byte 0x29 is unknown");
  bad.blockHeader = BlockHeaderOf({0x00, 0x21, 0x01, 0x00, 0x00, 0x01});
  ExpectFailure(bad.Join(), XzStatus::Corrupt, "a block header's padding is not zero");
  bad.blockHeader = BlockHeaderOf({0x00, 0x21, 0x7F});  // properties past the header
  ExpectFailure(bad.Join(), XzStatus::Corrupt, "a block header's filter 1 is malformed");
  bad.blockHeader = BlockHeaderOf({0x00, 0xA1, 0x00, 0x01, 0x00});  // filter id with a redundant zero byte
  ExpectFailure(bad.Join(), XzStatus::Corrupt, "a block header's filter 1 is malformed");
  bad.blockHeader = BlockHeaderOf({0x40, 0x00, 0x21, 0x01, 0x00});
  ExpectFailure(bad.Join(), XzStatus::Corrupt, "a block header's compressed size is malformed");
  // A 4 GiB dictionary is over the limit before anything is allocated.
  bad.blockHeader = BlockHeaderOf({0x00, 0x21, 0x01, 40});
  ExpectFailure(bad.Join(), XzStatus::MemoryLimit, "more than the 262144 KiB allowed");
}

TEST(HandMade, DeclaredSizes) {
  const Bytes data = Sample(3000);
  const Stream s = StoredStream(data, 4);
  const std::int64_t compressed = static_cast<std::int64_t>(s.data.size());
  const std::int64_t uncompressed = static_cast<std::int64_t>(data.size());
  const auto withSizes = [&](std::int64_t c, std::int64_t u) {
    Stream sized = s;
    sized.blockHeader = Lzma2BlockHeader(0, c, u);
    sized.index = Index({{sized.blockHeader.size() + sized.data.size() + sized.check.size(), data.size()}});
    sized.footer = StreamFooter(4, sized.index.size());
    return sized.Join();
  };
  const Decoded good = DecodeXz(withSizes(compressed, uncompressed), 5, 3);
  ASSERT_EQ(good.status, XzStatus::StreamEnd) << good.text;
  EXPECT_TRUE(good.output == data);
  ExpectFailure(withSizes(compressed - 1, -1), XzStatus::Corrupt,
                "a block's data runs past the compressed size its header declares");
  ExpectFailure(withSizes(compressed + 1, -1), XzStatus::Corrupt,
                "a block's data ends before the compressed size its header declares");
  ExpectFailure(withSizes(-1, uncompressed - 1), XzStatus::Corrupt, "a block holds more data than its header declares");
  ExpectFailure(withSizes(-1, uncompressed + 1), XzStatus::Corrupt, "a block holds less data than its header declares");
}

TEST(HandMade, Lzma2Chunks) {
  const Bytes data = Sample(300);
  const Stream s = StoredStream(data, 1);
  const auto withData = [&](const Bytes& lzma2) {
    Stream changed = s;
    changed.data = lzma2;
    changed.padding.assign((4 - lzma2.size() % 4) % 4, 0);
    return changed.Join();
  };
  ExpectFailure(withData({0x02, 0x00, 0x00, 'a', 0x00}), XzStatus::Corrupt,
                "LZMA2 stream does not start with a dictionary reset");
  ExpectFailure(withData({0x80, 0x00, 0x00, 0x00, 0x04, 0, 0, 0, 0, 0, 0x00}), XzStatus::Corrupt,
                "LZMA2 stream does not start with a dictionary reset");
  ExpectFailure(withData({0x03}), XzStatus::Corrupt, "LZMA2 chunk has an invalid control byte");
  ExpectFailure(withData({0x01, 0x00, 0x00, 'a', 0xA0, 0x00, 0x00, 0x00, 0x04, 0, 0, 0, 0, 0, 0x00}),
                XzStatus::Corrupt, "LZMA2 chunk lacks the properties that must follow a dictionary reset");
  ExpectFailure(withData({0xE0, 0x00, 0x00, 0x00, 0x04, 225, 0, 0, 0, 0, 0}), XzStatus::Corrupt,
                "LZMA2 chunk has invalid properties 0xE1");
  ExpectFailure(withData({0xE0, 0x00, 0x00, 0x00, 0x04, 13, 0, 0, 0, 0, 0}), XzStatus::Corrupt,
                "LZMA2 chunk has invalid properties 0x0D");  // lc 4 + lp 1
  ExpectFailure(withData({0xE0, 0x00, 0x00, 0x00, 0x04, 0x5D, 1, 0, 0, 0, 0}), XzStatus::Corrupt,
                "LZMA chunk does not start like range-coded data");
  ExpectFailure(withData({0xE0, 0x00, 0x00, 0x00, 0x02, 0x5D, 0, 0, 0}), XzStatus::Corrupt,
                "LZMA chunk does not start like range-coded data");
  // A stored chunk that claims more bytes than follow runs into the block padding and check.
  ExpectFailure(withData({0x01, 0x00, 0x10, 'a', 'b', 0x00}), XzStatus::Corrupt, "");
}

TEST(HandMade, Index) {
  const Bytes data = Sample(2000);
  const Stream s = StoredStream(data, 1);
  const std::uint64_t unpadded = s.blockHeader.size() + s.data.size() + s.check.size();
  const auto withIndex = [&](const Bytes& index) {
    Stream changed = s;
    changed.index = index;
    changed.footer = StreamFooter(1, index.size());
    return changed.Join();
  };
  ExpectFailure(withIndex(Index({})), XzStatus::Corrupt, "the index lists 0 blocks, but the stream has 1");
  ExpectFailure(withIndex(Index({{unpadded, 2000}, {unpadded, 2000}})), XzStatus::Corrupt,
                "the index lists 2 blocks, but the stream has 1");
  ExpectFailure(withIndex(Index({{unpadded + 1, 2000}})), XzStatus::Corrupt,
                "the index does not describe the stream's blocks");
  ExpectFailure(withIndex(Index({{unpadded, 1999}})), XzStatus::Corrupt,
                "the index does not describe the stream's blocks");
  Bytes badCrc = s.index;
  ASSERT_EQ(badCrc.size(), 12u);
  badCrc[11] ^= 1;
  ExpectFailure(withIndex(badCrc), XzStatus::Corrupt, "the index's CRC-32 does not match");
  Bytes badPadding = Index({{unpadded, 2000}});
  ASSERT_EQ(badPadding[6], 0);  // indicator, count, two two-byte sizes, one byte of padding
  badPadding[6] = 1;
  badPadding.resize(badPadding.size() - 4);
  AppendLe32(badPadding, xz::Crc32(0, badPadding.data(), badPadding.size()));
  ExpectFailure(withIndex(badPadding), XzStatus::Corrupt, "the index's padding is not zero");
  Bytes longNumber = {0x00, 0x81, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00};
  ExpectFailure(withIndex(longNumber), XzStatus::Corrupt, "the index has a malformed number");
}

TEST(HandMade, Concatenated) {
  const Bytes a = Sample(100);
  const Bytes b = Sample(200);
  Bytes both = StoredStream(a, 1).Join();
  both.insert(both.end(), 4, 0);
  Append(both, StoredStream(b, 10).Join());
  xz::XzOptions options;
  options.concatenated = true;
  const Decoded decoded = DecodeXz(both, 3, SIZE_MAX, options);
  ASSERT_EQ(decoded.status, XzStatus::StreamEnd) << decoded.text;
  Bytes expected = a;
  Append(expected, b);
  EXPECT_TRUE(decoded.output == expected);
  // After a stream, a byte that is not padding starts the next stream.
  Bytes garbage = both;
  garbage.insert(garbage.end(), 12, 'x');
  const Decoded notXz = DecodeXz(garbage, SIZE_MAX, SIZE_MAX, options);
  EXPECT_EQ(notXz.status, XzStatus::Corrupt);
  EXPECT_EQ(notXz.text, "not an .xz stream (the stream header's magic bytes are wrong)");
  garbage = both;
  garbage.push_back(0);
  garbage.push_back('x');
  const Decoded bad = DecodeXz(garbage, SIZE_MAX, SIZE_MAX, options);
  EXPECT_EQ(bad.status, XzStatus::Corrupt);
  EXPECT_EQ(bad.text, "the stream padding is not a multiple of four bytes");
}

TEST(HandMade, ErrorsStayAndResetStartsOver) {
  const Bytes data = Sample(100);
  Bytes stream = StoredStream(data, 1).Join();
  Bytes damaged = stream;
  damaged[0] = 0;
  xz::XzDecoder decoder;
  Bytes out(1000);
  std::size_t inPos = 0, outPos = 0;
  EXPECT_EQ(decoder.Decode(damaged.data(), damaged.size(), &inPos, out.data(), out.size(), &outPos), XzStatus::Corrupt);
  inPos = 0;
  EXPECT_EQ(decoder.Decode(stream.data(), stream.size(), &inPos, out.data(), out.size(), &outPos), XzStatus::Corrupt);
  EXPECT_EQ(decoder.Finish(), XzStatus::Corrupt);
  decoder.Reset();
  inPos = 0;
  outPos = 0;
  EXPECT_EQ(decoder.Decode(stream.data(), stream.size(), &inPos, out.data(), out.size(), &outPos), XzStatus::StreamEnd);
  EXPECT_EQ(outPos, data.size());
  EXPECT_EQ(decoder.Finish(), XzStatus::StreamEnd);
  // Positions past the buffers' ends are refused, not used.
  xz::XzDecoder other;
  inPos = stream.size() + 1;
  EXPECT_EQ(other.Decode(stream.data(), stream.size(), &inPos, out.data(), out.size(), &outPos), XzStatus::Corrupt);
}
