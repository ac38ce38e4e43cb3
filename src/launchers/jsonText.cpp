#include "launchers/jsonText.h"

#include <cstdint>

#include "pe/resourceText.h"

namespace launchers {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

class JsonReader {
 public:
  explicit JsonReader(const std::string& text) : text_(text) {
    if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0) at_ = 3;
  }

  bool Read(Node* root, std::string* error) {
    const bool ok = Value(root, 0) && AtEnd();
    if (!ok) *error = error_;
    return ok;
  }

 private:
  bool AtEnd() {
    SkipBlanks();
    return at_ == text_.size() || Fail("more after the value");
  }

  void SkipBlanks() {
    while (at_ < text_.size()) {
      const char c = text_[at_];
      if (c == '\n') {
        ++line_;
      } else if (c != ' ' && c != '\t' && c != '\r') {
        return;
      }
      ++at_;
    }
  }

  bool Value(Node* node, int depth) {
    SkipBlanks();
    if (!budget_.Take()) return Fail("more than " + std::to_string(kMaxNodes) + " values");
    if (at_ >= text_.size()) return Fail("a value is missing");
    const char c = text_[at_];
    if (c == '{' || c == '[') {
      if (depth + 1 > kMaxDepth) return Fail("nested deeper than " + std::to_string(kMaxDepth));
      ++at_;
      node->kind = c == '{' ? Node::Kind::Map : Node::Kind::List;
      return c == '{' ? Object(node, depth + 1) : Array(node, depth + 1);
    }
    if (c == '"') return String(&node->text);
    if (c == '-' || IsDigit(c)) return Number(&node->text);
    for (const char* word : {"true", "false", "null"}) {
      const std::string expected = word;
      if (text_.compare(at_, expected.size(), expected) == 0) {
        node->text = expected;
        at_ += expected.size();
        return true;
      }
    }
    return Fail("not a JSON value");
  }

  bool Object(Node* node, int depth) {
    SkipBlanks();
    if (at_ < text_.size() && text_[at_] == '}') {
      ++at_;
      return true;
    }
    for (;;) {
      SkipBlanks();
      if (at_ >= text_.size() || text_[at_] != '"') return Fail("a member name (a string) is missing");
      Member member;
      if (!String(&member.name)) return false;
      SkipBlanks();
      if (at_ >= text_.size() || text_[at_] != ':') return Fail("a ':' is missing after a member name");
      ++at_;
      node->members.push_back(std::move(member));
      if (!Value(&node->members.back().value, depth)) return false;
      if (!Separator('}')) return false;
      if (closed_) return true;
    }
  }

  bool Array(Node* node, int depth) {
    SkipBlanks();
    if (at_ < text_.size() && text_[at_] == ']') {
      ++at_;
      return true;
    }
    for (;;) {
      node->members.push_back(Member());
      if (!Value(&node->members.back().value, depth)) return false;
      if (!Separator(']')) return false;
      if (closed_) return true;
    }
  }

  // A ',' (another element follows) or the closing character (closed_ is set).
  bool Separator(char close) {
    SkipBlanks();
    closed_ = false;
    if (at_ < text_.size() && text_[at_] == ',') {
      ++at_;
      return true;
    }
    if (at_ < text_.size() && text_[at_] == close) {
      ++at_;
      closed_ = true;
      return true;
    }
    return Fail(std::string("a ',' or '") + close + "' is missing");
  }

  bool Number(std::string* out) {
    const std::size_t start = at_;
    if (text_[at_] == '-') ++at_;
    if (at_ >= text_.size() || !IsDigit(text_[at_])) return Fail("a number has no digits");
    if (text_[at_] == '0') {
      ++at_;
    } else {
      while (at_ < text_.size() && IsDigit(text_[at_])) ++at_;
    }
    if (at_ < text_.size() && text_[at_] == '.') {
      ++at_;
      if (at_ >= text_.size() || !IsDigit(text_[at_])) return Fail("a number has no digits after its '.'");
      while (at_ < text_.size() && IsDigit(text_[at_])) ++at_;
    }
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
      ++at_;
      if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
      if (at_ >= text_.size() || !IsDigit(text_[at_])) return Fail("a number has no digits in its exponent");
      while (at_ < text_.size() && IsDigit(text_[at_])) ++at_;
    }
    out->assign(text_, start, at_ - start);
    return true;
  }

  bool Hex4(std::uint32_t* code) {
    if (text_.size() - at_ < 4) return Fail("a \\u escape has fewer than four digits");
    *code = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[at_++];
      const int digit = IsDigit(c) ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (digit < 0) return Fail("a \\u escape has a character that is no hexadecimal digit");
      *code = *code << 4 | static_cast<std::uint32_t>(digit);
    }
    return true;
  }

  bool String(std::string* out) {
    ++at_;  // the opening quote
    for (;;) {
      if (at_ >= text_.size()) return Fail("a string is not closed");
      const char c = text_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return Fail("a control character inside a string");
      if (c != '\\') {
        *out += c;
        continue;
      }
      if (at_ >= text_.size()) return Fail("a string is not closed");
      const char escaped = text_[at_++];
      switch (escaped) {
        case '"': *out += '"'; break;
        case '\\': *out += '\\'; break;
        case '/': *out += '/'; break;
        case 'b': *out += '\b'; break;
        case 'f': *out += '\f'; break;
        case 'n': *out += '\n'; break;
        case 'r': *out += '\r'; break;
        case 't': *out += '\t'; break;
        case 'u': {
          std::uint32_t code = 0;
          if (!Hex4(&code)) return false;
          if (code >= 0xDC00 && code <= 0xDFFF) return Fail("a \\u escape is half of a surrogate pair");
          if (code >= 0xD800 && code <= 0xDBFF) {
            std::uint32_t low = 0;
            if (text_.compare(at_, 2, "\\u") != 0) return Fail("a \\u escape is half of a surrogate pair");
            at_ += 2;
            if (!Hex4(&low)) return false;
            if (low < 0xDC00 || low > 0xDFFF) return Fail("a \\u escape is half of a surrogate pair");
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          }
          pe::AppendUtf8(code, out);
          break;
        }
        default:
          return Fail(std::string("an unknown escape \\") + escaped);
      }
    }
  }

  bool Fail(const std::string& reason) {
    if (error_.empty()) error_ = LineText(line_) + reason;
    return false;
  }

  const std::string& text_;
  std::size_t at_ = 0;
  int line_ = 1;
  bool closed_ = false;
  NodeBudget budget_;
  std::string error_;
};

}  // namespace

bool ParseJson(const std::string& text, Node* root, std::string* error) {
  *root = Node();
  if (!CheckFileText(text, true, error)) return false;
  JsonReader reader(text);
  if (reader.Read(root, error)) return true;
  *root = Node();
  return false;
}

}  // namespace launchers
