// Fuzz target of the YAML reader for launchers' files. A refusal always says why and leaves nothing
// behind; a document that reads, written again as nested flow collections of double-quoted texts
// (spread over lines), reads back as the same tree.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "launchers/yamlText.h"

namespace {

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned>(static_cast<unsigned char>(c)));
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

void Write(const launchers::Node& node, std::string* out) {
  if (node.IsText()) {
    *out += Quoted(node.text);
    return;
  }
  *out += node.IsMap() ? "{" : "[";
  for (std::size_t i = 0; i < node.members.size(); ++i) {
    if (i > 0) *out += ",\n  ";
    if (node.IsMap()) *out += Quoted(node.members[i].name) + ": ";
    Write(node.members[i].value, out);
  }
  *out += node.IsMap() ? "}" : "]";
}

bool Same(const launchers::Node& a, const launchers::Node& b) {
  if (a.kind != b.kind || a.text != b.text || a.members.size() != b.members.size()) return false;
  for (std::size_t i = 0; i < a.members.size(); ++i) {
    if (a.members[i].name != b.members[i].name || !Same(a.members[i].value, b.members[i].value)) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  launchers::Node root;
  std::string error;
  if (!launchers::ParseYaml(text, &root, &error)) {
    if (error.empty() || !root.members.empty() || !root.text.empty()) __builtin_trap();
    return 0;
  }
  std::string again;
  Write(root, &again);
  again += "\n";
  if (again.size() > launchers::kMaxFileBytes) return 0;
  launchers::Node reread;
  if (!launchers::ParseYaml(again, &reread, &error) || !Same(root, reread)) __builtin_trap();
  return 0;
}
