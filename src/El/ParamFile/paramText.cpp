// The config text parser: a recursive-descent reader over a byte stream with one byte of push-back,
// building the tree through the entry model's own operations.

#include "El/ParamFile/paramText.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "El/Common/appFrame.h"
#include "El/ParamFile/paramNameTable.h"
#include "El/ParamFile/paramNumber.h"
#include "El/ParamFile/preprocessor.h"
#include "El/QStream/qbstream.h"
#include "El/QStream/qstream.h"

namespace {

constexpr int kEnd = -1;
constexpr int kMessageSize = 512;
// A class gets a name index once it has this many members, so that the duplicate test stays cheap
// (one with about one member per bucket, as the binary loader uses; it stays with the class).
constexpr int kIndexFrom = 64;

// isspace and isalnum of the "C" locale, whatever the process locale is.
inline bool IsSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool IsWordByte(int c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
// How a byte is shown in a message: the end of input as 0xFF.
inline int Shown(int c) { return c == kEnd ? 0xFF : c; }

// The bytes of a C text (never NUL, never the end of input), tested in one step.
class ByteSet {
 public:
  explicit ByteSet(const char* bytes) {
    for (; *bytes; ++bytes) {
      const unsigned char c = static_cast<unsigned char>(*bytes);
      bits_[c >> 6] |= std::uint64_t(1) << (c & 63);
    }
  }
  bool Has(int c) const { return c >= 0 && ((bits_[c >> 6] >> (c & 63)) & 1) != 0; }

 private:
  std::uint64_t bits_[4] = {};
};

// Bytes of a stream with one byte of push-back of our own, so that un-reading never depends on where
// the stream's pages end.
class ByteReader {
 public:
  explicit ByteReader(QIStream& in) : in_(in) {}

  int Get() {
    if (pushed_ != kNone) {
      const int c = pushed_;
      pushed_ = kNone;
      return c;
    }
    return in_.get();
  }
  void Unget(int c) {
    if (c != kEnd) pushed_ = c;
  }
  int SkipSpaces() {
    Run(nullptr, IsSpace);
    return Get();
  }
  // Appends to `out` (when given) the bytes from here on for which `accept` holds, scanning the
  // stream's pages directly; the first other byte stays unread.
  template <class Accept>
  void Run(std::string* out, Accept accept) {
    if (pushed_ != kNone) {
      if (!accept(pushed_)) return;
      if (out) *out += static_cast<char>(pushed_);
      pushed_ = kNone;
    }
    for (;;) {
      int size = 0;
      const char* bytes = in_.PeekPage(size);
      if (!bytes) return;
      int used = 0;
      while (used < size && accept(static_cast<unsigned char>(bytes[used]))) ++used;
      if (out) out->append(bytes, static_cast<std::size_t>(used));
      in_.Advance(used);
      if (used < size) return;
    }
  }
  // Skips spaces and ';' after a closing brace and un-reads the next byte. A line feed ends the skip
  // (and is left to the caller's own skipping), so that what follows is reported with the line of the
  // brace.
  void SkipSpacesAndSemicolons() {
    int c = Get();
    while ((IsSpace(c) && c != '\n') || c == ';') c = Get();
    Unget(c);
  }
  // True when only spaces remain.
  bool AtEnd() {
    const int c = SkipSpaces();
    Unget(c);
    return c == kEnd;
  }
  QIStream& Stream() { return in_; }

 private:
  static constexpr int kNone = -2;
  QIStream& in_;
  int pushed_ = kNone;
};

class TextParser {
 public:
  // Classes get `owner` as they are made.
  TextParser(QIStream& in, ParamFile& file, IParamClassSource* owner = nullptr)
      : in_(in), file_(file), owner_(owner), elements_(kParamMaxNesting + 1) {}

  int ParseBody(ParamClass& cls, int depth);
  bool AtEnd() { return in_.AtEnd(); }
  bool HitUnterminatedString() const { return unterminatedString_; }
  ByteReader& Reader() { return in_; }

  // Reads a value up to a byte of `terminators` (see ReadQuoted and ReadPlain); true when the text is
  // not empty or the value was quoted.
  bool ReadValue(std::string& text, const char* terminators, bool* quoted = nullptr);
  void Error(const char* format, ...);
  void Warning(const char* format, ...);

 private:
  // Reads a word into `word` (cleared first).
  void ReadWord(std::string& word);
  bool ReadQuoted(std::string& text);
  void ReadPlain(std::string& text, const char* terminators, bool& ok);
  // After '#': the `line` directive; false for any other.
  bool Directive();
  int ParseMember(ParamClass& cls, ParamMemberFilter& filter, const std::string& name);
  int ParseClass(ParamClass& cls, ParamMemberFilter& filter, int depth);
  int ParseEnum(ParamClass& cls);
  int ParseExec(ParamClass& cls);
  int ParseArray(ParamRawArray& items, int depth);
  // Adds `entry` (named `name`) to `cls`, or reports and drops it when the name is taken.
  void Add(ParamClass& cls, ParamMemberFilter& filter, const ParamNameTable::Shared& name, ParamEntry* entry);
  // A plain value after `__EVAL` substitution.
  const std::string& Evaluated(const std::string& text);
  // The text of a value, shared with the values of equal text read before.
  RefString ShareText(const std::string& text) { return texts_.Share(text).text; }
  Ref<IParamArrayValue> NewPlainElement(const std::string& text);
  ParamEntry* NewPlainEntry(const RefString& name, const std::string& text);
  void Report(bool warning, const char* format, va_list args);

  ByteReader in_;
  ParamFile& file_;
  IParamClassSource* owner_;
  bool unterminatedString_ = false;
  // Buffers reused across members: the member word (two, as a class body's word is still in use
  // while the body of a member class is read), the value text, and the elements of each array level.
  std::string words_[2];
  std::string value_;
  std::string evaluated_;
  std::vector<std::vector<Ref<IParamArrayValue>>> elements_;
  ParamNameTable names_{ParamNameTable::kBank};  // the member names shared so far
  ParamNameTable texts_{ParamNameTable::kOwn};   // and the value texts
};

void Discard(ParamEntry* entry) {
  if (entry->IsClass()) {
    auto* cls = static_cast<ParamClass*>(entry);
    cls->DropLinksRecursive();
    if (cls->RefCounter() != 0) return;  // never here: only the links dropped above referred to it
  }
  delete entry;
}

void TextParser::Report(bool warning, const char* format, va_list args) {
  char formatted[kMessageSize];
  const int length = std::vsnprintf(formatted, sizeof formatted, format, args);
  // A NUL byte of the input ('%c' of the character met) would end the message there: it is shown as \0.
  const std::size_t used = length < 0 ? 0 : std::min(static_cast<std::size_t>(length), sizeof formatted - 1);
  std::string text;
  for (std::size_t i = 0; i < used; ++i) {
    if (formatted[i] == '\0') {
      text += "\\0";
    } else {
      text += formatted[i];
    }
  }
  const StreamSourcePosition position = in_.Stream().GetSourcePosition();
  if (warning) {
    WarningMessage("File %s, line %d: %s", position.file.Data(), position.line, text.c_str());
  } else {
    ErrorMessage("File %s, line %d: %s", position.file.Data(), position.line, text.c_str());
  }
}

void TextParser::Error(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Report(false, format, args);
  va_end(args);
}

void TextParser::Warning(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Report(true, format, args);
  va_end(args);
}

void TextParser::ReadWord(std::string& word) {
  word.clear();
  in_.Unget(in_.SkipSpaces());
  in_.Run(&word, IsWordByte);
}

bool TextParser::ReadQuoted(std::string& text) {
  for (;;) {
    in_.Run(&text, [](int c) { return c != '"' && c != '\r' && c != '\n'; });
    int c = in_.Get();
    if (c == kEnd) {
      Error("Config: End of file encountered after %s", text.c_str());
      unterminatedString_ = true;
      return true;
    }
    if (c == '"') {
      c = in_.Get();
      if (c == '"') {
        text += '"';
        continue;
      }
      while (IsSpace(c)) c = in_.Get();
      if (c != '\\') {
        in_.Unget(c);
        return true;
      }
      c = in_.Get();
      if (c != 'n') Error("Config: Unsupported escape sequence \\%c after %s", Shown(c), text.c_str());
      c = in_.SkipSpaces();
      if (c != '"') Error("Config: '\"' expected after %s", text.c_str());
      text += '\n';
      continue;
    }
    if (c == '\r' || c == '\n') Error("Config: End of line encountered after %s", text.c_str());
    text += static_cast<char>(c);
  }
}

void TextParser::ReadPlain(std::string& text, const char* terminatorBytes, bool& ok) {
  ok = true;
  const ByteSet terminators(terminatorBytes);
  // The value runs to a terminator, a line end or the end of input.
  in_.Run(&text, [&terminators](int c) { return !terminators.Has(c) && c != '\r' && c != '\n'; });
  int c = in_.Get();
  if (terminators.Has(c)) {
    in_.Unget(c);
  } else if (c == '\r' || c == '\n') {
    c = in_.SkipSpaces();
    while (c == '#') {
      if (!Directive()) {
        Error("Config: Wrong # directive");
        ok = false;
        return;
      }
      c = in_.SkipSpaces();
    }
    if (terminators.Has(c)) {
      in_.Unget(c);
    } else if (c != kEnd) {
      Error("Config: '%c' after %s", Shown(c), text.c_str());
    }
  }
  while (!text.empty() && IsSpace(static_cast<unsigned char>(text.back()))) text.pop_back();
}

bool TextParser::ReadValue(std::string& text, const char* terminators, bool* quoted) {
  text.clear();
  const int c = in_.SkipSpaces();
  if (quoted) *quoted = c == '"';
  if (c == '"') return ReadQuoted(text);
  in_.Unget(c);
  bool ok = true;
  ReadPlain(text, terminators, ok);
  return ok && !text.empty();
}

bool TextParser::Directive() {
  std::string word;
  ReadWord(word);
  if (word != "line") return false;
  std::string number;
  ReadValue(number, " \n\r");
  std::int32_t line = 0;
  if (!ParamTextToInt(number.c_str(), line)) return false;
  // The rest of the line, as it stands (the line end stays for the line count).
  std::string name;
  int c = in_.Get();
  while (c != kEnd && c != '\n' && c != '\r') {
    name += static_cast<char>(c);
    c = in_.Get();
  }
  in_.Unget(c);
  std::size_t first = 0;
  while (first < name.size() && IsSpace(static_cast<unsigned char>(name[first]))) ++first;
  name.erase(0, first);
  while (!name.empty() && IsSpace(static_cast<unsigned char>(name.back()))) name.pop_back();
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
  // The line end that follows advances the count to `line`.
  in_.Stream().SetSourcePosition(RefString(name.c_str()), line == INT32_MIN ? line : line - 1);
  return true;
}

const std::string& TextParser::Evaluated(const std::string& text) {
  if (text.compare(0, 6, "__EVAL") != 0) return text;
  RefString result;
  file_.EvaluateString(result, text.c_str() + 6);
  evaluated_ = result.Data();
  return evaluated_;
}

// Values are C texts: a NUL byte read into a value ends it, as it does for every reader of the value
// (ShareText keeps the text up to it).
template <class Raw>
Raw TextRaw(const RefString& text) {
  Raw raw;
  raw.text = text;
  return raw;
}

// A plain text read as a number where it is one: integer, then float, else text.
struct PlainValue {
  int type = PVTText;
  ParamRawValueInt integer;
  ParamRawValueFloat real;

  explicit PlainValue(const std::string& text) {
    if (ParamTextToInt(text.c_str(), integer.value)) {
      type = PVTInt;
    } else if (ParamTextToFloat(text.c_str(), real.value)) {
      type = PVTFloat;
    }
  }
};

ParamEntry* TextParser::NewPlainEntry(const RefString& name, const std::string& text) {
  const PlainValue value(text);
  if (value.type == PVTInt) return new ParamValueInt(name, value.integer);
  if (value.type == PVTFloat) return new ParamValueFloat(name, value.real);
  return new ParamValueText(name, TextRaw<ParamRawValue>(ShareText(text)));
}

Ref<IParamArrayValue> TextParser::NewPlainElement(const std::string& text) {
  const PlainValue value(text);
  if (value.type == PVTInt) return new ParamArrayValueSpec<ParamRawValueInt>(value.integer);
  if (value.type == PVTFloat) return new ParamArrayValueSpec<ParamRawValueFloat>(value.real);
  return new ParamArrayValueSpec<ParamRawValue>(TextRaw<ParamRawValue>(ShareText(text)));
}

void TextParser::Add(ParamClass& cls, ParamMemberFilter& filter, const ParamNameTable::Shared& name,
                     ParamEntry* entry) {
  if (filter.MayHold(name.hash) && cls.FindMember(name.text, name.hash) >= 0) {
    Error("%s: Member already defined.", cls.GetContext(name.text).Data());
    Discard(entry);
    return;
  }
  filter.Add(name.hash);
  // Entries get their file and classes their owner as they join the tree.
  if (entry->IsClass()) {
    entry->SetOwner(owner_, false);
  } else {
    entry->SetFile(&file_);
  }
  // Shared names compare by identity: this is the case-sensitive test for "access".
  static const RefString access = ParamShareName("access");
  if (name.text.Block() == access.Block()) cls.SetAccess(entry->GetInt());
  cls.AppendEntry(entry, name.hash);  // absent: looked up above
  if (cls.GetEntryCount() == kIndexFrom) cls.BuildLoadIndex();
}

int TextParser::ParseBody(ParamClass& cls, int depth) {
  ParamMemberFilter filter(cls.GetEntryCount());
  for (;;) {
    int c = in_.SkipSpaces();
    if (c == kEnd) {
      if (in_.Stream().fail()) return PTRReadFailed;
      // Only the root may end with the input: a class still open there was cut short.
      if (depth == 0) return PTROk;
      Error("Config: End of file encountered inside class %s", cls.GetContext().Data());
      return PTRSyntax;
    }
    if (c == '#') {
      if (!Directive()) {
        Error("%s: Wrong # directive", cls.GetContext().Data());
        return PTRSyntax;
      }
      continue;
    }
    if (c == '}') {
      in_.SkipSpacesAndSemicolons();
      cls.InheritAccess();
      return PTROk;
    }
    in_.Unget(c);
    std::string& word = words_[depth % 2];
    ReadWord(word);
    int result = PTROk;
    if (word == "delete") {
      std::string name;
      ReadWord(name);
      c = in_.SkipSpaces();
      if (c != ';') {
        Error("%s: '%c' encountered instead of ';'", cls.GetContext().Data(), Shown(c));
        return PTRSyntax;
      }
      const ParamNameTable::Shared shared = names_.Share(name);
      auto* marker = new ParamClassDelete(shared.text);
      marker->SetParent(&cls);
      Add(cls, filter, shared, marker);
    } else if (word == "class") {
      result = ParseClass(cls, filter, depth);
    } else if (word == "enum") {
      result = ParseEnum(cls);
    } else if (word == "__EXEC") {
      result = ParseExec(cls);
    } else {
      result = ParseMember(cls, filter, word);
    }
    if (result != PTROk) return result;
  }
}

int TextParser::ParseClass(ParamClass& cls, ParamMemberFilter& filter, int depth) {
  std::string name;
  ReadWord(name);
  int c = in_.SkipSpaces();
  const ParamNameTable::Shared shared = names_.Share(name);
  if (c == ';') {
    auto* declaration = new ParamClassDecl(shared.text);
    declaration->SetParent(&cls);
    Add(cls, filter, shared, declaration);
    return PTROk;
  }
  std::unique_ptr<ParamClass, void (*)(ParamClass*)> member(new ParamClass(shared.text),
                                                            [](ParamClass* dropped) { Discard(dropped); });
  member->SetParent(&cls);
  if (c == ':') {
    std::string baseName;
    ReadWord(baseName);
    ParamEntryPtr base = cls.FindScoped(baseName.c_str());
    if (!base) {
      Error("%s: Undefined base class '%s'", cls.GetContext(name.c_str()).Data(), baseName.c_str());
      return PTRSyntax;
    }
    if (!base->IsClass()) {
      Error("%s: '%s' is not class", cls.GetContext(name.c_str()).Data(), baseName.c_str());
      return PTRSyntax;
    }
    member->SetBase(base->GetClassInterface());
    c = in_.Get();
  }
  if (IsSpace(c)) c = in_.SkipSpaces();
  if (c != '{') {
    Error("%s: '%c' encountered instead of '{'", cls.GetContext().Data(), Shown(c));
    return PTRSyntax;
  }
  if (depth + 1 >= kParamMaxNesting) {
    Error("%s: Classes nested deeper than %d levels", cls.GetContext(name.c_str()).Data(), kParamMaxNesting);
    return PTRSyntax;
  }
  const int result = ParseBody(*member, depth + 1);
  if (result != PTROk) return result;
  member->CompactMembers();
  Add(cls, filter, shared, member.release());
  return PTROk;
}

int TextParser::ParseEnum(ParamClass& cls) {
  std::string element;
  ReadWord(element);  // the enum's own name means nothing
  int c = in_.Get();
  if (c != '{') {
    if (IsSpace(c)) c = in_.SkipSpaces();
    if (c != '{') {
      Error("%s: '%c' encountered instead of '{'", cls.GetContext().Data(), Shown(c));
      return PTRSyntax;
    }
  }
  std::int32_t counter = 0;
  std::string value;
  do {
    ReadWord(element);
    c = in_.SkipSpaces();
    if (c == '=') {
      ReadValue(value, ",}");
      c = in_.Get();
      counter = ParamRoundToInt(file_.EvaluateNumber(value.c_str()));
    }
    file_.SetFloat(element.c_str(), static_cast<float>(counter), 1, 1);
    ++counter;
  } while (c == ',');
  if (c != '}') {
    Error("%s: '%c' encountered instead of '}'", cls.GetContext().Data(), Shown(c));
    return PTRSyntax;
  }
  in_.SkipSpacesAndSemicolons();
  return PTROk;
}

int TextParser::ParseExec(ParamClass& cls) {
  int c = in_.Get();
  if (c != '(') {
    if (IsSpace(c)) c = in_.SkipSpaces();
    if (c != '(') {
      Error("%s: '%c' encountered instead of '('", cls.GetContext().Data(), Shown(c));
      return PTRSyntax;
    }
  }
  std::string text;
  ReadValue(text, ")");
  c = in_.Get();
  if (c != ')') {
    Error("%s: '%c' encountered instead of ')'", cls.GetContext().Data(), Shown(c));
    return PTRSyntax;
  }
  in_.SkipSpacesAndSemicolons();
  file_.Execute(text.c_str());
  return PTROk;
}

int TextParser::ParseMember(ParamClass& cls, ParamMemberFilter& filter, const std::string& name) {
  const ParamNameTable::Shared shared = names_.Share(name);
  int c = in_.Get();
  if (c == '[') {
    c = in_.SkipSpaces();
    if (c != ']') {
      Error("Config: %s: '%c' encountered instead of ']'", cls.GetContext(name.c_str()).Data(), Shown(c));
      return PTRSyntax;
    }
    c = in_.SkipSpaces();
    if (c != '=') {
      Error("Config: %s: '%c' encountered instead of '='", cls.GetContext(name.c_str()).Data(), Shown(c));
      return PTRSyntax;
    }
    std::unique_ptr<ParamArray> array(new ParamArray(shared.text));
    const int result = ParseArray(array->Elements(), 0);
    if (result != PTROk) return result;
    c = in_.SkipSpaces();
    if (c != ';') {
      Error("%s: '%c' encountered instead of ';'", cls.GetContext(name.c_str()).Data(), Shown(c));
      return PTRSyntax;
    }
    Add(cls, filter, shared, array.release());
    return PTROk;
  }
  if (IsSpace(c)) c = in_.SkipSpaces();
  std::string& text = value_;
  if (c != '=') {
    ReadValue(text, "\n");
    WarningMessage("Error context %s", text.c_str());
    Error("'%s': '%c' encountered instead of '='", cls.GetContext(name.c_str()).Data(), Shown(c));
    return PTRSyntax;
  }
  c = in_.SkipSpaces();
  const bool expression = c == '@';
  if (!expression) in_.Unget(c);
  bool quoted = false;
  ReadValue(text, ";\n\r", &quoted);
  const int next = in_.Get();
  if (next == '\r' || next == '\n') {
    Warning("'%s': Missing ';' at the end of line", cls.GetContext(name.c_str()).Data());
  } else if (next != ';') {
    if (!quoted) {
      Error("'%s': '%c' encountered instead of ';'", cls.GetContext(name.c_str()).Data(), Shown(next));
      return PTRSyntax;
    }
    in_.Unget(next);
    Warning("'%s': Missing ';' at the end of line", cls.GetContext(name.c_str()).Data());
  }
  ParamEntry* entry;
  if (expression) {
    entry = new ParamValueExpression(shared.text, TextRaw<ParamRawValueExpression>(ShareText(text)));
  } else if (quoted) {
    entry = new ParamValueText(shared.text, TextRaw<ParamRawValue>(ShareText(text)));
  } else {
    entry = NewPlainEntry(shared.text, Evaluated(text));
  }
  Add(cls, filter, shared, entry);
  return PTROk;
}

int TextParser::ParseArray(ParamRawArray& items, int depth) {
  int c = in_.SkipSpaces();
  if (c != '{') {
    Error("Config: '%c' encountered instead of '{'", Shown(c));
    return PTRSyntax;
  }
  if (depth >= kParamMaxNesting) {
    Error("Config: Arrays nested deeper than %d levels", kParamMaxNesting);
    return PTRSyntax;
  }
  std::vector<Ref<IParamArrayValue>>& collected = elements_[static_cast<std::size_t>(depth)];
  collected.clear();
  std::string& text = value_;
  for (;;) {
    c = in_.SkipSpaces();
    in_.Unget(c);
    int next;
    if (c == '{') {
      Ref<IParamArrayValue> nested(new ParamArrayValueArray);
      const int result = ParseArray(static_cast<ParamArrayValueArray*>(nested.GetRef())->Items(), depth + 1);
      if (result != PTROk) return result;
      collected.push_back(nested);
      next = in_.Get();
    } else if (c == '#') {
      in_.Get();
      if (!Directive()) {
        Error("Config: Wrong # directive");
        return PTRSyntax;
      }
      continue;
    } else if (c == '@') {
      in_.Get();
      // A quoted expression counts even when empty, as a quoted text does, so that the writer's
      // @"" comes back.
      const bool read = ReadValue(text, ",;}");
      next = in_.Get();
      if (read || next == ',' || next == ';') {
        collected.push_back(Ref<IParamArrayValue>(
            new ParamArrayValueSpec<ParamRawValueExpression>(TextRaw<ParamRawValueExpression>(ShareText(text)))));
      }
    } else {
      bool quoted = false;
      const bool read = ReadValue(text, ",;}", &quoted);
      next = in_.Get();
      if (read || next == ',' || next == ';') {
        collected.push_back(quoted ? Ref<IParamArrayValue>(new ParamArrayValueSpec<ParamRawValue>(TextRaw<ParamRawValue>(ShareText(text))))
                         : NewPlainElement(Evaluated(text)));
      }
    }
    if (IsSpace(next)) next = in_.SkipSpaces();
    if (next == kEnd) {
      Error("EOF encountered.");
      return PTRSyntax;
    }
    if (next == '}') {
      in_.Unget(in_.SkipSpaces());
      items.Reserve(items.Size() + static_cast<int>(collected.size()));
      for (Ref<IParamArrayValue>& element : collected) items.Add(std::move(element));
      collected.clear();
      return PTROk;
    }
    if (next != ',' && next != ';') {
      Error("Config: '%c' encountered instead of ','", Shown(next));
      return PTRSyntax;
    }
  }
}

// Runs the preprocessor over a file into memory; false when it fails.
bool Preprocess(QOStrStream& out, const char* fileName) {
  return GPreprocessorFunctions->PreprocessFile(out, fileName, 1);
}

// The preprocessed text as a line-tracking stream that names `source` in messages.
std::unique_ptr<QIPreprocessedStream> LineStream(const QOStrStream& text, const char* source) {
  std::unique_ptr<QIStrStream> inner(new QIStrStream);
  inner->open(text);
  std::unique_ptr<QIPreprocessedStream> in(new QIPreprocessedStream(std::move(inner)));
  in->SetSourcePosition(RefString(source), 1);
  return in;
}

int ParsePreprocessed(ParamFile& file, const QOStrStream& text, const char* fileName, IParamClassSource* owner,
                      Evaluator* parent) {
  std::unique_ptr<QIPreprocessedStream> in = LineStream(text, fileName);
  const int result = ParseTextStream(file, *in, owner, parent);
  file.SetName(fileName);
  return in->fail() ? static_cast<int>(in->error()) : result;
}

}  // namespace

int ParseTextStream(ParamFile& file, QIStream& in, IParamClassSource* owner, Evaluator* parent) {
  Ref<IParamClassSource> keep(owner);
  const RefString name = file.GetName();
  file.Clear();
  file.SetName(name);
  file.CreateEvaluator(parent);
  file.BeginContext();
  // The tree's classes must stay loaded: an owner that could unload them is wrapped in one that cannot.
  Ref<IParamClassSource> indirect;
  IParamClassSource* used = owner;
  if (owner && owner->CanUnload()) {
    LogF("Strange - source %s of .cpp file can unload", owner->GetSourceName().Data());
    indirect = new ParamClassOwnerIndirectNoUnload(owner);
    used = indirect.GetRef();
  }
  // Every entry gets the file, and every class the owner, as the parser adds it.
  TextParser parser(in, file, used);
  int result;
  {
    ParamArenaScope arena(file.GetArena());
    result = parser.ParseBody(file, 0);
  }
  file.EndContext();
  file.SetOwner(used, false);
  file.CompactMembers();
  if (in.fail()) return PTRReadFailed;
  if (!parser.AtEnd()) {
    ErrorMessage("Config %s: some input after EndOfFile.", file.GetName().Data());
    return PTRSyntax;
  }
  if (result == PTROk && parser.HitUnterminatedString()) return PTRSyntax;
  return result;
}

int ParseText(ParamFile& file, const char* fileName, IParamClassSource* owner, Evaluator* parent) {
  file.SetName(fileName);
  if (!BankFileExists(fileName)) return PTROk;
  QOStrStream text;
  if (!Preprocess(text, fileName)) return PTRSyntax;
  return ParsePreprocessed(file, text, fileName, owner, parent);
}

int ParseText(ParamFile& file, QFBank& bank, const char* name, Evaluator* parent) {
  file.SetName(name);
  if (!bank.FileExists(name)) return PTROk;
  QOStrStream text;
  if (!GPreprocessorFunctions->PreprocessBank(text, bank, name, 1)) return PTRSyntax;
  Ref<IParamClassSource> owner(new ParamClassOwnerNoUnload(name, ""));
  return ParsePreprocessed(file, text, name, owner.GetRef(), parent);
}

int ParseLines(ParamFile& file, const char* fileName, Evaluator* parent) {
  file.SetName(fileName);
  if (!BankFileExists(fileName)) return PTROk;
  QOStrStream text;
  if (!Preprocess(text, fileName)) return PTRSyntax;
  std::unique_ptr<QIPreprocessedStream> in = LineStream(text, fileName);
  file.CreateEvaluator(parent);
  TextParser parser(*in, file);
  ByteReader& reader = parser.Reader();
  std::string token;
  int counter = 1;
  for (int c = reader.SkipSpaces(); c != -1; c = reader.SkipSpaces()) {
    reader.Unget(c);
    parser.ReadValue(token, " \t\r\n");
    reader.Get();
    const RefString name = RefString::Format("Line%d", counter++);
    if (file.FindMember(name) >= 0) {
      parser.Error("%s: Member already defined.", file.GetContext(name).Data());
      continue;
    }
    file.AppendEntry(new ParamValueText(ParamShareName(name), TextRaw<ParamRawValue>(RefString(token.c_str()))));
    if (file.GetEntryCount() == kIndexFrom) file.BuildIndex();
  }
  file.SetFile(&file);
  file.Compact();
  file.SetOwner(Ref<IParamClassSource>(new ParamClassOwnerNoUnload("", "")).GetRef(), true);
  return in->fail() ? static_cast<int>(in->error()) : static_cast<int>(PTROk);
}

int ParseBin(ParamFile& file, QFBank& bank, const char* name, Evaluator* parent) {
  Ref<IFileBuffer> entry = bank.OpenEntry(name);
  if (!entry || entry->IsError()) return PBRBankFailed;
  QIStreamDataSource in;
  in.AttachSource(entry);
  Ref<IParamClassSource> owner(new ParamClassOwnerNoUnload(name));
  return file.ParseBin(in, owner.GetRef(), parent);
}

bool Parse(ParamFile& file, const char* fileName, IParamClassSource* owner, Evaluator* parent) {
  int result = file.ParseBin(fileName, owner, parent);
  if (result == PBRBadMagic) result = ParseText(file, fileName, owner, parent);
  return result == 0;
}

bool Parse(ParamFile& file, QFBank& bank, const char* name, Evaluator* parent) {
  int result = ParseBin(file, bank, name, parent);
  if (result == PBRBadMagic) result = ParseText(file, bank, name, parent);
  return result == 0;
}

bool SaveText(const ParamFile& file, const char* fileName, const char* lineEnd) {
  QOFStream out(fileName);
  file.Save(out, 0, lineEnd);
  out.Close();
  if (out.Fail()) {
    ErrorMessage("Cannot write config '%s': %s", fileName, LSErrorText(out.error()));
    return false;
  }
  return true;
}
