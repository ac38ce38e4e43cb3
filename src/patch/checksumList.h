#pragma once
// Checksum lists: one per game version, naming every file of a correct installation with its
// CRC-32. Plain text, a record per line ending in a line feed ("\r\n" accepted):
//
//   [+]RELATIVE\PATH[.#TAG] CRC [CRC ...]
//
// "+" marks a tolerated file (missing or different is only a warning). Checksums are hexadecimal
// (either case, "0x" allowed); any of them is accepted. Lines without a blank are ignored, and so is
// text after the last line feed.

#include <cstdint>
#include <string>
#include <vector>

namespace patch {

struct ChecksumRecord {
  std::string name;  // relative path, without "+" and without a distribution suffix
  std::int32_t rank = 0;  // position of the line's distribution in the acceptable list; kNoRank without
  std::vector<std::uint32_t> checksums;
  bool tolerated = false;
};

constexpr std::int32_t kNoRank = 2147483647;
constexpr std::size_t kMaxChecksumLine = 1023;  // longer lines are outside the format and ignored

// The records of `list` after narrowing: with `filter` non-empty only the lines for that relative path
// (compared ignoring case and the distribution suffixes of both); with `distributions` non-empty a line with a
// suffix takes the rank of its tag there and is dropped when the tag is not listed. Of several lines
// for one file (ignoring case) the lowest rank wins, the earlier on equal ranks; records keep the
// order in which their files first appear. `ignoredLines` (optional) counts lines over the length limit.
std::vector<ChecksumRecord> ParseChecksumList(const std::string& list, const std::string& filter,
                                              const std::vector<std::string>& distributions,
                                              int* ignoredLines = nullptr);

// One checksum field as the C library's strtoul reads it with base 16 into 32 bits: leading white
// space, a sign, an optional "0x", hexadecimal digits; no digits give 0, a value past 32 bits gives
// 0xFFFFFFFF, a minus sign negates. Returns the position after the field.
std::size_t ReadHexField(const std::string& text, std::size_t position, std::uint32_t* value);

}  // namespace patch
