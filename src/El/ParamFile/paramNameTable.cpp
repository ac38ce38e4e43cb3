#include "El/ParamFile/paramNameTable.h"

#include <cstring>

#include "El/ParamFile/paramEntry.h"
#include "El/ParamFile/paramEntryIndex.h"

ParamNameTable::Shared ParamNameTable::Share(const std::string& text) {
  const char* data = text.c_str();
  const std::size_t length = std::strlen(data);
  const std::uint32_t hash = ParamEntryIndex::Hash(data);
  if (length == 0) return Shared{RefString(), hash};
  if ((count_ + 1) * 2 > slots_.size()) Grow();
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = hash & mask;
  for (; slots_[i].text.Block(); i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.hash == hash && slot.length == length && std::memcmp(slot.text.Data(), data, length) == 0) {
      return Shared{slot.text, hash};
    }
  }
  Slot& slot = slots_[i];
  slot.text = sharing_ == kBank ? ParamShareName(data) : RefString(data, static_cast<int>(length));
  slot.hash = hash;
  slot.length = static_cast<std::uint32_t>(length);
  ++count_;
  return Shared{slot.text, hash};
}

void ParamNameTable::Grow() {
  std::vector<Slot> old(slots_.empty() ? 256 : slots_.size() * 2);
  old.swap(slots_);
  const std::size_t mask = slots_.size() - 1;
  for (Slot& slot : old) {
    if (!slot.text.Block()) continue;
    std::size_t i = slot.hash & mask;
    while (slots_[i].text.Block()) i = (i + 1) & mask;
    slots_[i] = std::move(slot);
  }
}
