// Fuzz target of the JSON reader for launchers' files. A refusal always says why and leaves nothing
// behind; a document that reads, written again with every text as a string, reads back as the same
// tree.
#include <cstddef>
#include <cstdint>
#include <string>

#include "launchers/jsonText.h"
#include "treeAsJson.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  launchers::Node root;
  std::string error;
  if (!launchers::ParseJson(text, &root, &error)) {
    if (error.empty() || root != launchers::Node()) __builtin_trap();
    return 0;
  }
  std::string again;
  WriteTreeAsJson(root, &again);
  if (again.size() > launchers::kMaxFileBytes) return 0;
  launchers::Node reread;
  if (!launchers::ParseJson(again, &reread, &error) || reread != root) __builtin_trap();
  return 0;
}
