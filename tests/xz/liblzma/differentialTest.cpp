// Our decoder against liblzma on streams liblzma writes: every preset, the check types, custom
// LZMA2 properties, multi-block and flushed streams, stored chunks, input and output in small pieces,
// and damaged streams, where both must agree on what is accepted and what it decodes to.

#include <gtest/gtest.h>
#include <lzma.h>

#include <cstring>
#include <string>

#include "xz/integrityCheck.h"
#include "xz/xzDecoder.h"
#include "xz/xzTestSupport.h"

namespace {

std::string Describe(Content kind, std::size_t size) {
  static const char* const kNames[] = {"text", "random", "mixed", "zeros", "repeats"};
  return std::string(kNames[static_cast<int>(kind)]) + " of " + std::to_string(size) + " bytes";
}

Bytes EncodeEasy(const Bytes& input, std::uint32_t preset, lzma_check check) {
  Bytes out(lzma_stream_buffer_bound(input.size()));
  std::size_t outPos = 0;
  const lzma_ret ret = lzma_easy_buffer_encode(preset, check, nullptr, input.data(), input.size(), out.data(),
                                               &outPos, out.size());
  EXPECT_EQ(ret, LZMA_OK);
  out.resize(outPos);
  return out;
}

lzma_options_lzma Lzma2Options(std::uint32_t preset, std::uint32_t lc, std::uint32_t lp, std::uint32_t pb) {
  lzma_options_lzma options;
  EXPECT_FALSE(lzma_lzma_preset(&options, preset));
  options.lc = lc;
  options.lp = lp;
  options.pb = pb;
  return options;
}

Bytes EncodeFilters(const Bytes& input, lzma_options_lzma* options, lzma_check check) {
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA2, options}, {LZMA_VLI_UNKNOWN, nullptr}};
  Bytes out(lzma_stream_buffer_bound(input.size()));
  std::size_t outPos = 0;
  EXPECT_EQ(lzma_stream_buffer_encode(filters, check, nullptr, input.data(), input.size(), out.data(), &outPos,
                                      out.size()),
            LZMA_OK);
  out.resize(outPos);
  return out;
}

// Streams written piece by piece with lzma_code, flushing after each piece as `action` says
// (LZMA_SYNC_FLUSH ends the chunk, LZMA_FULL_FLUSH the block).
Bytes EncodeFlushed(const Bytes& input, std::size_t piece, lzma_action action, std::uint32_t preset) {
  lzma_stream stream = LZMA_STREAM_INIT;
  EXPECT_EQ(lzma_easy_encoder(&stream, preset, LZMA_CHECK_CRC64), LZMA_OK);
  Bytes out(lzma_stream_buffer_bound(input.size()) + input.size() / 8 + 4096);
  stream.next_out = out.data();
  stream.avail_out = out.size();
  std::size_t pos = 0;
  do {
    const std::size_t take = std::min(piece, input.size() - pos);
    stream.next_in = input.data() + pos;
    stream.avail_in = take;
    pos += take;
    const lzma_action now = pos == input.size() ? LZMA_FINISH : action;
    // Flushing and finishing end with LZMA_STREAM_END once complete.
    lzma_ret ret;
    do ret = lzma_code(&stream, now); while (ret == LZMA_OK);
    EXPECT_EQ(ret, LZMA_STREAM_END);
  } while (pos < input.size());
  out.resize(out.size() - stream.avail_out);
  lzma_end(&stream);
  return out;
}

// liblzma's verdict on a stream: decoded bytes, or failure.
struct Verdict {
  bool ok = false;
  Bytes output;
};

Verdict LiblzmaDecode(const Bytes& stream, std::uint32_t flags = 0) {
  lzma_stream decoder = LZMA_STREAM_INIT;
  Verdict verdict;
  if (lzma_stream_decoder(&decoder, xz::kDefaultMemoryLimit, flags) != LZMA_OK) return verdict;
  Bytes out(1 << 16);
  decoder.next_in = stream.data();
  decoder.avail_in = stream.size();
  lzma_ret ret = LZMA_OK;
  while (ret == LZMA_OK) {
    if (decoder.total_out == out.size()) out.resize(out.size() * 2);
    decoder.next_out = out.data() + decoder.total_out;
    decoder.avail_out = out.size() - decoder.total_out;
    ret = lzma_code(&decoder, LZMA_FINISH);
  }
  out.resize(decoder.total_out);
  verdict.ok = ret == LZMA_STREAM_END;
  verdict.output = out;
  lzma_end(&decoder);
  return verdict;
}

void ExpectDecodes(const Bytes& stream, const Bytes& expected, const std::string& what) {
  const Decoded decoded = DecodeXz(stream);
  ASSERT_EQ(decoded.status, xz::XzStatus::StreamEnd) << what << ": " << decoded.text;
  EXPECT_EQ(decoded.inputUsed, stream.size()) << what;
  EXPECT_TRUE(decoded.output == expected) << what << ": output differs";
}

const Content kKinds[] = {Content::Text, Content::Random, Content::Mixed, Content::Zeros, Content::ShortRepeats};

}  // namespace

TEST(Liblzma, EveryPresetAndKind) {
  for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{200}, std::size_t{70000}}) {
    for (Content kind : kKinds) {
      const Bytes input = MakeContent(kind, size, size * 31 + static_cast<int>(kind));
      for (std::uint32_t preset = 0; preset <= 9; ++preset) {
        for (std::uint32_t extreme : {0u, static_cast<std::uint32_t>(LZMA_PRESET_EXTREME)}) {
          if (extreme && size > 1000 && preset % 3 != 0) continue;  // extreme is slow to encode
          ExpectDecodes(EncodeEasy(input, preset | extreme, LZMA_CHECK_CRC64), input,
                        Describe(kind, size) + ", preset " + std::to_string(preset) + (extreme ? "e" : ""));
        }
      }
    }
  }
}

TEST(Liblzma, LargeMixedInputsWithManyChunks) {
  // Several MiB: chunks of up to 2 MiB output, stored chunks for the random stretches, matches that
  // reach back across chunks, and a dictionary that wraps (preset 0 has 256 KiB).
  for (std::uint32_t preset : {0u, 1u, 6u}) {
    const Bytes input = MakeContent(Content::Mixed, (5u << 20) + 12345, preset);
    ExpectDecodes(EncodeEasy(input, preset, LZMA_CHECK_CRC32), input, "5 MiB mixed, preset " + std::to_string(preset));
  }
  const Bytes text = MakeContent(Content::Text, 3u << 20, 77);
  ExpectDecodes(EncodeEasy(text, 9, LZMA_CHECK_SHA256), text, "3 MiB text, preset 9");
}

TEST(Liblzma, CheckTypes) {
  const Bytes input = MakeContent(Content::Mixed, 100000, 5);
  const struct {
    lzma_check check;
    unsigned type;
  } checks[] = {{LZMA_CHECK_NONE, xz::kCheckNone},
                {LZMA_CHECK_CRC32, xz::kCheckCrc32},
                {LZMA_CHECK_CRC64, xz::kCheckCrc64},
                {LZMA_CHECK_SHA256, xz::kCheckSha256}};
  for (const auto& check : checks) {
    const Bytes stream = EncodeEasy(input, 6, check.check);
    ExpectDecodes(stream, input, "check " + std::to_string(check.type));
    xz::XzDecoder decoder;
    std::size_t inPos = 0, outPos = 0;
    Bytes out(input.size());
    EXPECT_EQ(decoder.Decode(stream.data(), stream.size(), &inPos, out.data(), out.size(), &outPos),
              xz::XzStatus::StreamEnd);
    EXPECT_EQ(decoder.CheckType(), check.type);
    // A changed byte of the check is caught.
    if (check.check != LZMA_CHECK_NONE) {
      Bytes damaged = stream;
      const std::size_t checkEnd = damaged.size() - 12 - 4 * ((damaged[damaged.size() - 8] | damaged[damaged.size() - 7] << 8) + 1);
      damaged[checkEnd - 1] ^= 0x01;
      const Decoded decoded = DecodeXz(damaged);
      EXPECT_EQ(decoded.status, xz::XzStatus::Corrupt);
      EXPECT_NE(decoded.text.find("does not match its data"), std::string::npos) << decoded.text;
    }
  }
}

TEST(Liblzma, LiteralAndPositionBits) {
  // Every lc/lp combination LZMA2 allows with several pb, on inputs whose structure rewards them.
  const Bytes input = MakeContent(Content::Mixed, 150000, 9);
  Bytes aligned(120000);
  for (std::size_t i = 0; i < aligned.size(); ++i) aligned[i] = static_cast<std::uint8_t>((i % 4 == 0) ? i / 4 : i % 4 * 37);
  for (std::uint32_t lc = 0; lc <= 4; ++lc) {
    for (std::uint32_t lp = 0; lc + lp <= 4; ++lp) {
      for (std::uint32_t pb : {0u, 2u, 4u}) {
        const std::string what = "lc " + std::to_string(lc) + " lp " + std::to_string(lp) + " pb " + std::to_string(pb);
        lzma_options_lzma options = Lzma2Options(lc % 2 ? 1 : 6, lc, lp, pb);
        ExpectDecodes(EncodeFilters(input, &options, LZMA_CHECK_CRC32), input, what);
        ExpectDecodes(EncodeFilters(aligned, &options, LZMA_CHECK_CRC64), aligned, what + " aligned");
      }
    }
  }
}

TEST(Liblzma, RawLzma2Streams) {
  const Bytes input = MakeContent(Content::Mixed, 300000, 11);
  for (std::uint32_t preset : {0u, 3u, 6u}) {
    lzma_options_lzma options = Lzma2Options(preset, 3, 0, 2);
    options.dict_size = 1u << 16;  // smaller than the input: the dictionary wraps
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    Bytes raw(input.size() + input.size() / 8 + 1024);
    std::size_t rawSize = 0;
    ASSERT_EQ(lzma_raw_buffer_encode(filters, nullptr, input.data(), input.size(), raw.data(), &rawSize, raw.size()),
              LZMA_OK);
    raw.resize(rawSize);
    const Decoded decoded = DecodeLzma2(raw, options.dict_size);
    ASSERT_EQ(decoded.status, xz::XzStatus::StreamEnd) << decoded.text;
    EXPECT_EQ(decoded.inputUsed, raw.size());
    EXPECT_TRUE(decoded.output == input);
    // Pieces of odd sizes on both sides.
    const Decoded pieces = DecodeLzma2(raw, options.dict_size, 997, 1234);
    ASSERT_EQ(pieces.status, xz::XzStatus::StreamEnd) << pieces.text;
    EXPECT_TRUE(pieces.output == input);
  }
}

TEST(Liblzma, FlushedAndMultiBlockStreams) {
  const Bytes input = MakeContent(Content::Mixed, 400000, 13);
  // Sync flushes end a chunk after each piece, as the delta encoder does after every section;
  // full flushes end the block, so the index lists many blocks.
  for (lzma_action action : {LZMA_SYNC_FLUSH, LZMA_FULL_FLUSH}) {
    for (std::size_t piece : {std::size_t{1000}, std::size_t{65536}, std::size_t{100001}}) {
      ExpectDecodes(EncodeFlushed(input, piece, action, 6), input,
                    std::string(action == LZMA_SYNC_FLUSH ? "sync" : "full") + " flush every " + std::to_string(piece));
    }
  }
  // The multithreaded encoder writes blocks that declare their sizes in the block header.
  lzma_mt mt{};
  mt.threads = 2;
  mt.block_size = 50000;
  mt.preset = 3;
  mt.check = LZMA_CHECK_CRC32;
  lzma_stream stream = LZMA_STREAM_INIT;
  ASSERT_EQ(lzma_stream_encoder_mt(&stream, &mt), LZMA_OK);
  Bytes out(lzma_stream_buffer_bound(input.size()) + 65536);
  stream.next_in = input.data();
  stream.avail_in = input.size();
  stream.next_out = out.data();
  stream.avail_out = out.size();
  lzma_ret ret;
  do ret = lzma_code(&stream, LZMA_FINISH); while (ret == LZMA_OK);
  ASSERT_EQ(ret, LZMA_STREAM_END);
  out.resize(out.size() - stream.avail_out);
  lzma_end(&stream);
  ExpectDecodes(out, input, "multithreaded blocks");
}

TEST(Liblzma, PiecesOfEverySmallSize) {
  const Bytes input = MakeContent(Content::Mixed, 20000, 17);
  for (lzma_check check : {LZMA_CHECK_CRC32, LZMA_CHECK_SHA256}) {
    const Bytes stream = EncodeFlushed(input, 3000, LZMA_SYNC_FLUSH, 6);
    const Bytes other = EncodeEasy(input, 1, check);
    for (std::size_t inPiece = 1; inPiece <= 17; ++inPiece) {
      for (std::size_t outPiece : {std::size_t{1}, std::size_t{2}, std::size_t{3}, inPiece, std::size_t{4096}}) {
        for (const Bytes* s : {&stream, &other}) {
          const Decoded decoded = DecodeXz(*s, inPiece, outPiece);
          ASSERT_EQ(decoded.status, xz::XzStatus::StreamEnd) << inPiece << "/" << outPiece << ": " << decoded.text;
          ASSERT_TRUE(decoded.output == input) << inPiece << "/" << outPiece;
        }
      }
    }
  }
}

TEST(Liblzma, ConcatenatedStreamsAndPadding) {
  const Bytes a = MakeContent(Content::Text, 5000, 1);
  const Bytes b = MakeContent(Content::Mixed, 7000, 2);
  Bytes both = EncodeEasy(a, 6, LZMA_CHECK_CRC64);
  both.insert(both.end(), 8, 0);
  const Bytes second = EncodeEasy(b, 2, LZMA_CHECK_CRC32);
  both.insert(both.end(), second.begin(), second.end());
  both.insert(both.end(), 4, 0);
  xz::XzOptions options;
  options.concatenated = true;
  for (std::size_t piece : {std::size_t{1}, std::size_t{5}, SIZE_MAX}) {
    const Decoded decoded = DecodeXz(both, piece, SIZE_MAX, options);
    ASSERT_EQ(decoded.status, xz::XzStatus::StreamEnd) << decoded.text;
    Bytes expected = a;
    expected.insert(expected.end(), b.begin(), b.end());
    EXPECT_TRUE(decoded.output == expected);
    EXPECT_TRUE(LiblzmaDecode(both, LZMA_CONCATENATED).output == expected);
  }
  // A single-stream decoder stops after the first footer and leaves the rest unread.
  const Decoded single = DecodeXz(both);
  EXPECT_EQ(single.status, xz::XzStatus::StreamEnd);
  EXPECT_TRUE(single.output == a);
  EXPECT_EQ(single.inputUsed, both.size() - 8 - second.size() - 4);
  // Padding that is not a multiple of four is refused.
  Bytes badPadding = both;
  badPadding.pop_back();
  const Decoded bad = DecodeXz(badPadding, SIZE_MAX, SIZE_MAX, options);
  EXPECT_EQ(bad.status, xz::XzStatus::Corrupt);
  EXPECT_EQ(bad.text, "the stream padding is not a multiple of four bytes");
  EXPECT_FALSE(LiblzmaDecode(badPadding, LZMA_CONCATENATED).ok);
}

TEST(Liblzma, DamagedStreamsAgreeWithLiblzma) {
  // Every single-byte change of small streams (header, block header, chunk headers, LZMA data,
  // check, index, footer): when liblzma accepts the result we decode the same bytes, and when it
  // refuses so do we.
  const Bytes input = MakeContent(Content::Mixed, 3000, 23);
  int disagreements = 0;
  for (lzma_check check : {LZMA_CHECK_CRC32, LZMA_CHECK_CRC64, LZMA_CHECK_NONE}) {
    const Bytes stream = EncodeEasy(input, 6, check);
    for (std::size_t i = 0; i < stream.size(); ++i) {
      for (std::uint8_t flip : {0x01, 0x80, 0xFF}) {
        Bytes damaged = stream;
        damaged[i] ^= flip;
        const Verdict theirs = LiblzmaDecode(damaged);
        const Decoded ours = DecodeXz(damaged);
        const bool oursOk = ours.status == xz::XzStatus::StreamEnd;
        if (oursOk != theirs.ok || (oursOk && ours.output != theirs.output)) {
          if (++disagreements < 10) {
            ADD_FAILURE() << "byte " << i << " ^ " << int(flip) << " of " << stream.size() << ": liblzma "
                          << (theirs.ok ? "accepts" : "refuses") << ", we " << (oursOk ? "accept" : "refuse: ")
                          << ours.text;
          }
        }
        if (!oursOk) {
          EXPECT_FALSE(ours.text.empty());
        }
      }
    }
  }
  EXPECT_EQ(disagreements, 0);
}

TEST(Liblzma, EveryTruncationIsRefused) {
  const Bytes input = MakeContent(Content::Mixed, 5000, 29);
  const Bytes stream = EncodeEasy(input, 6, LZMA_CHECK_CRC64);
  for (std::size_t size = 0; size < stream.size(); ++size) {
    const Bytes prefix(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(size));
    const Decoded decoded = DecodeXz(prefix);
    ASSERT_EQ(decoded.status, xz::XzStatus::Corrupt) << size;
    EXPECT_TRUE(decoded.text == "the stream is truncated" || decoded.text == "the input holds no .xz stream")
        << size << ": " << decoded.text;
  }
}

TEST(Liblzma, MemoryLimit) {
  const Bytes input = MakeContent(Content::Text, 1000, 31);
  const Bytes stream = EncodeEasy(input, 9, LZMA_CHECK_CRC32);  // a 64 MiB dictionary
  xz::XzOptions options;
  options.memoryLimit = 32u << 20;
  const Decoded decoded = DecodeXz(stream, SIZE_MAX, SIZE_MAX, options);
  EXPECT_EQ(decoded.status, xz::XzStatus::MemoryLimit);
  EXPECT_NE(decoded.text.find("more than the 32768 KiB allowed"), std::string::npos) << decoded.text;
  // Within the limit the buffer grows only as far as the data needs.
  ExpectDecodes(stream, input, "preset 9 within the limit");
}
