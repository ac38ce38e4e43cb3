#include "launchers/vdfText.h"

#include <cstring>

namespace launchers {
namespace {

class VdfReader {
 public:
  explicit VdfReader(const std::string& text) : text_(text) {}

  bool Read(Node* root, std::string* error) {
    root->kind = Node::Kind::Map;
    if (!ReadMembers(root, 0, 0)) {
      *error = error_;
      return false;
    }
    return true;
  }

 private:
  enum class Token { End, Open, Close, Word, Failed };

  // The members of a block up to its closing brace (depth > 0) or up to the end of the text (the top).
  bool ReadMembers(Node* block, int depth, int openLine) {
    for (;;) {
      std::string key;
      Token token = Next(&key);
      const int keyLine = tokenLine_;
      if (token == Token::Failed) return false;
      if (token == Token::End) {
        if (depth == 0) return true;
        return Fail(LineText(line_) + "the end of the file comes before the '}' of the block opened on line " +
                    std::to_string(openLine));
      }
      if (token == Token::Close) {
        if (depth > 0) return true;
        return Fail(LineText(line_) + "a '}' closes no block");
      }
      if (token == Token::Open) return Fail(LineText(line_) + "a block has no key before its '{'");
      if (IsCondition(key)) continue;  // a condition after the previous member's value
      if (!budget_.Take()) return Fail(LineText(line_) + "more than " + std::to_string(kMaxNodes) + " values");

      std::string value;
      token = Next(&value);
      // A condition may stand between a key and its block.
      while (token == Token::Word && IsCondition(value)) token = Next(&value);
      if (token == Token::Failed) return false;
      block->members.push_back(Member{key, Node()});
      Node& member = block->members.back().value;
      if (token == Token::Word) {
        member.text = value;
      } else if (token == Token::Open) {
        if (depth + 1 > kMaxDepth) {
          return Fail(LineText(line_) + "blocks nested deeper than " + std::to_string(kMaxDepth));
        }
        member.kind = Node::Kind::Map;
        if (!ReadMembers(&member, depth + 1, line_)) return false;
      } else {
        return Fail(LineText(keyLine) + "the key \"" + key + "\" has no value");
      }
    }
  }

  // An unquoted [...] word: a platform condition.
  bool IsCondition(const std::string& word) const {
    return !quoted_ && word.size() >= 2 && word.front() == '[' && word.back() == ']';
  }

  // Skips blanks and comments, then reads one token.
  Token Next(std::string* word) {
    for (;;) {
      if (at_ >= text_.size()) return Token::End;
      const char c = text_[at_];
      if (c == '\n') {
        ++line_;
        ++at_;
      } else if (c == ' ' || c == '\t' || c == '\r') {
        ++at_;
      } else if (c == '/' && at_ + 1 < text_.size() && text_[at_ + 1] == '/') {
        while (at_ < text_.size() && text_[at_] != '\n') ++at_;
      } else {
        break;
      }
    }
    tokenLine_ = line_;
    const char c = text_[at_];
    if (c == '{') {
      ++at_;
      return Token::Open;
    }
    if (c == '}') {
      ++at_;
      return Token::Close;
    }
    word->clear();
    quoted_ = c == '"';
    if (quoted_) return Quoted(word);
    while (at_ < text_.size() && std::strchr(" \t\r\n{}\"", text_[at_]) == nullptr) *word += text_[at_++];
    return Token::Word;
  }

  Token Quoted(std::string* word) {
    const int startLine = line_;
    ++at_;
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return Token::Word;
      if (c == '\n') ++line_;
      if (c != '\\' || at_ >= text_.size()) {
        *word += c;
        continue;
      }
      const char escaped = text_[at_++];
      switch (escaped) {
        case '\\': *word += '\\'; break;
        case '"': *word += '"'; break;
        case 'n': *word += '\n'; break;
        case 't': *word += '\t'; break;
        default:  // not an escape: both characters stand for themselves
          *word += '\\';
          *word += escaped;
          if (escaped == '\n') ++line_;
      }
    }
    Fail(LineText(startLine) + "a quoted text is not closed");
    return Token::Failed;
  }

  bool Fail(const std::string& reason) {
    error_ = reason;
    return false;
  }

  const std::string& text_;
  std::size_t at_ = 0;
  int line_ = 1;
  int tokenLine_ = 1;    // where the last token began
  bool quoted_ = false;  // the last word was quoted
  NodeBudget budget_;
  std::string error_;
};

}  // namespace

bool ParseVdf(const std::string& text, Node* root, std::string* error) {
  *root = Node();
  if (!CheckFileText(text, false, error)) return false;
  VdfReader reader(text);
  if (reader.Read(root, error)) return true;
  *root = Node();
  return false;
}

}  // namespace launchers
