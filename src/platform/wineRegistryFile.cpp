#include "platform/wineRegistryFile.h"

#include <cstdio>

#include "pe/resourceText.h"
#include "platform/nameFolding.h"

namespace platform {
namespace {

constexpr char kHeader[] = "WINE REGISTRY Version 2";
constexpr std::int64_t kFileTimeOfUnixEpoch = 11644473600;  // seconds from 1601 to 1970

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads an escaped text up to the unescaped `end` character, from `*at`; *at is left after `end`.
// Escapes as Wine reads them: C letters, \x with up to four hex digits, up to three octal digits, and a
// backslash before any other character for that character. Bytes above ASCII stand for themselves
// (Latin-1), as Wine takes them.
bool ReadEscaped(const std::string& line, std::size_t* at, char end, std::u16string* units) {
  std::size_t i = *at;
  while (i < line.size() && line[i] != end) {
    const auto byte = static_cast<unsigned char>(line[i]);
    if (byte != '\\') {
      units->push_back(byte);
      ++i;
      continue;
    }
    if (++i >= line.size()) return false;  // a backslash at the end of the line
    const char c = line[i];
    switch (c) {
      case 'a': units->push_back(u'\a'); ++i; continue;
      case 'b': units->push_back(u'\b'); ++i; continue;
      case 'e': units->push_back(u'\x1b'); ++i; continue;
      case 'f': units->push_back(u'\f'); ++i; continue;
      case 'n': units->push_back(u'\n'); ++i; continue;
      case 'r': units->push_back(u'\r'); ++i; continue;
      case 't': units->push_back(u'\t'); ++i; continue;
      case 'v': units->push_back(u'\v'); ++i; continue;
      default: break;
    }
    if (c == 'x') {
      std::uint32_t value = 0;
      std::size_t digits = 0;
      while (digits < 4 && i + 1 + digits < line.size() && HexValue(line[i + 1 + digits]) >= 0) {
        value = value * 16 + static_cast<std::uint32_t>(HexValue(line[i + 1 + digits]));
        ++digits;
      }
      if (digits == 0) return false;
      units->push_back(static_cast<char16_t>(value));
      i += 1 + digits;
    } else if (c >= '0' && c <= '7') {
      std::uint32_t value = 0;
      std::size_t digits = 0;
      while (digits < 3 && i + digits < line.size() && line[i + digits] >= '0' && line[i + digits] <= '7') {
        value = value * 8 + static_cast<std::uint32_t>(line[i + digits] - '0');
        ++digits;
      }
      units->push_back(static_cast<char16_t>(value));
      i += digits;
    } else {
      units->push_back(static_cast<unsigned char>(c));
      ++i;
    }
  }
  if (i >= line.size()) return false;  // no closing character
  *at = i + 1;
  return true;
}

// Writes UTF-16 units escaped as Wine writes them, with `delimiters` escaped too.
std::string WriteEscaped(const std::u16string& units, const char* delimiters) {
  static const char kLetters[33] = ".......abtnvfr.............e....";
  std::string text;
  char buffer[16];
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t c = units[i];
    const bool nextIsHex = i + 1 < units.size() && units[i + 1] < 128 && HexValue(static_cast<char>(units[i + 1])) >= 0;
    const bool nextIsOctal = i + 1 < units.size() && units[i + 1] >= '0' && units[i + 1] <= '7';
    if (c > 127) {
      std::snprintf(buffer, sizeof buffer, nextIsHex ? "\\x%04x" : "\\x%x", static_cast<unsigned>(c));
      text += buffer;
    } else if (c < 32) {
      if (kLetters[c] != '.') {
        text += '\\';
        text += kLetters[c];
      } else {
        std::snprintf(buffer, sizeof buffer, nextIsOctal ? "\\%03o" : "\\%o", static_cast<unsigned>(c));
        text += buffer;
      }
    } else {
      if (c == '\\' || c == delimiters[0] || c == delimiters[1]) text += '\\';
      text += static_cast<char>(c);
    }
  }
  return text;
}

// Bytes written as "hex:" or "hex(N):" data: two hex digits each, separated by commas.
bool ReadHexBytes(const std::string& data, std::size_t at, std::string* bytes) {
  bytes->clear();
  while (at < data.size()) {
    while (at < data.size() && data[at] == ' ') ++at;
    if (at >= data.size()) break;
    if (at + 1 >= data.size() || HexValue(data[at]) < 0 || HexValue(data[at + 1]) < 0) return false;
    bytes->push_back(static_cast<char>(HexValue(data[at]) * 16 + HexValue(data[at + 1])));
    at += 2;
    while (at < data.size() && data[at] == ' ') ++at;
    if (at < data.size() && data[at++] != ',') return false;
  }
  return true;
}

// Checks the data after '=' and says whether it is a text, giving the text.
bool ReadData(const std::string& data, bool* isText, std::u16string* text) {
  *isText = false;
  text->clear();
  std::size_t at = 0;
  if (data.compare(0, 4, "str(") == 0) {
    const std::size_t close = data.find("):", 4);
    if (close == std::string::npos || close == 4) return false;
    for (std::size_t i = 4; i < close; ++i) {
      if (HexValue(data[i]) < 0) return false;
    }
    at = close + 2;
  }
  if (at < data.size() && data[at] == '"') {
    ++at;
    if (!ReadEscaped(data, &at, '"', text)) return false;
    if (at != data.size()) return false;  // text after the closing quote
    const std::string kind = data.substr(0, data.find(':') == std::string::npos ? 0 : data.find(':'));
    *isText = at > 0 && (data[0] == '"' || kind == "str(1)" || kind == "str(2)");
    return true;
  }
  if (data.compare(0, 6, "dword:") == 0) {
    if (data.size() != 14) return false;
    for (std::size_t i = 6; i < 14; ++i) {
      if (HexValue(data[i]) < 0) return false;
    }
    return true;
  }
  std::size_t bytesAt = std::string::npos;
  std::string type;
  if (data.compare(0, 4, "hex:") == 0) {
    bytesAt = 4;
  } else if (data.compare(0, 4, "hex(") == 0) {
    const std::size_t close = data.find("):", 4);
    if (close == std::string::npos || close == 4) return false;
    for (std::size_t i = 4; i < close; ++i) {
      if (HexValue(data[i]) < 0) return false;
    }
    type = data.substr(4, close - 4);
    bytesAt = close + 2;
  }
  if (bytesAt == std::string::npos) return false;
  std::string bytes;
  if (!ReadHexBytes(data, bytesAt, &bytes)) return false;
  if (type == "1" || type == "2") {
    // A text stored as UTF-16 bytes, ending with its zero.
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
      const char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                  (static_cast<unsigned char>(bytes[i + 1]) << 8));
      if (unit == 0) break;
      text->push_back(unit);
    }
    *isText = true;
  }
  return true;
}

std::string Folded(const std::string& text) { return FoldNameCase(text); }

std::string WithoutCarriageReturn(const std::string& line) {
  return !line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line;
}

std::string LineError(std::size_t index, const char* what) {
  char text[160];
  std::snprintf(text, sizeof text, "line %zu: %s", index + 1, what);
  return text;
}

}  // namespace

std::string EscapeRegistryText(const std::string& utf8, bool* valid) {
  std::u16string units;
  *valid = pe::Utf8ToUtf16(utf8, &units);
  return WriteEscaped(units, "\"\"");
}

bool UnescapeRegistryText(const std::string& escaped, std::string* utf8) {
  const std::string quoted = escaped + "\"";
  std::size_t at = 0;
  std::u16string units;
  if (!ReadEscaped(quoted, &at, '"', &units) || at != quoted.size()) return false;
  *utf8 = pe::Utf16ToUtf8(units);
  return true;
}

bool WineRegistryFile::Parse(const std::string& text, std::string* error) {
  lines_.clear();
  keys_.clear();
  architecture_.clear();
  finalLineFeed_ = !text.empty() && text.back() == '\n';
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines_.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (lines_.empty() || WithoutCarriageReturn(lines_[0]) != kHeader) {
    *error = "not a Wine registry file (its first line is not \"" + std::string(kHeader) + "\")";
    return false;
  }
  for (std::size_t index = 1; index < lines_.size(); ++index) {
    const std::string line = WithoutCarriageReturn(lines_[index]);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '#') {
      if (keys_.empty() && line.compare(0, 6, "#arch=") == 0) architecture_ = line.substr(6);
      if (!keys_.empty()) keys_.back().lastLine = index;
      continue;
    }
    if (line[0] == '[') {
      // "[path] time": the time is optional; the path ends at the last ']'.
      std::size_t close = line.size();
      while (close > 1 && line[close - 1] >= '0' && line[close - 1] <= '9') --close;
      while (close > 1 && line[close - 1] == ' ') --close;
      if (close < 2 || line[close - 1] != ']') {
        *error = LineError(index, "a key line without its closing ]");
        return false;
      }
      std::string escaped = line.substr(1, close - 2);
      std::size_t at = 0;
      std::u16string units;
      escaped += ']';
      if (!ReadEscaped(escaped, &at, ']', &units) || at != escaped.size()) {
        *error = LineError(index, "a key name with a bad escape");
        return false;
      }
      keys_.push_back(Key{pe::Utf16ToUtf8(units), index, index, {}});
      continue;
    }
    if (line[0] != '"' && line[0] != '@') {
      *error = LineError(index, "neither a key, a value nor a comment");
      return false;
    }
    if (keys_.empty()) {
      *error = LineError(index, "a value before the first key");
      return false;
    }
    Value value{"", "", index, 1};
    std::size_t at = 1;
    if (line[0] == '"') {
      std::u16string units;
      if (!ReadEscaped(line, &at, '"', &units)) {
        *error = LineError(index, "a value name that does not end");
        return false;
      }
      value.name = pe::Utf16ToUtf8(units);
    }
    if (at >= line.size() || line[at] != '=') {
      *error = LineError(index, "a value without '='");
      return false;
    }
    value.data = line.substr(at + 1);
    // Hex data goes on over lines that end with a backslash.
    if (value.data.compare(0, 3, "hex") == 0) {
      while (!value.data.empty() && value.data.back() == '\\') {
        value.data.pop_back();
        if (index + value.lineCount >= lines_.size()) {
          *error = LineError(index, "hex data cut short at the end of the file");
          return false;
        }
        std::string next = WithoutCarriageReturn(lines_[index + value.lineCount]);
        ++value.lineCount;
        const std::size_t first = next.find_first_not_of(' ');
        value.data += first == std::string::npos ? std::string() : next.substr(first);
      }
    }
    bool isText = false;
    std::u16string ignored;
    if (!ReadData(value.data, &isText, &ignored)) {
      *error = LineError(index, "value data of no known form");
      return false;
    }
    index += value.lineCount - 1;
    keys_.back().lastLine = index;
    keys_.back().values.push_back(value);
  }
  return true;
}

std::string WineRegistryFile::Text() const {
  std::string text;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    text += lines_[i];
    if (i + 1 < lines_.size() || finalLineFeed_) text += '\n';
  }
  return text;
}

std::string WineRegistryFile::Architecture() const { return architecture_; }

const WineRegistryFile::Key* WineRegistryFile::FindKey(const std::string& path) const {
  const std::string wanted = Folded(path);
  for (const Key& key : keys_) {
    if (Folded(key.path) == wanted) return &key;
  }
  return nullptr;
}

WineRegistryFile::Key* WineRegistryFile::FindKey(const std::string& path) {
  return const_cast<Key*>(static_cast<const WineRegistryFile*>(this)->FindKey(path));
}

bool WineRegistryFile::ReadString(const std::string& keyPath, const std::string& name, std::string* value) const {
  const Key* key = FindKey(keyPath);
  if (!key) return false;
  const std::string wanted = Folded(name);
  for (const Value& entry : key->values) {
    if (Folded(entry.name) != wanted) continue;
    bool isText = false;
    std::u16string units;
    if (!ReadData(entry.data, &isText, &units) || !isText) return false;
    *value = pe::Utf16ToUtf8(units);
    return true;
  }
  return false;
}

void WineRegistryFile::InsertLines(std::size_t at, const std::vector<std::string>& lines) {
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), lines.begin(), lines.end());
  const std::size_t count = lines.size();
  for (Key& key : keys_) {
    if (key.keyLine >= at) key.keyLine += count;
    if (key.lastLine >= at) key.lastLine += count;
    for (Value& value : key.values) {
      if (value.firstLine >= at) value.firstLine += count;
    }
  }
}

void WineRegistryFile::AddKey(const std::string& path, std::int64_t unixTime) {
  std::u16string units;
  pe::Utf8ToUtf16(path, &units);
  // Keys are written with doubled backslashes between their components, and a time in two forms.
  char time[64];
  std::snprintf(time, sizeof time, "] %lld", static_cast<long long>(unixTime));
  char fileTime[40];
  const unsigned long long ticks = static_cast<unsigned long long>(unixTime + kFileTimeOfUnixEpoch) * 10000000ull;
  std::snprintf(fileTime, sizeof fileTime, "#time=%llx", ticks);
  std::vector<std::string> lines;
  if (!lines_.empty() && !WithoutCarriageReturn(lines_.back()).empty()) lines.push_back("");
  lines.push_back("[" + WriteEscaped(units, "[]") + time);
  lines.push_back(fileTime);
  const std::size_t at = lines_.size();
  InsertLines(at, lines);
  keys_.push_back(Key{path, lines_.size() - 1 - 1, lines_.size() - 1, {}});
  finalLineFeed_ = true;
}

bool WineRegistryFile::SetString(const std::string& keyPath, const std::string& name, const std::string& value,
                                 std::int64_t unixTime) {
  std::u16string nameUnits, valueUnits, pathUnits;
  if (!pe::Utf8ToUtf16(name, &nameUnits) || !pe::Utf8ToUtf16(value, &valueUnits) ||
      !pe::Utf8ToUtf16(keyPath, &pathUnits)) {
    return false;
  }
  if (keyPath.empty() || keyPath.front() == '\\' || keyPath.back() == '\\' || keyPath.find("\\\\") != std::string::npos) {
    return false;
  }
  Key* key = FindKey(keyPath);
  if (!key) {
    AddKey(keyPath, unixTime);
    key = &keys_.back();
  }
  const std::string data = "\"" + WriteEscaped(valueUnits, "\"\"") + "\"";
  const std::string line = (name.empty() ? std::string("@") : "\"" + WriteEscaped(nameUnits, "\"\"") + "\"") + "=" + data;
  const std::string wanted = Folded(name);
  for (std::size_t i = 0; i < key->values.size(); ++i) {
    Value& existing = key->values[i];
    if (Folded(existing.name) != wanted) continue;
    // The value's lines (several for hex data) give way to the one line of the text.
    const std::size_t first = existing.firstLine;
    const std::size_t removed = existing.lineCount - 1;
    lines_[first] = line;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(first + 1),
                 lines_.begin() + static_cast<std::ptrdiff_t>(first + 1 + removed));
    for (Key& other : keys_) {
      if (other.keyLine > first) other.keyLine -= removed;
      if (other.lastLine > first) other.lastLine -= removed;
      for (Value& entry : other.values) {
        if (entry.firstLine > first) entry.firstLine -= removed;
      }
    }
    existing.data = data;
    existing.lineCount = 1;
    return true;
  }
  const std::size_t at = key->lastLine + 1;
  InsertLines(at, {line});
  key = FindKey(keyPath);
  key->lastLine = at;
  key->values.push_back(Value{name, data, at, 1});
  return true;
}

}  // namespace platform
