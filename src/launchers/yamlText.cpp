#include "launchers/yamlText.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "pe/resourceText.h"

namespace launchers {
namespace {

struct Line {
  int number = 0;
  int indent = 0;    // leading spaces
  std::string text;  // the rest of the line, without its line end
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Only blanks.
bool IsEmpty(const std::string& text) {
  for (char c : text) {
    if (!IsBlank(c)) return false;
  }
  return true;
}

// Only blanks, or a comment.
bool IsNothing(const std::string& text) {
  for (char c : text) {
    if (c == '#') return true;
    if (!IsBlank(c)) return false;
  }
  return true;
}

// A sequence item: "-" alone or followed by a blank.
bool IsItem(const std::string& text) { return !text.empty() && text[0] == '-' && (text.size() == 1 || IsBlank(text[1])); }

std::size_t SkipBlanks(const std::string& text, std::size_t at) {
  while (at < text.size() && IsBlank(text[at])) ++at;
  return at;
}

// `text` without a comment (a '#' after a blank) and without the blanks around it.
std::string Trimmed(const std::string& text, bool* hadComment) {
  std::size_t end = text.size();
  *hadComment = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '#' && (i == 0 || IsBlank(text[i - 1]))) {
      end = i;
      *hadComment = true;
      break;
    }
  }
  std::size_t start = SkipBlanks(text, 0);
  while (end > start && IsBlank(text[end - 1])) --end;
  return start < end ? text.substr(start, end - start) : std::string();
}

int HexDigit(char c) {
  return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

class YamlReader {
 public:
  explicit YamlReader(const std::string& text) {
    std::size_t start = 0;
    int number = 1;
    while (start <= text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      Line line;
      line.number = number++;
      line.text = text.substr(start, end - start);
      if (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();
      while (static_cast<std::size_t>(line.indent) < line.text.size() && line.text[line.indent] == ' ') ++line.indent;
      line.text.erase(0, static_cast<std::size_t>(line.indent));
      lines_.push_back(std::move(line));
      if (end == text.size()) break;
      start = end + 1;
    }
  }

  bool Read(Node* root, std::string* error) {
    const bool ok = Document(root);
    if (!ok) *error = error_;
    return ok;
  }

 private:
  // Where a multi-line scalar or flow collection is being read: a line and a position in its text.
  struct Cursor {
    std::size_t line = 0;
    std::size_t at = 0;
  };

  bool Document(Node* root) {
    SkipNothing();
    if (i_ < lines_.size() && lines_[i_].indent == 0 && !lines_[i_].text.empty() && lines_[i_].text[0] == '%') {
      return Fail(i_, "directives are not supported");
    }
    if (IsMarker(i_, "---")) {
      if (!IsNothing(lines_[i_].text.substr(3))) return Fail(i_, "a value on the \"---\" line is not supported");
      ++i_;
    }
    if (More()) {
      if (!budget_.Take()) return TooMany(i_);
      if (!BlockNode(root, lines_[i_].indent, 0)) return false;
    }
    SkipNothing();
    if (IsMarker(i_, "...")) {
      ++i_;
      SkipNothing();
    }
    if (i_ < lines_.size()) {
      return Fail(i_, IsMarker(i_, "---") ? "a second document (only one is read)" : "more after the document");
    }
    return true;
  }

  bool IsMarker(std::size_t index, const char* marker) const {
    if (index >= lines_.size() || lines_[index].indent != 0) return false;
    const std::string& text = lines_[index].text;
    return text.compare(0, 3, marker) == 0 && (text.size() == 3 || IsBlank(text[3]));
  }

  void SkipNothing() {
    while (i_ < lines_.size() && IsNothing(lines_[i_].text)) ++i_;
  }

  // Skips empty lines and comments; true when a line of the document follows.
  bool More() {
    SkipNothing();
    return i_ < lines_.size() && !IsMarker(i_, "---") && !IsMarker(i_, "...");
  }

  // The node whose first line is lines_[i_], which is indented by `indent`.
  bool BlockNode(Node* out, int indent, int depth) {
    const std::string text = lines_[i_].text;
    if (IsBlank(text[0])) return Fail(i_, "a tab in the indentation");
    if (IsItem(text)) return Sequence(out, indent, depth);
    std::string name;
    std::size_t valueAt = 0;
    const int key = Key(&name, &valueAt);
    if (key < 0) return false;
    if (key > 0) return Mapping(out, indent, depth);
    return InlineNode(out, 0, indent - 1, depth);
  }

  bool Mapping(Node* out, int indent, int depth) {
    if (depth + 1 > kMaxDepth) return Fail(i_, "nested deeper than " + std::to_string(kMaxDepth));
    out->kind = Node::Kind::Map;
    while (More() && lines_[i_].indent == indent) {
      const std::string& text = lines_[i_].text;
      if (IsBlank(text[0])) return Fail(i_, "a tab in the indentation");
      if (IsItem(text)) return Fail(i_, "a list item among the keys of a mapping");
      std::string name;
      std::size_t valueAt = 0;
      const int key = Key(&name, &valueAt);
      if (key < 0) return false;
      if (key == 0) return Fail(i_, "a line that is no \"key: value\" among the keys of a mapping");
      if (!budget_.Take()) return TooMany(i_);
      out->members.push_back(Member{name, Node()});
      if (!Value(&out->members.back().value, valueAt, indent, depth + 1, true)) return false;
    }
    if (More() && lines_[i_].indent > indent) return Fail(i_, "indented more than the keys before it");
    return true;
  }

  bool Sequence(Node* out, int indent, int depth) {
    if (depth + 1 > kMaxDepth) return Fail(i_, "nested deeper than " + std::to_string(kMaxDepth));
    out->kind = Node::Kind::List;
    while (More() && lines_[i_].indent == indent && IsItem(lines_[i_].text)) {
      if (!budget_.Take()) return TooMany(i_);
      out->members.push_back(Member());
      Node* item = &out->members.back().value;
      Line& line = lines_[i_];
      const std::size_t content = SkipBlanks(line.text, 1);
      if (content >= line.text.size() || line.text[content] == '#') {
        if (!Value(item, line.text.size(), indent, depth + 1, false)) return false;
        continue;
      }
      // The item's content is a node of its own that starts at its column: "- key: value" begins a
      // mapping whose further keys stand below the first.
      line.indent += static_cast<int>(content);
      line.text.erase(0, content);
      if (!BlockNode(item, line.indent, depth + 1)) return false;
    }
    if (More() && lines_[i_].indent > indent) return Fail(i_, "indented more than the list items before it");
    return true;
  }

  // The value after "key:" (or after a "-" that has nothing else): on this line from `at`, or below it.
  bool Value(Node* out, std::size_t at, int parentIndent, int depth, bool ofKey) {
    const std::string& text = lines_[i_].text;
    const std::size_t start = SkipBlanks(text, at);
    if (start < text.size() && text[start] != '#') return InlineNode(out, start, parentIndent, depth);
    ++i_;
    if (More()) {
      const Line& next = lines_[i_];
      if (next.indent > parentIndent) return BlockNode(out, next.indent, depth);
      // A key's list may stand at the key's own indentation.
      if (ofKey && next.indent == parentIndent && IsItem(next.text)) return Sequence(out, parentIndent, depth);
    }
    return true;  // empty: an empty text
  }

  // A node that begins at `at` on line i_: a scalar or a flow collection.
  bool InlineNode(Node* out, std::size_t at, int parentIndent, int depth) {
    const std::string& text = lines_[i_].text;
    const char c = text[at];
    if (c == '"' || c == '\'' || c == '[' || c == '{') {
      Cursor cursor{i_, at};
      if (c == '"' || c == '\'') {
        if (!Quoted(&cursor, &out->text)) return false;
      } else if (!FlowNode(out, &cursor, depth)) {
        return false;
      }
      return EndOfNode(cursor);
    }
    if (c == '|' || c == '>') return BlockScalar(out, at, parentIndent);
    if (c == '&' || c == '*' || c == '!') return Fail(i_, "anchors, aliases and tags are not supported");
    if (c == '%' || c == '@' || c == '`') return Fail(i_, std::string("a value may not begin with '") + c + "'");
    if (c == '?' && (at + 1 == text.size() || IsBlank(text[at + 1]))) return Fail(i_, "complex keys are not supported");
    return Plain(out, at, parentIndent);
  }

  // After a quoted scalar or a flow collection only a comment may follow on its last line.
  bool EndOfNode(const Cursor& cursor) {
    if (cursor.line >= lines_.size()) {
      i_ = lines_.size();
      return true;
    }
    const std::string& text = lines_[cursor.line].text;
    if (!IsNothing(text.substr(cursor.at))) return Fail(cursor.line, "more after a quoted text or a flow collection");
    i_ = cursor.line + 1;
    return true;
  }

  // A plain scalar from `at`, continued by the following lines indented more than its parent.
  bool Plain(Node* out, std::size_t at, int parentIndent) {
    bool comment = false;
    out->text = Trimmed(lines_[i_].text.substr(at), &comment);
    ++i_;
    int breaks = 0;
    while (!comment && i_ < lines_.size() && !IsMarker(i_, "---") && !IsMarker(i_, "...")) {
      const Line& line = lines_[i_];
      if (IsEmpty(line.text)) {
        ++breaks;
        ++i_;
        continue;
      }
      if (line.indent <= parentIndent || line.text[0] == '#') break;
      const std::string part = Trimmed(line.text, &comment);
      if (part.empty()) break;
      out->text += breaks > 0 ? std::string(static_cast<std::size_t>(breaks), '\n') : std::string(" ");
      out->text += part;
      breaks = 0;
      ++i_;
    }
    return true;
  }

  // A literal (|) or folded (>) block scalar whose header is at `at` on line i_.
  bool BlockScalar(Node* out, std::size_t at, int parentIndent) {
    const std::string& header = lines_[i_].text;
    const bool folded = header[at] == '>';
    char chomp = ' ';
    int explicitIndent = 0;
    std::size_t p = at + 1;
    for (int k = 0; k < 2 && p < header.size(); ++k, ++p) {
      const char c = header[p];
      if ((c == '+' || c == '-') && chomp == ' ') {
        chomp = c;
      } else if (c >= '1' && c <= '9' && explicitIndent == 0) {
        explicitIndent = c - '0';
      } else {
        break;
      }
    }
    if (p < header.size() && !IsBlank(header[p])) return Fail(i_, "a block scalar's header is not understood");
    if (!IsNothing(header.substr(p))) return Fail(i_, "more after a block scalar's header");
    ++i_;
    int contentIndent = explicitIndent > 0 ? (parentIndent < 0 ? 0 : parentIndent) + explicitIndent : -1;
    std::vector<std::string> parts;
    while (i_ < lines_.size() && !IsMarker(i_, "---") && !IsMarker(i_, "...")) {
      const Line& line = lines_[i_];
      if (IsEmpty(line.text)) {
        parts.emplace_back();
        ++i_;
        continue;
      }
      if (contentIndent < 0) {
        if (line.indent <= parentIndent) break;
        contentIndent = line.indent;
      }
      if (line.indent < contentIndent) break;
      parts.push_back(std::string(static_cast<std::size_t>(line.indent - contentIndent), ' ') + line.text);
      ++i_;
    }
    std::size_t trailing = 0;
    while (!parts.empty() && parts.back().empty()) {
      parts.pop_back();
      ++trailing;
    }
    std::string& text = out->text;
    int pendingBreaks = 0;
    bool previousIndented = false;
    for (const std::string& part : parts) {
      if (!folded) {
        if (&part != &parts.front()) text += '\n';
        text += part;
        continue;
      }
      if (part.empty()) {
        ++pendingBreaks;
        continue;
      }
      const bool indented = IsBlank(part[0]);
      if (!text.empty() || pendingBreaks > 0) {
        if (pendingBreaks > 0) {
          text += std::string(static_cast<std::size_t>(pendingBreaks), '\n');
        } else {
          text += previousIndented || indented ? '\n' : ' ';
        }
      }
      text += part;
      pendingBreaks = 0;
      previousIndented = indented;
    }
    if (!parts.empty() && chomp != '-') text += '\n';
    if (chomp == '+') text += std::string(trailing, '\n');
    return true;
  }

  char Peek(const Cursor& cursor) const {
    if (cursor.line >= lines_.size()) return '\0';
    const std::string& text = lines_[cursor.line].text;
    return cursor.at < text.size() ? text[cursor.at] : '\n';
  }

  void Advance(Cursor* cursor) const {
    if (cursor->line >= lines_.size()) return;
    if (cursor->at < lines_[cursor->line].text.size()) {
      ++cursor->at;
    } else {
      ++cursor->line;
      cursor->at = 0;
    }
  }

  // A single- or double-quoted scalar at the cursor, over as many lines as it takes: a line break
  // reads as a blank, each empty line as a line break.
  bool Quoted(Cursor* cursor, std::string* out) {
    const std::size_t startLine = cursor->line;
    const char quote = Peek(*cursor);
    Advance(cursor);
    std::size_t solid = out->size();  // the text without the blanks that end its current line
    for (;;) {
      char c = Peek(*cursor);
      if (c == '\0') return Fail(startLine, "a quoted text is not closed");
      if (c == '\n') {
        out->resize(solid);
        Advance(cursor);
        std::size_t breaks = 0;
        for (c = Peek(*cursor); c == ' ' || c == '\t' || c == '\n'; c = Peek(*cursor)) {
          if (c == '\n') ++breaks;
          Advance(cursor);
        }
        *out += breaks > 0 ? std::string(breaks, '\n') : std::string(" ");
        solid = out->size();
        continue;
      }
      Advance(cursor);
      if (c == quote) {
        if (quote == '\'' && Peek(*cursor) == '\'') {
          *out += '\'';
          Advance(cursor);
          solid = out->size();
          continue;
        }
        return true;
      }
      if (quote == '"' && c == '\\') {
        if (!Escape(cursor, out)) return false;
        solid = out->size();
        continue;
      }
      *out += c;
      if (!IsBlank(c)) solid = out->size();
    }
  }

  // The escape after a backslash in a double-quoted scalar.
  bool Escape(Cursor* cursor, std::string* out) {
    const std::size_t line = cursor->line;
    const char c = Peek(*cursor);
    Advance(cursor);
    switch (c) {
      case '\n':  // an escaped line break joins the lines
        while (Peek(*cursor) == ' ' || Peek(*cursor) == '\t') Advance(cursor);
        return true;
      case '0': *out += '\0'; return true;
      case 'a': *out += '\a'; return true;
      case 'b': *out += '\b'; return true;
      case 't': case '\t': *out += '\t'; return true;
      case 'n': *out += '\n'; return true;
      case 'v': *out += '\v'; return true;
      case 'f': *out += '\f'; return true;
      case 'r': *out += '\r'; return true;
      case 'e': *out += '\x1b'; return true;
      case ' ': case '"': case '/': case '\\': *out += c; return true;
      case 'N': pe::AppendUtf8(0x85, out); return true;
      case '_': pe::AppendUtf8(0xA0, out); return true;
      case 'L': pe::AppendUtf8(0x2028, out); return true;
      case 'P': pe::AppendUtf8(0x2029, out); return true;
      case 'x': case 'u': case 'U': {
        const int digits = c == 'x' ? 2 : c == 'u' ? 4 : 8;
        std::uint32_t code = 0;
        for (int k = 0; k < digits; ++k) {
          const int digit = HexDigit(Peek(*cursor));
          if (digit < 0 || cursor->line != line) return Fail(line, std::string("a \\") + c + " escape is cut short");
          code = code << 4 | static_cast<std::uint32_t>(digit);
          Advance(cursor);
        }
        if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return Fail(line, "an escape names no character");
        pe::AppendUtf8(code, out);
        return true;
      }
      default:
        return Fail(line, std::string("an unknown escape \\") + (c == '\0' ? '0' : c));
    }
  }

  // Blanks, line breaks and comments inside a flow collection.
  void SkipFlowBlanks(Cursor* cursor) const {
    for (char c = Peek(*cursor); c == ' ' || c == '\t' || c == '\n' || c == '#'; c = Peek(*cursor)) {
      if (c == '#') {
        cursor->at = lines_[cursor->line].text.size();  // the rest of the line
        continue;
      }
      Advance(cursor);
    }
  }

  bool FlowNode(Node* out, Cursor* cursor, int depth) {
    SkipFlowBlanks(cursor);
    const std::size_t line = cursor->line;
    const char c = Peek(*cursor);
    if (c == '[' || c == '{') {
      if (depth + 1 > kMaxDepth) return Fail(line, "nested deeper than " + std::to_string(kMaxDepth));
      Advance(cursor);
      out->kind = c == '[' ? Node::Kind::List : Node::Kind::Map;
      const char close = c == '[' ? ']' : '}';
      for (;;) {
        SkipFlowBlanks(cursor);
        if (Peek(*cursor) == close) {
          Advance(cursor);
          return true;
        }
        if (!budget_.Take()) return TooMany(cursor->line);
        out->members.push_back(Member());
        Member& member = out->members.back();
        if (close == '}') {
          Node key;
          if (!FlowNode(&key, cursor, depth + 1)) return false;
          if (!key.IsText()) return Fail(cursor->line, "complex keys are not supported");
          member.name = key.text;
          SkipFlowBlanks(cursor);
          if (Peek(*cursor) == ':') {
            Advance(cursor);
            SkipFlowBlanks(cursor);
            if (Peek(*cursor) != ',' && Peek(*cursor) != '}' && !FlowNode(&member.value, cursor, depth + 1)) return false;
          }
        } else if (!FlowNode(&member.value, cursor, depth + 1)) {
          return false;
        }
        SkipFlowBlanks(cursor);
        const char next = Peek(*cursor);
        if (next == ',') {
          Advance(cursor);
        } else if (next != close) {
          return Fail(cursor->line, next == '\0' ? std::string("a flow collection is not closed")
                                                 : std::string("a ',' or '") + close + "' is missing");
        }
      }
    }
    if (c == '"' || c == '\'') return Quoted(cursor, &out->text);
    if (c == '\0') return Fail(line, "a flow collection is not closed");
    if (std::strchr("]},&*!|>%@`", c) != nullptr) return Fail(line, std::string("a flow value may not begin with '") + c + "'");
    // A plain scalar: up to an indicator, a ": ", or a comment.
    std::string& text = out->text;
    for (char d = Peek(*cursor); d != '\0'; d = Peek(*cursor)) {
      if (std::strchr(",[]{}", d) != nullptr) break;
      if (d == '#' && (text.empty() || IsBlank(text.back()))) break;
      if (d == ':') {
        Cursor after = *cursor;
        Advance(&after);
        const char e = Peek(after);
        if (e == ' ' || e == '\t' || e == '\n' || e == '\0' || std::strchr(",[]{}", e) != nullptr) break;
      }
      text += d == '\n' || d == '\t' ? ' ' : d;
      Advance(cursor);
    }
    std::size_t start = 0;
    while (start < text.size() && text[start] == ' ') ++start;
    std::size_t end = text.size();
    while (end > start && text[end - 1] == ' ') --end;
    text = text.substr(start, end - start);
    return true;
  }

  // Whether line i_ begins with a key: 1 with its name and where its value begins, 0 when it does not,
  // -1 (after Fail) when it cannot be read.
  int Key(std::string* name, std::size_t* valueAt) {
    const std::string& text = lines_[i_].text;
    const char c = text[0];
    if (c == '[' || c == '{' || c == '#') return 0;
    if (c == '&' || c == '*' || c == '!') return Refuse("anchors, aliases and tags are not supported");
    if (c == '?' && (text.size() == 1 || IsBlank(text[1]))) return Refuse("complex keys are not supported");
    std::size_t colon = std::string::npos;
    if (c == '"' || c == '\'') {
      Cursor cursor{i_, 0};
      std::string quoted;
      if (!Quoted(&cursor, &quoted)) return -1;
      if (cursor.line != i_) return 0;  // a quoted text over several lines is a value, never a key
      const std::size_t at = SkipBlanks(text, cursor.at);
      if (at >= text.size() || text[at] != ':' || (at + 1 < text.size() && !IsBlank(text[at + 1]))) return 0;
      *name = quoted;
      colon = at;
    } else {
      for (std::size_t j = 0; j < text.size() && colon == std::string::npos; ++j) {
        if (text[j] == '#' && j > 0 && IsBlank(text[j - 1])) return 0;
        if (text[j] == ':' && (j + 1 == text.size() || IsBlank(text[j + 1]))) colon = j;
      }
      if (colon == std::string::npos) return 0;
      std::size_t end = colon;
      while (end > 0 && IsBlank(text[end - 1])) --end;
      if (end == 0) return Refuse("a key is empty");
      *name = text.substr(0, end);
    }
    *valueAt = colon + 1;
    return 1;
  }

  int Refuse(const std::string& reason) {
    Fail(i_, reason);
    return -1;
  }

  bool TooMany(std::size_t index) { return Fail(index, "more than " + std::to_string(kMaxNodes) + " values"); }

  bool Fail(std::size_t index, const std::string& reason) {
    const int number = index < lines_.size() ? lines_[index].number : (lines_.empty() ? 1 : lines_.back().number);
    if (error_.empty()) error_ = LineText(number) + reason;
    return false;
  }

  std::vector<Line> lines_;
  std::size_t i_ = 0;
  NodeBudget budget_;
  std::string error_;
};

}  // namespace

bool ParseYaml(const std::string& text, Node* root, std::string* error) {
  *root = Node();
  if (!CheckFileText(text, false, error)) return false;
  YamlReader reader(text);
  if (reader.Read(root, error)) return true;
  *root = Node();
  return false;
}

}  // namespace launchers
