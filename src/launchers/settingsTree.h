#pragma once
// What the readers of game launchers' settings files give: a tree of texts, mappings and lists. Steam's
// text files (VDF), the YAML files of Lutris and Bottles and Heroic's JSON files all read into it, so the
// code that looks for prefixes asks one kind of tree for the few values it needs.
//
// The files come from the user's home and may be damaged or written by anyone: every reader checks
// each byte it reads, and refuses a file that is larger, deeper or has more values than the limits
// below, with a reason that names the line.

#include <cstddef>
#include <string>
#include <vector>

namespace launchers {

// Limits every reader keeps. A launcher's largest real file (Steam's library list, Heroic's list of
// installed games) is far below them.
constexpr std::size_t kMaxFileBytes = 8u << 20;
constexpr int kMaxDepth = 32;
constexpr std::size_t kMaxNodes = 200000;

struct Member;

struct Node {
  enum class Kind { Text, Map, List };
  Kind kind = Kind::Text;
  // A text's value (JSON numbers, true, false and null are kept as they are written; YAML's ~ too).
  std::string text;
  // A mapping's members with their names, in file order; a list's elements with empty names.
  std::vector<Member> members;

  bool IsText() const { return kind == Kind::Text; }
  bool IsMap() const { return kind == Kind::Map; }
  bool IsList() const { return kind == Kind::List; }

  // The first member of a mapping with this name: exactly spelled, or (ignoringCase) with ASCII letters
  // compared without regard to case, as Steam compares its keys. Null when there is none or this is not
  // a mapping.
  const Node* Find(const std::string& name, bool ignoringCase = false) const;
  // The text of the member `name`; "" when there is none or it is not a text.
  std::string TextOf(const std::string& name, bool ignoringCase = false) const;

  // The same kind, text and members (names and values, in order).
  bool operator==(const Node& other) const;
  bool operator!=(const Node& other) const { return !(*this == other); }
};

struct Member {
  std::string name;
  Node value;
};

// What every reader counts while it builds a tree; refuses once a limit is passed.
class NodeBudget {
 public:
  // False once more than kMaxNodes nodes were made.
  bool Take() { return ++made_ <= kMaxNodes; }

 private:
  std::size_t made_ = 0;
};

// "line N: " for messages.
std::string LineText(int line);

// What every reader asks of a file before it reads: no more than kMaxFileBytes, and (for the text
// forms that have none) no NUL byte. False with the reason in *error.
bool CheckFileText(const std::string& text, bool nulAllowed, std::string* error);

}  // namespace launchers
