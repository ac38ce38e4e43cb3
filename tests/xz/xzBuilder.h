#pragma once
// Builds .xz streams byte by byte for tests that need exact control (damaged headers, odd sizes,
// every check type) and for builds without an encoder: LZMA2 data made of stored chunks, with the
// container's sizes, CRCs and checks computed here.

#include <cstdint>
#include <string>
#include <vector>

#include "xz/integrityCheck.h"

namespace xztest {

using Bytes = std::vector<std::uint8_t>;

inline void Append(Bytes& to, const Bytes& bytes) {
  const std::size_t old = to.size();
  to.resize(old + bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) to[old + i] = bytes[i];
}

inline void AppendLe32(Bytes& to, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) to.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// The container's variable-length integer.
inline Bytes Integer(std::uint64_t value) {
  Bytes bytes;
  while (value >= 0x80) {
    bytes.push_back(static_cast<std::uint8_t>(value | 0x80));
    value >>= 7;
  }
  bytes.push_back(static_cast<std::uint8_t>(value));
  return bytes;
}

inline Bytes StreamHeader(unsigned check) {
  Bytes bytes = {0xFD, '7', 'z', 'X', 'Z', 0x00, 0x00, static_cast<std::uint8_t>(check)};
  AppendLe32(bytes, xz::Crc32(0, bytes.data() + 6, 2));
  return bytes;
}

// A block header around `fields` (flags byte onwards, without padding): size byte, zero padding
// to a multiple of four, CRC-32.
inline Bytes BlockHeaderOf(const Bytes& fields) {
  Bytes bytes = {0};
  Append(bytes, fields);
  while ((bytes.size() + 4) % 4 != 0) bytes.push_back(0);
  bytes[0] = static_cast<std::uint8_t>((bytes.size() + 4) / 4 - 1);
  AppendLe32(bytes, xz::Crc32(0, bytes.data(), bytes.size()));
  return bytes;
}

// One LZMA2 filter with dictionary byte `dictionary`, optionally with the block's sizes.
inline Bytes Lzma2BlockHeader(std::uint8_t dictionary = 0, std::int64_t compressed = -1,
                              std::int64_t uncompressed = -1) {
  Bytes fields = {static_cast<std::uint8_t>((compressed >= 0 ? 0x40 : 0) | (uncompressed >= 0 ? 0x80 : 0))};
  if (compressed >= 0) Append(fields, Integer(static_cast<std::uint64_t>(compressed)));
  if (uncompressed >= 0) Append(fields, Integer(static_cast<std::uint64_t>(uncompressed)));
  Append(fields, {0x21, 0x01, dictionary});
  return BlockHeaderOf(fields);
}

// LZMA2 data of stored chunks (at most 64 KiB each), the first resetting the dictionary, and the
// end marker.
inline Bytes StoredLzma2(const Bytes& data, bool endMarker = true) {
  Bytes bytes;
  for (std::size_t pos = 0; pos < data.size(); pos += 65536) {
    const std::size_t size = data.size() - pos < 65536 ? data.size() - pos : 65536;
    bytes.push_back(pos == 0 ? 0x01 : 0x02);
    bytes.push_back(static_cast<std::uint8_t>((size - 1) >> 8));
    bytes.push_back(static_cast<std::uint8_t>(size - 1));
    bytes.insert(bytes.end(), data.begin() + static_cast<std::ptrdiff_t>(pos),
                 data.begin() + static_cast<std::ptrdiff_t>(pos + size));
  }
  if (endMarker) bytes.push_back(0x00);
  return bytes;
}

inline Bytes CheckOf(unsigned check, const Bytes& data) {
  Bytes bytes(xz::CheckSize(check));
  xz::BlockCheck computed;
  computed.Start(check);
  computed.Update(data.data(), data.size());
  computed.Finish(bytes.data());
  return bytes;
}

struct Record {
  std::uint64_t unpadded;
  std::uint64_t uncompressed;
};

inline Bytes Index(const std::vector<Record>& records) {
  Bytes bytes = {0x00};
  Append(bytes, Integer(records.size()));
  for (const Record& record : records) {
    Append(bytes, Integer(record.unpadded));
    Append(bytes, Integer(record.uncompressed));
  }
  while (bytes.size() % 4 != 0) bytes.push_back(0);
  AppendLe32(bytes, xz::Crc32(0, bytes.data(), bytes.size()));
  return bytes;
}

inline Bytes StreamFooter(unsigned check, std::size_t indexSize) {
  Bytes tail;
  AppendLe32(tail, static_cast<std::uint32_t>(indexSize / 4 - 1));
  tail.push_back(0x00);
  tail.push_back(static_cast<std::uint8_t>(check));
  Bytes bytes;
  AppendLe32(bytes, xz::Crc32(0, tail.data(), tail.size()));
  Append(bytes, tail);
  bytes.push_back('Y');
  bytes.push_back('Z');
  return bytes;
}

// The parts of a whole stream, so that tests can change one and reassemble.
struct Stream {
  Bytes header, blockHeader, data, padding, check, index, footer;
  Bytes Join() const {
    Bytes all = header;
    for (const Bytes* part : {&blockHeader, &data, &padding, &check, &index, &footer}) Append(all, *part);
    return all;
  }
};

// A one-block stream of `data` in stored chunks.
inline Stream StoredStream(const Bytes& data, unsigned check, std::uint8_t dictionary = 0) {
  Stream s;
  s.header = StreamHeader(check);
  s.blockHeader = Lzma2BlockHeader(dictionary);
  s.data = StoredLzma2(data);
  s.padding.assign((4 - s.data.size() % 4) % 4, 0);
  s.check = CheckOf(check, data);
  s.index = Index({{s.blockHeader.size() + s.data.size() + s.check.size(), data.size()}});
  s.footer = StreamFooter(check, s.index.size());
  return s;
}

}  // namespace xztest
