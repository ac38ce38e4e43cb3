#include "vcdiff/codeTable.h"

#include <cstring>

namespace vcdiff {

namespace {

void Set(CodeTable* table, int code, InstructionType type1, int size1, int mode1, InstructionType type2,
         int size2, int mode2) {
  table->type[0][code] = type1;
  table->size[0][code] = static_cast<std::uint8_t>(size1);
  table->mode[0][code] = static_cast<std::uint8_t>(mode1);
  table->type[1][code] = type2;
  table->size[1][code] = static_cast<std::uint8_t>(size2);
  table->mode[1][code] = static_cast<std::uint8_t>(mode2);
}

CodeTable BuildDefault() {
  CodeTable table{};
  table.nearSize = 4;
  table.sameSize = 3;
  int code = 0;
  Set(&table, code++, kRun, 0, 0, kNoop, 0, 0);
  for (int size = 0; size <= 17; ++size) Set(&table, code++, kAdd, size, 0, kNoop, 0, 0);
  for (int mode = 0; mode < 9; ++mode) {
    Set(&table, code++, kCopy, 0, mode, kNoop, 0, 0);
    for (int size = 4; size <= 18; ++size) Set(&table, code++, kCopy, size, mode, kNoop, 0, 0);
  }
  for (int mode = 0; mode < 6; ++mode) {
    for (int addSize = 1; addSize <= 4; ++addSize) {
      for (int copySize = 4; copySize <= 6; ++copySize) {
        Set(&table, code++, kAdd, addSize, 0, kCopy, copySize, mode);
      }
    }
  }
  for (int mode = 6; mode < 9; ++mode) {
    for (int addSize = 1; addSize <= 4; ++addSize) Set(&table, code++, kAdd, addSize, 0, kCopy, 4, mode);
  }
  for (int mode = 0; mode < 9; ++mode) Set(&table, code++, kCopy, 4, mode, kAdd, 1, 0);
  return table;
}

}  // namespace

const CodeTable& DefaultCodeTable() {
  static const CodeTable table = BuildDefault();
  return table;
}

void CodeTableToString(const CodeTable& table, std::uint8_t out[kCodeTableStringSize]) {
  std::memcpy(out + 0 * 256, table.type[0], 256);
  std::memcpy(out + 1 * 256, table.type[1], 256);
  std::memcpy(out + 2 * 256, table.size[0], 256);
  std::memcpy(out + 3 * 256, table.size[1], 256);
  std::memcpy(out + 4 * 256, table.mode[0], 256);
  std::memcpy(out + 5 * 256, table.mode[1], 256);
}

bool CodeTableFromString(const std::uint8_t* data, std::uint8_t nearSize, std::uint8_t sameSize,
                         CodeTable* table, DecodeError* error) {
  // Modes are bytes: SELF, HERE, then one per near slot and one per same block.
  if (nearSize + sameSize > 254) {
    return Fail(error, DecodeStatus::Corrupt, "code table: address cache sizes %d and %d are too large",
                nearSize, sameSize);
  }
  std::memcpy(table->type[0], data + 0 * 256, 256);
  std::memcpy(table->type[1], data + 1 * 256, 256);
  std::memcpy(table->size[0], data + 2 * 256, 256);
  std::memcpy(table->size[1], data + 3 * 256, 256);
  std::memcpy(table->mode[0], data + 4 * 256, 256);
  std::memcpy(table->mode[1], data + 5 * 256, 256);
  table->nearSize = nearSize;
  table->sameSize = sameSize;
  const int modes = 2 + nearSize + sameSize;
  for (int half = 0; half < 2; ++half) {
    for (int code = 0; code < 256; ++code) {
      if (table->type[half][code] > kCopy) {
        return Fail(error, DecodeStatus::Corrupt, "code table: code %d has the unknown instruction type %d",
                    code, table->type[half][code]);
      }
      if (table->type[half][code] == kCopy && table->mode[half][code] >= modes) {
        return Fail(error, DecodeStatus::Corrupt, "code table: code %d uses the undefined address mode %d",
                    code, table->mode[half][code]);
      }
    }
  }
  return true;
}

}  // namespace vcdiff
