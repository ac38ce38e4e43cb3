// Fuzz target of the checksum-list parser. The first byte picks the narrowing (a filter, a
// distribution list, both or neither); the rest is the list.
#include <cstddef>
#include <cstdint>
#include <string>

#include "patch/checksumList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t mode = data[0];
  const std::string list(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string filter = (mode & 1) ? "DATA\\X.PAK" : "";
  const std::vector<std::string> distributions =
      (mode & 2) ? std::vector<std::string>{"GERMAN", "EURO"} : std::vector<std::string>{};
  const auto records = patch::ParseChecksumList(list, filter, distributions);
  for (const patch::ChecksumRecord& record : records) {
    // Every record holds at least the checksum right after the blank, and a name from one line.
    if (record.checksums.empty() || record.name.size() > patch::kMaxChecksumLine) __builtin_trap();
    if (record.name.find('\n') != std::string::npos) __builtin_trap();
  }
  return 0;
}
