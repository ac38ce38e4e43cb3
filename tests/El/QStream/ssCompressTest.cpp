#include "El/QStream/ssCompress.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "El/Common/perfLog.h"
#include "El/QStream/qstream.h"
#include "support/captureDiagnostics.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Encode(const Bytes& input) {
  auto work = std::make_unique<SSCompress>();
  QOStrStream out;
  work->Encode(out, input.data(), input.size());
  const auto* data = reinterpret_cast<const std::uint8_t*>(out.Data());
  return Bytes(data, data + out.GetTotalSize());
}

Bytes EncodeFromStream(const Bytes& input) {
  auto work = std::make_unique<SSCompress>();
  QIStrStream in(input.data(), int(input.size()));
  QOStrStream out;
  work->Encode(out, in);
  const auto* data = reinterpret_cast<const std::uint8_t*>(out.Data());
  return Bytes(data, data + out.GetTotalSize());
}

// The three decoding forms over the same coded bytes; each reports success and what it produced.
struct Decoded {
  bool ok;
  Bytes bytes;
};

Decoded DecodeMemory(const Bytes& coded, std::size_t size) {
  auto work = std::make_unique<SSCompress>();
  Decoded result{false, Bytes(size, 0)};
  result.ok = work->Decode(result.bytes.data(), std::int64_t(size), coded.data(), coded.size());
  return result;
}

Decoded DecodeStream(const Bytes& coded, std::size_t size) {
  auto work = std::make_unique<SSCompress>();
  QIStrStream in(coded.data(), int(coded.size()));
  Decoded result{false, Bytes(size, 0)};
  result.ok = work->Decode(result.bytes.data(), std::int64_t(size), in);
  return result;
}

bool DecodeDiscard(const Bytes& coded, std::size_t size) {
  auto work = std::make_unique<SSCompress>();
  QIStrStream in(coded.data(), int(coded.size()));
  return work->DecodeDiscard(std::int64_t(size), in);
}

Bytes RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (auto& b : bytes) b = std::uint8_t(random());
  return bytes;
}

// Words from a small vocabulary: repetitive like config text, so references of every length appear.
Bytes TextLike(std::size_t size, unsigned seed) {
  static const char* const kWords[] = {"class ", "CfgPatches", " {\n", "};\n", "name = ", "\"1.05\"",
                                       "version", "\t", "requiredAddons[] = {", "0x4F", " ", ";\n"};
  std::mt19937 random(seed);
  Bytes bytes;
  while (bytes.size() < size) {
    const char* word = kWords[random() % (sizeof kWords / sizeof kWords[0])];
    bytes.insert(bytes.end(), word, word + std::char_traits<char>::length(word));
  }
  bytes.resize(size);
  return bytes;
}

void ExpectRoundTrip(const Bytes& input) {
  const Bytes coded = Encode(input);
  EXPECT_EQ(EncodeFromStream(input), coded);
  const Decoded memory = DecodeMemory(coded, input.size());
  EXPECT_TRUE(memory.ok);
  EXPECT_EQ(memory.bytes, input);
  const Decoded stream = DecodeStream(coded, input.size());
  EXPECT_TRUE(stream.ok);
  EXPECT_EQ(stream.bytes, input);
  EXPECT_TRUE(DecodeDiscard(coded, input.size()));
}

std::uint32_t Sum(const Bytes& bytes) {
  std::uint32_t sum = 0;
  for (std::uint8_t b : bytes) sum += b;
  return sum;
}

void AppendChecksum(Bytes& coded, std::uint32_t sum) {
  for (int i = 0; i < 4; ++i) coded.push_back(std::uint8_t(sum >> (8 * i)));
}

// ----------------------------------------------------------------------------------------------

// Worked by hand: "abc" has no earlier match (literals, flag bits 0-2); at the second "abc" the
// tree holds position 4078, which matches the remaining 9 bytes: distance 3, length 9.
TEST(EncodedBytes, RepeatedTextGivesThreeLiteralsAndOneReference) {
  const std::string text = "abcabcabcabc";
  const Bytes coded = Encode(Bytes(text.begin(), text.end()));
  const Bytes expected = {0x07, 'a', 'b', 'c', 0x03, 0x06, 0x98, 0x04, 0x00, 0x00};  // sum 1176
  EXPECT_EQ(coded, expected);
}

// Six spaces match the space-filled ring at the oldest inserted position, 4060: distance 18.
TEST(EncodedBytes, SpacesReferToTheInitialRing) {
  const Bytes coded = Encode(Bytes(6, ' '));
  const Bytes expected = {0x00, 0x12, 0x03, 0xC0, 0x00, 0x00, 0x00};
  EXPECT_EQ(coded, expected);
}

TEST(EncodedBytes, EmptyInputWritesNothing) {
  EXPECT_TRUE(Encode({}).empty());
  EXPECT_TRUE(EncodeFromStream({}).empty());
}

TEST(EncodedBytes, ShortInputIsLiteralsAndChecksum) {
  const Bytes coded = Encode({0x41, 0x42});
  const Bytes expected = {0x03, 0x41, 0x42, 0x83, 0x00, 0x00, 0x00};
  EXPECT_EQ(coded, expected);
}

TEST(EncodedBytes, EncodeReadsFromTheStreamPosition) {
  const Bytes input = TextLike(3000, 9);
  QIStrStream in(input.data(), int(input.size()));
  in.SeekG(1000);
  auto work = std::make_unique<SSCompress>();
  QOStrStream out;
  work->Encode(out, in);
  const auto* data = reinterpret_cast<const std::uint8_t*>(out.Data());
  EXPECT_EQ(Bytes(data, data + out.GetTotalSize()), Encode(Bytes(input.begin() + 1000, input.end())));
}

// ----------------------------------------------------------------------------------------------

TEST(RoundTrip, DegenerateSizes) {
  ExpectRoundTrip({0x00});
  ExpectRoundTrip({0xFF});
  ExpectRoundTrip(Bytes(17, 'q'));
  ExpectRoundTrip(Bytes(18, 'q'));
  ExpectRoundTrip(Bytes(19, 'q'));
  ExpectRoundTrip(RandomBytes(1023, 1));
  ExpectRoundTrip(RandomBytes(1024, 2));
}

TEST(RoundTrip, AllOneByte) {
  ExpectRoundTrip(Bytes(10000, 0x00));
  ExpectRoundTrip(Bytes(10000, 0x20));
  ExpectRoundTrip(Bytes(10000, 0xFF));
}

TEST(RoundTrip, LargerThanTheWindow) {
  ExpectRoundTrip(RandomBytes(20000, 3));
  ExpectRoundTrip(TextLike(50000, 4));
  Bytes mixed = TextLike(9000, 5);
  const Bytes noise = RandomBytes(5000, 6);
  mixed.insert(mixed.end(), noise.begin(), noise.end());
  mixed.insert(mixed.end(), mixed.begin(), mixed.begin() + 7000);
  ExpectRoundTrip(mixed);
}

TEST(RoundTrip, TextCompresses) {
  const Bytes input = TextLike(50000, 7);
  EXPECT_LT(Encode(input).size(), input.size() / 2);
}

TEST(RoundTrip, StreamIsLeftJustPastTheChecksum) {
  const Bytes input = TextLike(5000, 8);
  Bytes coded = Encode(input);
  const std::size_t end = coded.size();
  coded.push_back(0x5A);
  auto work = std::make_unique<SSCompress>();
  Bytes out(input.size());
  QIStrStream in(coded.data(), int(coded.size()));
  ASSERT_TRUE(work->Decode(out.data(), std::int64_t(out.size()), in));
  EXPECT_EQ(in.tellg(), std::int64_t(end));
  EXPECT_EQ(in.get(), 0x5A);
  QIStrStream again(coded.data(), int(coded.size()));
  ASSERT_TRUE(work->DecodeDiscard(std::int64_t(input.size()), again));
  EXPECT_EQ(again.get(), 0x5A);
}

TEST(RoundTrip, DecodeCountsTime) {
  const Bytes coded = Encode(TextLike(2000, 10));
  DecodeMemory(coded, 2000);
  const int index = GPerfTiming().Find("ssDec");
  ASSERT_GE(index, 0);
  EXPECT_STREQ(GPerfTiming().Counter(index)->category, "other");
  const int before = GPerfTiming().Counter(index)->hits;
  DecodeMemory(coded, 2000);
  DecodeStream(coded, 2000);
  EXPECT_EQ(GPerfTiming().Counter(index)->hits, before + 2);
}

// ----------------------------------------------------------------------------------------------
// Hand-made streams for the format's corners.

TEST(References, AtStreamStartYieldSpaces) {
  Bytes coded = {0x00, 0x12, 0x0F};  // one reference: distance 18, length 18
  AppendChecksum(coded, 18 * 0x20);
  EXPECT_EQ(DecodeMemory(coded, 18).bytes, Bytes(18, 0x20));
  EXPECT_TRUE(DecodeMemory(coded, 18).ok);
  EXPECT_EQ(DecodeStream(coded, 18).bytes, Bytes(18, 0x20));
  EXPECT_TRUE(DecodeDiscard(coded, 18));
}

TEST(References, OverlappingRepeatsTheirOwnOutput) {
  Bytes coded = {0x01, 'a', 0x01, 0x02};  // 'a', then distance 1 length 5
  AppendChecksum(coded, 6 * 'a');
  const Decoded result = DecodeMemory(coded, 6);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.bytes, Bytes(6, 'a'));
  EXPECT_TRUE(DecodeStream(coded, 6).ok);
  EXPECT_TRUE(DecodeDiscard(coded, 6));
}

// Distance 2 from the first output byte starts one byte before the output, in the spaces, and then
// runs over the bytes that the reference itself writes.
TEST(References, StraddlingTheOutputStart) {
  Bytes coded = {0x01, 'x', 0x02, 0x00};
  const Bytes expected = {'x', ' ', 'x', ' '};
  AppendChecksum(coded, Sum(expected));
  EXPECT_EQ(DecodeMemory(coded, 4).bytes, expected);
  EXPECT_EQ(DecodeStream(coded, 4).bytes, expected);
  EXPECT_TRUE(DecodeDiscard(coded, 4));
}

// Distance 0 reaches a whole ring back: the byte written 4096 bytes earlier.
TEST(References, DistanceZeroIsAWholeRingBack) {
  Bytes expected = RandomBytes(4096, 11);
  Bytes coded;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (i % 8 == 0) coded.push_back(0xFF);
    coded.push_back(expected[i]);
  }
  coded.push_back(0x00);
  coded.push_back(0x00);
  coded.push_back(0x0F);
  expected.insert(expected.end(), expected.begin(), expected.begin() + 18);
  AppendChecksum(coded, Sum(expected));
  const Decoded memory = DecodeMemory(coded, expected.size());
  EXPECT_TRUE(memory.ok);
  EXPECT_EQ(memory.bytes, expected);
  EXPECT_EQ(DecodeStream(coded, expected.size()).bytes, expected);
  EXPECT_TRUE(DecodeDiscard(coded, expected.size()));
}

TEST(References, SizeBelowOneReadsNothing) {
  const Bytes nothing;
  EXPECT_TRUE(DecodeMemory(nothing, 0).ok);
  auto work = std::make_unique<SSCompress>();
  EXPECT_TRUE(work->Decode(nullptr, -5, nothing.data(), 0));
  const Bytes one = {0x42};
  QIStrStream in(one.data(), 1);
  EXPECT_TRUE(work->Decode(nullptr, 0, in));
  EXPECT_TRUE(work->DecodeDiscard(0, in));
  EXPECT_EQ(in.get(), 0x42);
}

// ----------------------------------------------------------------------------------------------
// Failures: each with its message, from every form that can meet it.

void ExpectFailure(const Bytes& coded, std::size_t size, const char* message, bool discardToo) {
  {
    CaptureDiagnostics diagnostics;
    EXPECT_FALSE(DecodeMemory(coded, size).ok);
    EXPECT_TRUE(diagnostics.Contains(std::string(") : ") + message)) << message;
    EXPECT_TRUE(diagnostics.Contains("ssCompress(")) << message;
  }
  {
    CaptureDiagnostics diagnostics;
    EXPECT_FALSE(DecodeStream(coded, size).ok);
    EXPECT_TRUE(diagnostics.Contains(std::string(") : ") + message)) << message;
  }
  if (discardToo) {
    CaptureDiagnostics diagnostics;
    EXPECT_FALSE(DecodeDiscard(coded, size));
    EXPECT_TRUE(diagnostics.Contains(std::string(") : ") + message)) << message;
  }
}

TEST(StreamReadFailed, NoFlagByte) { ExpectFailure({}, 1, "LZW: stream read failed", true); }

TEST(StreamReadFailed, MissingLiteral) { ExpectFailure({0x01}, 1, "LZW: stream read failed", true); }

TEST(StreamReadFailed, HalfAReference) { ExpectFailure({0x00, 0x12}, 3, "LZW: stream read failed", true); }

TEST(StreamReadFailed, MissingNextFlagByte) {
  Bytes coded = {0xFF};
  for (int i = 0; i < 8; ++i) coded.push_back('a');
  ExpectFailure(coded, 9, "LZW: stream read failed", true);
}

TEST(Overflow, ReferenceLongerThanTheRestOfTheOutput) {
  Bytes coded = {0x01, 'a', 0x01, 0x00};  // 'a' then three more, but only 3 expected
  AppendChecksum(coded, 4 * 'a');
  ExpectFailure(coded, 3, "LZW overflow", false);
}

TEST(Overflow, DiscardAcceptsTheLongerReference) {
  Bytes coded = {0x01, 'a', 0x01, 0x00};
  AppendChecksum(coded, 4 * 'a');
  EXPECT_TRUE(DecodeDiscard(coded, 3));
}

TEST(Overflow, DestinationKeepsWhatWasProduced) {
  Bytes coded = {0x03, 'a', 'b', 0x01, 0x00};
  const Decoded result = DecodeMemory(coded, 4);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.bytes[0], 'a');
  EXPECT_EQ(result.bytes[1], 'b');
}

TEST(EndOfStream, ChecksumMissing) { ExpectFailure({0x01, 'a'}, 1, "LZW: end of stream", true); }

TEST(EndOfStream, ChecksumCut) { ExpectFailure({0x01, 'a', 0x61, 0x00}, 1, "LZW: end of stream", true); }

TEST(ChecksumMismatch, StoredSumDiffers) {
  Bytes coded = {0x01, 'a'};
  AppendChecksum(coded, 'a' + 1);
  ExpectFailure(coded, 1, "Checksum", true);
}

TEST(ChecksumMismatch, CorruptedLiteral) {
  const Bytes input = TextLike(3000, 12);
  Bytes coded = Encode(input);
  coded[1] ^= 0x01;  // the first literal
  ExpectFailure(coded, input.size(), "Checksum", true);
}

// ----------------------------------------------------------------------------------------------

// Every strict prefix of a valid block fails cleanly with one of the read messages.
TEST(Truncation, EveryPrefixFails) {
  Bytes input = TextLike(2500, 13);
  const Bytes noise = RandomBytes(500, 14);
  input.insert(input.end(), noise.begin(), noise.end());
  const Bytes coded = Encode(input);
  CaptureDiagnostics diagnostics;
  for (std::size_t cut = 0; cut < coded.size(); ++cut) {
    const Bytes prefix(coded.begin(), coded.begin() + std::ptrdiff_t(cut));
    diagnostics.lines.clear();
    ASSERT_FALSE(DecodeMemory(prefix, input.size()).ok) << cut;
    ASSERT_FALSE(DecodeStream(prefix, input.size()).ok) << cut;
    ASSERT_FALSE(DecodeDiscard(prefix, input.size())) << cut;
    const bool readMessage = diagnostics.Count("LZW: stream read failed") == 3 ||
                             diagnostics.Count("LZW: end of stream") == 3;
    ASSERT_TRUE(readMessage) << cut;
  }
}

// Every single-byte change either decodes or fails with a message; the forms agree on which.
TEST(Truncation, EveryByteCorruptionIsHandled) {
  const Bytes input = TextLike(600, 15);
  const Bytes coded = Encode(input);
  CaptureDiagnostics diagnostics;
  for (std::size_t at = 0; at < coded.size(); ++at) {
    for (std::uint8_t flip : {std::uint8_t(0x01), std::uint8_t(0x80), std::uint8_t(0xFF)}) {
      Bytes damaged = coded;
      damaged[at] ^= flip;
      const Decoded memory = DecodeMemory(damaged, input.size());
      const Decoded stream = DecodeStream(damaged, input.size());
      ASSERT_EQ(memory.ok, stream.ok) << at;
      ASSERT_EQ(memory.bytes, stream.bytes) << at;
    }
  }
}

}  // namespace
