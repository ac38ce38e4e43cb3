#pragma once
// String tables: string `id` lives in block id / 16 + 1 of the string-table resource type, as entry
// id % 16 of that block. A block holds 16 strings, each a 16-bit length followed by that many UTF-16
// code units (an empty string is a length of 0).

#include <cstdint>
#include <string>

#include "pe/byteView.h"
#include "pe/resourceDirectory.h"

namespace pe {

inline std::uint16_t StringBlockId(unsigned id) { return static_cast<std::uint16_t>(id / 16 + 1); }

// String `index` (0-15) of a block. False when the block's bytes end before it; a string cut short by
// the end of the block is also refused.
bool StringFromBlock(ByteView block, unsigned index, std::u16string* text);

// String `id` of the block in exactly `language`: false when there is no such block (or it is damaged);
// true with the text (possibly empty) otherwise.
bool FindString(const ResourceDirectory& resources, unsigned id, std::uint16_t language, std::u16string* text);
// String `id` in the language the look-up picks when none is asked for; an empty text when missing.
std::u16string DefaultString(const ResourceDirectory& resources, unsigned id);

}  // namespace pe
