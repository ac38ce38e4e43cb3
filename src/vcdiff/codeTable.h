#pragma once
// The instruction code table: what each of the 256 instruction codes of a window means. Every code
// stands for one or two instructions, each with a type, a size (0: the size follows in the
// instruction section) and, for COPY, an address mode.

#include <cstdint>

#include "vcdiff/decodeError.h"

namespace vcdiff {

enum InstructionType : std::uint8_t { kNoop = 0, kAdd = 1, kRun = 2, kCopy = 3 };

// The serialised form of a table: the six 256-byte columns inst1, inst2, size1, size2, mode1, mode2.
constexpr int kCodeTableStringSize = 6 * 256;

struct CodeTable {
  std::uint8_t type[2][256];
  std::uint8_t size[2][256];
  std::uint8_t mode[2][256];
  // Address cache sizes that go with the table.
  std::uint8_t nearSize;
  std::uint8_t sameSize;
};

// The standard table (near cache 4, same cache 3).
const CodeTable& DefaultCodeTable();

void CodeTableToString(const CodeTable& table, std::uint8_t out[kCodeTableStringSize]);

// Builds a table from its serialised form and checks that every type is known and every COPY mode
// exists for the given cache sizes.
bool CodeTableFromString(const std::uint8_t* data, std::uint8_t nearSize, std::uint8_t sameSize,
                         CodeTable* table, DecodeError* error);

}  // namespace vcdiff
