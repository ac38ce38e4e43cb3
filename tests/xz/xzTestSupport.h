#pragma once
// Shared by the .xz decoder tests: generated inputs, and decoding a whole stream with input and
// output handed over in pieces of given sizes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "xz/lzma2Decoder.h"
#include "xz/xzDecoder.h"

using Bytes = std::vector<std::uint8_t>;

enum class Content { Text, Random, Mixed, Zeros, ShortRepeats };

// Inputs that exercise literals, short and long matches, repeated distances and stored chunks.
inline Bytes MakeContent(Content kind, std::size_t size, std::uint64_t seed) {
  std::mt19937_64 random(seed);
  Bytes bytes;
  bytes.reserve(size);
  std::vector<std::string> words;
  for (int i = 0; i < 300; ++i) {
    std::string word;
    for (int j = 0, n = 2 + static_cast<int>(random() % 9); j < n; ++j) word += static_cast<char>('a' + random() % 26);
    words.push_back(word);
  }
  while (bytes.size() < size) {
    Content piece = kind;
    if (kind == Content::Mixed) piece = static_cast<Content>(random() % 5);
    switch (piece) {
      case Content::Text: {
        const std::string& word = words[random() % words.size()];
        bytes.insert(bytes.end(), word.begin(), word.end());
        bytes.push_back(random() % 8 == 0 ? '\n' : ' ');
        break;
      }
      case Content::Random:
        for (int i = 0, n = kind == Content::Mixed ? 1 + static_cast<int>(random() % 3000) : 4096; i < n; ++i) {
          bytes.push_back(static_cast<std::uint8_t>(random()));
        }
        break;
      case Content::Zeros:
        bytes.insert(bytes.end(), kind == Content::Mixed ? random() % 5000 : 4096, 0);
        break;
      default: {
        // A short pattern repeated, with a changed byte now and then (repeated-distance matches).
        std::uint8_t pattern[7];
        const std::size_t length = 1 + random() % 7;
        for (std::size_t i = 0; i < length; ++i) pattern[i] = static_cast<std::uint8_t>(random());
        for (int i = 0, n = 50 + static_cast<int>(random() % 400); i < n; ++i) {
          bytes.push_back(random() % 97 == 0 ? static_cast<std::uint8_t>(random()) : pattern[i % length]);
        }
      }
    }
  }
  bytes.resize(size);
  return bytes;
}

struct Decoded {
  xz::XzStatus status = xz::XzStatus::Ok;
  std::string text;
  Bytes output;
  std::size_t inputUsed = 0;
};

// Decodes `stream` handing over at most `inPiece` input bytes and `outPiece` bytes of output room
// per call, then finishes. The status is StreamEnd for a complete stream.
inline Decoded DecodeXz(const Bytes& stream, std::size_t inPiece = SIZE_MAX, std::size_t outPiece = SIZE_MAX,
                        const xz::XzOptions& options = xz::XzOptions()) {
  xz::XzDecoder decoder(options);
  Decoded result;
  std::size_t inPos = 0;
  std::size_t outPos = 0;
  const std::size_t outStep = outPiece == SIZE_MAX ? std::max<std::size_t>(stream.size() * 4, 1 << 16) : outPiece;
  for (;;) {
    const std::size_t inEnd = stream.size() - inPos > inPiece ? inPos + inPiece : stream.size();
    if (result.output.size() - outPos < outStep) result.output.resize(outPos + outStep);
    const std::size_t outEnd = outPos + outStep;
    const std::size_t inBefore = inPos;
    const std::size_t outBefore = outPos;
    result.status = decoder.Decode(stream.data(), inEnd, &inPos, result.output.data(), outEnd, &outPos);
    if (result.status != xz::XzStatus::Ok) break;
    if (inPos == stream.size() && outPos < outEnd) {
      result.status = decoder.Finish();
      break;
    }
    if (inPos == inBefore && outPos == outBefore) {
      result.status = xz::XzStatus::Corrupt;
      result.text = "no progress";
      result.output.resize(outPos);
      return result;
    }
  }
  result.text = decoder.Error().text;
  result.output.resize(outPos);
  result.inputUsed = inPos;
  return result;
}

// A raw LZMA2 stream with the given dictionary size, in pieces like DecodeXz.
inline Decoded DecodeLzma2(const Bytes& stream, std::uint32_t dictionarySize, std::size_t inPiece = SIZE_MAX,
                           std::size_t outPiece = SIZE_MAX) {
  xz::Lzma2Decoder decoder;
  xz::XzError error;
  Decoded result;
  result.status = decoder.Start(dictionarySize, xz::kDefaultMemoryLimit, &error);
  std::size_t inPos = 0;
  std::size_t outPos = 0;
  const std::size_t outStep = outPiece == SIZE_MAX ? std::max<std::size_t>(stream.size() * 4, 1 << 16) : outPiece;
  while (result.status == xz::XzStatus::Ok) {
    const std::size_t inEnd = stream.size() - inPos > inPiece ? inPos + inPiece : stream.size();
    if (result.output.size() - outPos < outStep) result.output.resize(outPos + outStep);
    const std::size_t outEnd = outPos + outStep;
    const std::size_t inBefore = inPos;
    const std::size_t outBefore = outPos;
    result.status = decoder.Decode(stream.data(), inEnd, &inPos, result.output.data(), outEnd, &outPos, &error);
    if (result.status == xz::XzStatus::Ok && inPos == inBefore && outPos == outBefore) {
      result.status = xz::XzStatus::Corrupt;
      std::snprintf(error.text, sizeof error.text, "truncated");
    }
  }
  result.text = error.text;
  result.output.resize(outPos);
  result.inputUsed = inPos;
  return result;
}
