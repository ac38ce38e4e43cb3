// Fuzz target of the link file writer: four texts (split at NUL bytes) of any bytes, malformed UTF-8
// included. The file must come out whole: its link information block and counted strings end exactly
// before the terminal block.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/shellLinkFile.h"

namespace {

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
  if (at > b.size() || b.size() - at < 4) std::abort();
  return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
         std::uint32_t(b[at + 3]) << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string texts[4];
  int index = 0;
  for (std::size_t i = 0; i < size && index < 4; ++i) {
    if (data[i] == 0) {
      ++index;
    } else {
      texts[index] += static_cast<char>(data[i]);
    }
  }
  std::vector<std::uint8_t> file;
  const std::string folder = platform::WorkingFolderOf(texts[2].c_str());
  if (!platform::BuildShellLinkFile(texts[0].c_str(), texts[1].c_str(), folder.c_str(), texts[3].c_str(), &file)) {
    return 0;
  }
  const std::uint32_t flags = U32(file, 20);
  std::size_t at = 76;
  if (flags & 0x02) at += U32(file, at);
  for (std::uint32_t flag : {0x04u, 0x10u, 0x20u}) {
    if (!(flags & flag)) continue;
    if (at > file.size() || file.size() - at < 2) std::abort();
    at += 2 + 2 * std::size_t(file[at] | file[at + 1] << 8);
  }
  if (U32(file, at) != 0 || at + 4 != file.size()) std::abort();
  return 0;
}
