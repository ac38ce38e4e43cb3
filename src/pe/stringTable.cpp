#include "pe/stringTable.h"

namespace pe {

bool StringFromBlock(ByteView block, unsigned index, std::u16string* text) {
  std::size_t offset = 0;
  for (unsigned i = 0; i < index; ++i) {
    std::uint16_t length = 0;
    if (!block.ReadU16(offset, &length) || !block.Has(offset + 2, std::size_t(length) * 2)) return false;
    offset += 2 + std::size_t(length) * 2;
  }
  std::uint16_t length = 0;
  if (!block.ReadU16(offset, &length) || !block.Has(offset + 2, std::size_t(length) * 2)) return false;
  text->resize(length);
  for (std::uint16_t i = 0; i < length; ++i) {
    std::uint16_t unit = 0;
    block.ReadU16(offset + 2 + std::size_t(i) * 2, &unit);
    (*text)[i] = static_cast<char16_t>(unit);
  }
  return true;
}

bool FindString(const ResourceDirectory& resources, unsigned id, std::uint16_t language, std::u16string* text) {
  if (id > 0xFFFF) return false;
  const ResourceEntry* block =
      resources.Find(ResourceId::Number(kStringTableType), ResourceId::Number(StringBlockId(id)), language);
  return block && StringFromBlock(block->bytes, id % 16, text);
}

std::u16string DefaultString(const ResourceDirectory& resources, unsigned id) {
  std::u16string text;
  if (id > 0xFFFF) return text;
  const ResourceEntry* block =
      resources.Find(ResourceId::Number(kStringTableType), ResourceId::Number(StringBlockId(id)));
  if (!block || !StringFromBlock(block->bytes, id % 16, &text)) text.clear();
  return text;
}

}  // namespace pe
