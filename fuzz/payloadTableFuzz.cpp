// Fuzz target of the payload table's parser: any bytes are parsed or refused with a reason, and a
// table that parses is written back to a text that parses to the same table.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "patch/payloadTable.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  patch::PayloadTable table;
  std::string error;
  if (!patch::ParsePayloadTable(data, size, &table, &error)) {
    if (error.empty() || !table.empty()) std::abort();
    return 0;
  }
  const std::string text = patch::PayloadTableText(table);
  patch::PayloadTable again;
  if (!patch::ParsePayloadTable(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), &again, &error)) {
    std::abort();
  }
  if (again.size() != table.size()) std::abort();
  for (const auto& [name, entry] : table) {
    const auto found = again.find(name);
    if (found == again.end() || found->second.size != entry.size || found->second.digest != entry.digest) std::abort();
  }
  return 0;
}
