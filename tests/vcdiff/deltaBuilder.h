#pragma once
// Builds VCDIFF deltas byte by byte for the decoder's tests: a header and windows whose instructions
// use the standard code table with sizes written out, so every field can be set or damaged on purpose.

#include <cstdint>
#include <string>

#include "vcdiff/adler32.h"

namespace vcdifftest {

inline std::string Varint(std::uint64_t value) {
  std::string bytes(1, static_cast<char>(value & 0x7F));
  while (value >>= 7) bytes.insert(bytes.begin(), static_cast<char>(0x80 | (value & 0x7F)));
  return bytes;
}

inline std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int value : values) bytes += static_cast<char>(value);
  return bytes;
}

// Magic, version 0, the header indicator and whatever the indicator announces.
inline std::string Header(std::uint8_t indicator = 0, const std::string& rest = "") {
  return Bytes({0xD6, 0xC3, 0xC4, 0x00, indicator}) + rest;
}

constexpr std::uint8_t kSource = 0x01;
constexpr std::uint8_t kTarget = 0x02;
constexpr std::uint8_t kChecksum = 0x04;

// Standard-table instruction codes with the size in the instruction section.
constexpr int kRunCode = 0;
constexpr int kAddCode = 1;
inline int CopyCode(int mode) { return 19 + 16 * mode; }

struct Window {
  std::uint8_t indicator = kChecksum;
  std::uint64_t segmentSize = 0;
  std::uint64_t segmentPosition = 0;
  std::uint8_t deltaIndicator = 0;
  std::string data, instructions, addresses;

  Window& From(std::uint8_t kind, std::uint64_t size, std::uint64_t position) {
    indicator |= kind;
    segmentSize = size;
    segmentPosition = position;
    return *this;
  }
  Window& Add(const std::string& bytes) {
    instructions += static_cast<char>(kAddCode) + Varint(bytes.size());
    data += bytes;
    return *this;
  }
  Window& Run(char byte, std::uint64_t size) {
    instructions += static_cast<char>(kRunCode) + Varint(size);
    data += byte;
    return *this;
  }
  // A COPY with its address given as such (mode SELF).
  Window& Copy(std::uint64_t size, std::uint64_t address) {
    instructions += static_cast<char>(CopyCode(0)) + Varint(size);
    addresses += Varint(address);
    return *this;
  }
  // A COPY in any mode, with the address section bytes given raw.
  Window& CopyMode(std::uint64_t size, int mode, const std::string& addressBytes) {
    instructions += static_cast<char>(CopyCode(mode)) + Varint(size);
    addresses += addressBytes;
    return *this;
  }
};

// The window's bytes for a target of `target`: its length and, when the indicator asks, its checksum.
inline std::string Encode(const Window& window, const std::string& target) {
  std::string body = Varint(target.size()) + static_cast<char>(window.deltaIndicator) +
                     Varint(window.data.size()) + Varint(window.instructions.size()) +
                     Varint(window.addresses.size());
  if (window.indicator & kChecksum) {
    const std::uint32_t adler =
        vcdiff::Adler32(1, reinterpret_cast<const std::uint8_t*>(target.data()), target.size());
    body += Bytes({static_cast<int>(adler >> 24), static_cast<int>((adler >> 16) & 0xFF),
                   static_cast<int>((adler >> 8) & 0xFF), static_cast<int>(adler & 0xFF)});
  }
  body += window.data + window.instructions + window.addresses;
  std::string bytes(1, static_cast<char>(window.indicator));
  if (window.indicator & (kSource | kTarget)) bytes += Varint(window.segmentSize) + Varint(window.segmentPosition);
  return bytes + Varint(body.size()) + body;
}

}  // namespace vcdifftest
