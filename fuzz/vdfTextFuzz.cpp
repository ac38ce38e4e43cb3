// Fuzz target of the reader of Steam's text key-value files. A refusal always says why and leaves
// nothing behind; a file that reads, written again with every key and value quoted, reads back as the
// same tree.
#include <cstddef>
#include <cstdint>
#include <string>

#include "launchers/vdfText.h"

namespace {

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      out += c;
    }
  }
  return out + "\"";
}

void Write(const launchers::Node& block, std::string* out) {
  for (const launchers::Member& member : block.members) {
    *out += Quoted(member.name);
    if (member.value.IsMap()) {
      *out += "\n{\n";
      Write(member.value, out);
      *out += "}\n";
    } else {
      *out += "\t" + Quoted(member.value.text) + "\n";
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  launchers::Node root;
  std::string error;
  if (!launchers::ParseVdf(text, &root, &error)) {
    if (error.empty() || root != launchers::Node()) __builtin_trap();
    return 0;
  }
  if (!root.IsMap()) __builtin_trap();
  std::string again;
  Write(root, &again);
  if (again.size() > launchers::kMaxFileBytes) return 0;
  launchers::Node reread;
  if (!launchers::ParseVdf(again, &reread, &error) || reread != root) __builtin_trap();
  return 0;
}
