#include "launchers/settingsTree.h"

namespace launchers {
namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

bool SameName(const std::string& a, const std::string& b, bool ignoringCase) {
  if (!ignoringCase) return a == b;
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

}  // namespace

const Node* Node::Find(const std::string& name, bool ignoringCase) const {
  if (kind != Kind::Map) return nullptr;
  for (const Member& member : members) {
    if (SameName(member.name, name, ignoringCase)) return &member.value;
  }
  return nullptr;
}

std::string Node::TextOf(const std::string& name, bool ignoringCase) const {
  const Node* member = Find(name, ignoringCase);
  return member && member->IsText() ? member->text : std::string();
}

std::string LineText(int line) { return "line " + std::to_string(line) + ": "; }

}  // namespace launchers
