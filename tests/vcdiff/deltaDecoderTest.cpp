#include "vcdiff/deltaDecoder.h"

#include <gtest/gtest.h>

#include <string>

#include "vcdiff/codeTable.h"
#include "vcdiff/secondaryDecompressor.h"
#include "vcdiff/deltaBuilder.h"
#include "vcdiff/decodeInMemory.h"
#include "xz/xzBuilder.h"

using namespace vcdifftest;
using vcdiff::DecodeStatus;

namespace {

const std::string kAlphabet = "ABCDEFGHIJKLMNOP";

// A delta of two windows over kAlphabet, used by the sweeps.
std::string TwoWindowDelta(std::string* target) {
  Window first;
  first.From(kSource, 16, 0).Add("xy").Copy(4, 2).Run('z', 3).Copy(5, 10);
  Window second;
  second.From(kSource, 8, 8).Copy(8, 0).Add("!").Copy(6, 8);
  const std::string firstTarget = "xyCDEFzzzKLMNO";
  const std::string secondTarget = "IJKLMNOP!IJKLMN";
  *target = firstTarget + secondTarget;
  return Header() + Encode(first, firstTarget) + Encode(second, secondTarget);
}

void ExpectFailure(const Decoded& decoded, DecodeStatus status, const std::string& text) {
  EXPECT_FALSE(decoded.ok);
  EXPECT_EQ(decoded.error.status, status);
  EXPECT_NE(std::string(decoded.error.text).find(text), std::string::npos) << decoded.error.text;
}

}  // namespace

TEST(Instructions, AddRunAndCopyFromTheSource) {
  std::string target;
  const Decoded decoded = DecodeInMemory(TwoWindowDelta(&target), kAlphabet);
  ASSERT_TRUE(decoded.ok) << decoded.error.text;
  EXPECT_EQ(decoded.target, target);
}

TEST(Instructions, CopyOverlappingItsOutputRepeatsThePattern) {
  Window window;
  window.Add("ab").Copy(7, 0).Add("x").Copy(9, 9).Add("123").Copy(10, 19);
  const std::string target = "ababababa" "x" "xxxxxxxxx" "123" "1231231231";
  const Decoded decoded = DecodeInMemory(Header() + Encode(window, target), "");
  ASSERT_TRUE(decoded.ok) << decoded.error.text;
  EXPECT_EQ(decoded.target, target);
}

TEST(Instructions, CopyRunsFromTheSegmentIntoTheTarget) {
  Window window;
  window.From(kSource, 4, 0).Add("12").Copy(6, 2);  // U = "ABCD" + target
  const std::string target = "12CD12CD";
  const Decoded decoded = DecodeInMemory(Header() + Encode(window, target), "ABCD");
  ASSERT_TRUE(decoded.ok) << decoded.error.text;
  EXPECT_EQ(decoded.target, target);
}

TEST(Instructions, EveryAddressMode) {
  Window window;
  window.From(kSource, 16, 0)
      .Copy(2, 4)                      // SELF 4: "EF"; near[0] = 4
      .CopyMode(2, 1, Varint(18 - 8))  // HERE: 18 - 10 = 8: "IJ"; near[1] = 8
      .CopyMode(3, 2, Varint(6))       // near[0] + 6 = 10: "KLM"
      .CopyMode(1, 3, Varint(0))       // near[1] + 0 = 8: "I"
      .CopyMode(2, 6, Bytes({4}))      // same block 0, slot 4: address 4: "EF"
      .CopyMode(1, 8, Bytes({10}));    // same block 2, slot 10: never set, so address 0: "A"
  const std::string target = "EFIJKLMIEFA";
  const Decoded decoded = DecodeInMemory(Header() + Encode(window, target), kAlphabet);
  ASSERT_TRUE(decoded.ok) << decoded.error.text;
  EXPECT_EQ(decoded.target, target);
}

TEST(Instructions, DoubleInstructionCodes) {
  Window window;
  window.From(kSource, 16, 0);
  window.instructions = Bytes({163, 247});  // ADD 1 + COPY 4 (SELF); COPY 4 (SELF) + ADD 1
  window.data = "ab";
  window.addresses = Varint(0) + Varint(12);
  const std::string target = "aABCDMNOPb";
  const Decoded decoded = DecodeInMemory(Header() + Encode(window, target), kAlphabet);
  ASSERT_TRUE(decoded.ok) << decoded.error.text;
  EXPECT_EQ(decoded.target, target);
}

TEST(Windows, TargetWindowCopiesFromEarlierOutput) {
  Window first;
  first.Add("hello world");
  Window second;
  second.From(kTarget, 5, 6).Copy(5, 0).Add("!");
  const Decoded decoded = DecodeInMemory(Header() + Encode(first, "hello world") + Encode(second, "world!"), "");
  ASSERT_TRUE(decoded.ok) << decoded.error.text;
  EXPECT_EQ(decoded.target, "hello worldworld!");
}

TEST(Windows, TargetSegmentMustLieInEarlierOutput) {
  Window first;
  first.Add("hello");
  Window second;
  second.From(kTarget, 5, 3).Copy(5, 0);
  ExpectFailure(DecodeInMemory(Header() + Encode(first, "hello") + Encode(second, "lo"), ""),
                DecodeStatus::Corrupt, "window 1: segment at 3 of 5 bytes lies outside the target written so far");
}

TEST(Windows, HeaderOnlyDeltaAndEmptyWindowGiveEmptyOutput) {
  const Decoded headerOnly = DecodeInMemory(Header(), "");
  ASSERT_TRUE(headerOnly.ok) << headerOnly.error.text;
  EXPECT_EQ(headerOnly.target, "");
  const Decoded emptyWindow = DecodeInMemory(Header() + Encode(Window(), ""), "");
  ASSERT_TRUE(emptyWindow.ok) << emptyWindow.error.text;
  EXPECT_EQ(emptyWindow.target, "");
}

TEST(Windows, ApplicationHeaderIsSkipped) {
  Window window;
  window.Add("data");
  const Decoded decoded = DecodeInMemory(Header(0x04, Varint(6) + "b//a/x") + Encode(window, "data"), "");
  ASSERT_TRUE(decoded.ok) << decoded.error.text;
  EXPECT_EQ(decoded.target, "data");
}

// A code table that differs from the standard one in one size: code 5 adds 3 bytes instead of 4.
std::string CodeTableData(std::uint8_t nearSize, std::uint8_t sameSize, bool withOwnTable = false) {
  const int changed = 2 * 256 + 5;  // size1 of code 5
  Window window;
  window.From(kSource, vcdiff::kCodeTableStringSize, 0)
      .Copy(changed, 0)
      .Add(std::string(1, 3))
      .Copy(vcdiff::kCodeTableStringSize - changed - 1, changed + 1);
  std::uint8_t standard[vcdiff::kCodeTableStringSize];
  vcdiff::CodeTableToString(vcdiff::DefaultCodeTable(), standard);
  std::string table(reinterpret_cast<const char*>(standard), sizeof standard);
  table[changed] = 3;
  const std::string innerHeader = withOwnTable ? Header(0x02, Varint(2) + Bytes({4, 3})) : Header();
  const std::string data = Bytes({nearSize, sameSize}) + innerHeader + Encode(window, table);
  return Varint(data.size()) + data;
}

TEST(CodeTables, ApplicationDefinedTableIsUsed) {
  Window window;
  window.instructions = Bytes({5});
  window.data = "abc";
  const Decoded decoded = DecodeInMemory(Header(0x02, CodeTableData(4, 3)) + Encode(window, "abc"), "");
  ASSERT_TRUE(decoded.ok) << decoded.error.text;
  EXPECT_EQ(decoded.target, "abc");
}

TEST(CodeTables, UndefinedModeIsRejected) {
  // Without near and same caches only modes 0 and 1 exist, but the table copies in modes up to 8.
  ExpectFailure(DecodeInMemory(Header(0x02, CodeTableData(0, 0)), ""), DecodeStatus::Corrupt,
                "code table: code 51 uses the undefined address mode 2");
}

TEST(CodeTables, NestedTableIsRejected) {
  ExpectFailure(DecodeInMemory(Header(0x02, CodeTableData(4, 3, true)), ""), DecodeStatus::Corrupt,
                "code table: a code table's delta declares a code table of its own");
}

TEST(CodeTables, UnknownInstructionTypeIsRejected) {
  std::uint8_t table[vcdiff::kCodeTableStringSize];
  vcdiff::CodeTableToString(vcdiff::DefaultCodeTable(), table);
  table[7] = 4;
  vcdiff::CodeTable parsed;
  vcdiff::DecodeError error;
  EXPECT_FALSE(vcdiff::CodeTableFromString(table, 4, 3, &parsed, &error));
  EXPECT_STREQ(error.text, "code table: code 7 has the unknown instruction type 4");
}

TEST(BadHeader, MagicVersionAndIndicator) {
  ExpectFailure(DecodeInMemory("", ""), DecodeStatus::Corrupt, "not a VCDIFF delta");
  ExpectFailure(DecodeInMemory("PK\3\4xxxx", ""), DecodeStatus::Corrupt, "not a VCDIFF delta");
  ExpectFailure(DecodeInMemory(Bytes({0xD6, 0xC3, 0xC4, 0}), ""), DecodeStatus::Corrupt, "delta header is truncated");
  ExpectFailure(DecodeInMemory(Bytes({0xD6, 0xC3, 0xC4, 'S', 0}), ""), DecodeStatus::Unsupported,
                "VCDIFF version 83 is not supported");
  ExpectFailure(DecodeInMemory(Header(0x08), ""), DecodeStatus::Corrupt, "unknown indicator bits 0x08");
  ExpectFailure(DecodeInMemory(Header(0x04, Varint(100) + "short"), ""), DecodeStatus::Corrupt,
                "application header of 100 bytes runs past the end of the delta");
}

TEST(SecondaryCompression, OtherCompressorsAreDeclined) {
  ExpectFailure(DecodeInMemory(Header(0x01, Bytes({1})), ""), DecodeStatus::Unsupported,
                "secondary compressor 1 (DJW) is not supported");
  ExpectFailure(DecodeInMemory(Header(0x01, Bytes({16})), ""), DecodeStatus::Unsupported,
                "secondary compressor 16 (FGK) is not supported");
  // LZMA is expanded in every build.
  EXPECT_TRUE(vcdiff::SecondaryCompressorAvailable(vcdiff::kSecondaryLzma));
  const Decoded lzma = DecodeInMemory(Header(0x01, Bytes({2})), "");
  EXPECT_TRUE(lzma.ok) << lzma.error.text;
}

TEST(SecondaryCompression, CompressedSectionWithoutCompressor) {
  Window window;
  window.deltaIndicator = 0x01;
  window.Add("a");
  ExpectFailure(DecodeInMemory(Header() + Encode(window, "a"), ""), DecodeStatus::Corrupt,
                "window 0 has compressed sections but the delta names no compressor");
}

TEST(SecondaryCompression, DamagedLzmaSection) {
  Window window;
  window.deltaIndicator = 0x01;
  window.Add("abc");
  window.data = Varint(3) + "not an xz stream";
  ExpectFailure(DecodeInMemory(Header(0x01, Bytes({2})) + Encode(window, "abc"), ""), DecodeStatus::Corrupt,
                "window 0: data section: LZMA section is damaged");
  window.data = Varint(1000) + "x";  // more than the target
  ExpectFailure(DecodeInMemory(Header(0x01, Bytes({2})) + Encode(window, "abc"), ""), DecodeStatus::Corrupt,
                "compressed section declares 1000 bytes, more than the 3 allowed");
}

namespace {

std::string Text(const xztest::Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// The start of an .xz stream as the encoder begins each kind's: stream header (no check) and a block
// header with an LZMA2 filter; sections then carry LZMA2 chunks.
std::string XzStart() { return Text(xztest::StreamHeader(0)) + Text(xztest::Lzma2BlockHeader(0)); }

// A stored LZMA2 chunk (control 1 resets the dictionary, 2 continues).
std::string StoredChunk(int control, const std::string& bytes) {
  return Bytes({control, static_cast<int>((bytes.size() - 1) >> 8), static_cast<int>((bytes.size() - 1) & 0xFF)}) + bytes;
}

std::string LzmaDataWindow(const std::string& target, const std::string& compressed) {
  Window window;
  window.deltaIndicator = 0x01;
  window.Add(target);
  window.data = Varint(target.size()) + compressed;
  return Encode(window, target);
}

}  // namespace

// Every build expands LZMA sections; the data section's stream continues in the next window.
TEST(SecondaryCompression, LzmaStreamContinuesAcrossWindows) {
  const std::string delta = Header(0x01, Bytes({2})) + LzmaDataWindow("abc", XzStart() + StoredChunk(1, "abc")) +
                            LzmaDataWindow("de", StoredChunk(2, "de")) +
                            LzmaDataWindow("fgh", StoredChunk(2, "f") + StoredChunk(2, "gh"));
  const Decoded decoded = DecodeInMemory(delta, "");
  ASSERT_TRUE(decoded.ok) << decoded.error.text;
  EXPECT_EQ(decoded.target, "abcdefgh");
}

TEST(SecondaryCompression, LzmaSectionOfTheWrongSize) {
  const std::string first = Header(0x01, Bytes({2})) + LzmaDataWindow("abc", XzStart() + StoredChunk(1, "abc"));
  Window window;
  window.deltaIndicator = 0x01;
  window.Add("de");
  window.data = Varint(2) + StoredChunk(2, "de") + StoredChunk(2, "x");
  ExpectFailure(DecodeInMemory(first + Encode(window, "de"), ""), DecodeStatus::Corrupt,
                "window 1: data section: LZMA section expands past its declared 2 bytes");
  window.data = Varint(2) + StoredChunk(2, "d");
  ExpectFailure(DecodeInMemory(first + Encode(window, "de"), ""), DecodeStatus::Corrupt,
                "window 1: data section: LZMA section expands to 1 bytes instead of 2");
  // A stream that ends (end marker, check, index, footer) and is followed by more bytes.
  xztest::Stream ended = xztest::StoredStream({'d', 'e'}, 0);
  window.data = Varint(2) + Text(ended.Join()) + "more";
  ExpectFailure(DecodeInMemory(Header(0x01, Bytes({2})) + Encode(window, "de"), ""), DecodeStatus::Corrupt,
                "window 0: data section: LZMA section has 4 bytes that cannot be decoded");
  // A filter the decoder does not have is left to an external decoder.
  window.data = Varint(2) + Text(xztest::StreamHeader(0)) +
                Text(xztest::BlockHeaderOf({0x01, 0x04, 0x00, 0x21, 0x01, 0x00})) + StoredChunk(1, "de");
  ExpectFailure(DecodeInMemory(Header(0x01, Bytes({2})) + Encode(window, "de"), ""), DecodeStatus::Unsupported,
                "LZMA section needs what this decoder lacks: the filter 0x4 (x86 branch converter) is not supported");
}

TEST(BadWindow, IndicatorBits) {
  ExpectFailure(DecodeInMemory(Header() + Bytes({0x08}), ""), DecodeStatus::Corrupt,
                "window 0 has unknown indicator bits 0x08");
  ExpectFailure(DecodeInMemory(Header() + Bytes({0x03, 0, 0, 0}), ""), DecodeStatus::Corrupt,
                "window 0 copies from both the source and the target");
  Window window;
  window.deltaIndicator = 0x10;
  ExpectFailure(DecodeInMemory(Header() + Encode(window, ""), ""), DecodeStatus::Corrupt,
                "window 0 has unknown delta indicator bits 0x10");
}

TEST(ChecksumMismatch, DamagedTargetIsCaught) {
  Window window;
  window.Add("payload");
  std::string delta = Header() + Encode(window, "payloae");  // checksum of other bytes
  ExpectFailure(DecodeInMemory(delta, ""), DecodeStatus::Corrupt, "window 0: checksum mismatch");
}

TEST(LengthsPastEnd, SectionsAndEncoding) {
  ExpectFailure(DecodeInMemory(Header() + Bytes({0}) + Varint(1000) + "xx", ""), DecodeStatus::Corrupt,
                "window 0: encoding of 1000 bytes runs past the end of the delta");
  // Data section claims 50 bytes inside a window of a few.
  const std::string body = Varint(1) + Bytes({0}) + Varint(50) + Varint(2) + Varint(0) + "a" + Bytes({1, 1});
  ExpectFailure(DecodeInMemory(Header() + Bytes({0}) + Varint(body.size()) + body, ""), DecodeStatus::Corrupt,
                "window 0: data section of 50 bytes runs past the window");
  // Bytes after the sections, inside the declared encoding.
  const std::string padded = Varint(1) + Bytes({0}) + Varint(1) + Varint(2) + Varint(0) + "a" + Bytes({1, 1}) + "zz";
  ExpectFailure(DecodeInMemory(Header() + Bytes({0}) + Varint(padded.size()) + padded, ""), DecodeStatus::Corrupt,
                "window 0: 2 bytes follow the sections inside the window");
}

TEST(LengthsPastEnd, InstructionsPastTargetOrData) {
  Window run;
  run.Run('a', 10);
  ExpectFailure(DecodeInMemory(Header() + Encode(run, "aaaa"), ""), DecodeStatus::Corrupt,
                "window 0: instruction of 10 bytes at offset 0 runs past the target window of 4 bytes");
  Window add;
  add.Add("abcd");
  add.data = "ab";
  ExpectFailure(DecodeInMemory(Header() + Encode(add, "abcd"), ""), DecodeStatus::Corrupt,
                "window 0: ADD of 4 bytes runs past the data section");
  Window emptyRun;
  emptyRun.Run('a', 2);
  emptyRun.data.clear();
  ExpectFailure(DecodeInMemory(Header() + Encode(emptyRun, "aa"), ""), DecodeStatus::Corrupt,
                "window 0: RUN runs past the data section");
  Window shortWindow;
  shortWindow.Add("ab");
  ExpectFailure(DecodeInMemory(Header() + Encode(shortWindow, "abc"), ""), DecodeStatus::Corrupt,
                "window 0: instructions produce 2 bytes, the window declares 3");
  Window leftover;
  leftover.Add("ab");
  leftover.data += "cd";
  ExpectFailure(DecodeInMemory(Header() + Encode(leftover, "ab"), ""), DecodeStatus::Corrupt,
                "window 0: 2 data and 0 address bytes are left unused");
  Window sizeCut;
  sizeCut.instructions = Bytes({kAddCode});
  ExpectFailure(DecodeInMemory(Header() + Encode(sizeCut, "a"), ""), DecodeStatus::Corrupt,
                "window 0: instruction section ends inside a size");
}

TEST(AddressOutsideWindow, CopiesAndSegments) {
  Window ahead;
  ahead.From(kSource, 4, 0).Add("ab").Copy(1, 6);  // here is 6: address 6 is not yet written
  ExpectFailure(DecodeInMemory(Header() + Encode(ahead, "abx"), "ABCD"), DecodeStatus::Corrupt,
                "window 0: COPY at offset 2 has a bad or missing address (mode 0)");
  Window farBack;
  farBack.Add("ab").CopyMode(1, 1, Varint(3));  // HERE minus 3 from position 2
  ExpectFailure(DecodeInMemory(Header() + Encode(farBack, "abx"), ""), DecodeStatus::Corrupt,
                "COPY at offset 2 has a bad or missing address (mode 1)");
  Window missing;
  missing.Add("ab").Copy(1, 0);
  missing.addresses.clear();
  ExpectFailure(DecodeInMemory(Header() + Encode(missing, "aba"), ""), DecodeStatus::Corrupt,
                "has a bad or missing address");
  Window outside;
  outside.From(kSource, 8, 12).Copy(8, 0);
  ExpectFailure(DecodeInMemory(Header() + Encode(outside, "MNOPxxxx"), kAlphabet), DecodeStatus::Corrupt,
                "window 0: segment at 12 of 8 bytes lies outside the source (16 bytes)");
  Window noSource;
  noSource.From(kSource, 4, 0).Copy(4, 0);
  ExpectFailure(DecodeInMemory(Header() + Encode(noSource, "ABCD"), kAlphabet, false), DecodeStatus::Corrupt,
                "window 0 copies from a source file, but none was given");
}

TEST(HugeDeclaredSizes, AreRejectedBeforeAllocating) {
  // Target window of 2^40 bytes.
  const std::string body = Varint(1ull << 40) + Bytes({0}) + Varint(0) + Varint(0) + Varint(0);
  ExpectFailure(DecodeInMemory(Header() + Bytes({0}) + Varint(body.size()) + body, ""), DecodeStatus::Corrupt,
                "window 0: target window of 1099511627776 bytes is larger than allowed");
  // Encoding size near 2^63, and an integer too long for 64 bits.
  ExpectFailure(DecodeInMemory(Header() + Bytes({0}) + Varint(1ull << 62), ""), DecodeStatus::Corrupt,
                "runs past the end of the delta");
  ExpectFailure(DecodeInMemory(Header() + Bytes({0}) + std::string(11, '\xFF') + Bytes({1}), ""),
                DecodeStatus::Corrupt, "window 0: header is truncated");
  // A segment far past the source's end.
  Window window;
  window.From(kSource, ~0ull >> 1, ~0ull >> 2).Copy(1, 0);
  ExpectFailure(DecodeInMemory(Header() + Encode(window, "A"), kAlphabet), DecodeStatus::Corrupt,
                "lies outside the source");
}

TEST(TruncatedWindow, EveryPrefixFailsOrStopsAtAWindowBoundary) {
  std::string target;
  const std::string delta = TwoWindowDelta(&target);
  for (std::size_t size = 0; size < delta.size(); ++size) {
    const Decoded decoded = DecodeInMemory(delta.substr(0, size), kAlphabet);
    if (decoded.ok) {
      // Only a cut between windows decodes: the output is then a whole-window prefix.
      EXPECT_TRUE(decoded.target == "" || decoded.target == target.substr(0, 14)) << size;
    } else {
      EXPECT_EQ(decoded.error.status, DecodeStatus::Corrupt) << size;
    }
  }
}

TEST(CorruptByte, EveryValueAtEveryPositionFailsCleanlyOrDecodes) {
  std::string target;
  const std::string delta = TwoWindowDelta(&target);
  int failures = 0;
  for (std::size_t position = 0; position < delta.size(); ++position) {
    for (int value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
      std::string damaged = delta;
      if (damaged[position] == static_cast<char>(value)) continue;
      damaged[position] = static_cast<char>(value);
      const Decoded decoded = DecodeInMemory(damaged, kAlphabet);
      if (!decoded.ok) {
        ++failures;
        EXPECT_NE(decoded.error.text[0], 0);
      }
    }
  }
  EXPECT_GT(failures, 0);
}
