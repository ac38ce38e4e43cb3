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

bool Node::operator==(const Node& other) const {
  if (kind != other.kind || text != other.text || members.size() != other.members.size()) return false;
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (members[i].name != other.members[i].name || members[i].value != other.members[i].value) return false;
  }
  return true;
}

std::string LineText(int line) { return "line " + std::to_string(line) + ": "; }

bool CheckFileText(const std::string& text, bool nulAllowed, std::string* error) {
  if (text.size() > kMaxFileBytes) {
    *error = "larger than " + std::to_string(kMaxFileBytes >> 20) + " MiB";
    return false;
  }
  const std::size_t nul = nulAllowed ? std::string::npos : text.find('\0');
  if (nul == std::string::npos) return true;
  int line = 1;
  for (std::size_t i = 0; i < nul; ++i) line += text[i] == '\n';
  *error = LineText(line) + "a NUL byte (this is no text file)";
  return false;
}

}  // namespace launchers
