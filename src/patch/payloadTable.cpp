#include "patch/payloadTable.h"

#include <cstring>

namespace patch {
namespace {

// A decimal size without sign or leading zeros, at most 2^63 - 1.
bool ParseSize(const std::string& text, std::uint64_t* size) {
  if (text.empty() || text.size() > 19 || (text.size() > 1 && text[0] == '0')) return false;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (value > 0x7FFFFFFFFFFFFFFFull) return false;
  *size = value;
  return true;
}

bool IsLowerHexDigest(const std::string& text) {
  if (text.size() != 64) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

bool HasControlCharacter(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) return true;
  }
  return false;
}

bool Refuse(std::size_t line, const std::string& reason, PayloadTable* table, std::string* error) {
  table->clear();
  *error = line ? "line " + std::to_string(line) + ": " + reason : reason;
  return false;
}

}  // namespace

bool IsPayloadTableEntry(const std::string& name) {
  return name == kPayloadTableEntry || name == kPayloadTableSignatureEntry;
}

bool ParsePayloadTable(const std::uint8_t* bytes, std::size_t size, PayloadTable* table, std::string* error) {
  table->clear();
  if (size > kMaxPayloadTableSize) return Refuse(0, "the table is larger than 128 MiB", table, error);
  if (size == 0 || bytes[size - 1] != '\n') {
    return Refuse(0, "the table is empty or does not end with a line feed", table, error);
  }
  const char* text = reinterpret_cast<const char*>(bytes);
  std::size_t lineNumber = 0;
  for (std::size_t start = 0; start < size;) {
    const char* end = static_cast<const char*>(std::memchr(text + start, '\n', size - start));
    const std::size_t length = static_cast<std::size_t>(end - (text + start));
    const std::string line(text + start, length);
    start += length + 1;
    ++lineNumber;
    if (lineNumber == 1) {
      if (line != kPayloadTableHeader) return Refuse(1, "not a payload table of a known format", table, error);
      continue;
    }
    const std::size_t firstBlank = line.find(' ');
    const std::size_t secondBlank = firstBlank == std::string::npos ? firstBlank : line.find(' ', firstBlank + 1);
    if (secondBlank == std::string::npos) return Refuse(lineNumber, "not \"<size> <digest> <name>\"", table, error);
    PayloadTableEntry entry;
    const std::string digest = line.substr(firstBlank + 1, secondBlank - firstBlank - 1);
    const std::string name = line.substr(secondBlank + 1);
    if (!ParseSize(line.substr(0, firstBlank), &entry.size)) return Refuse(lineNumber, "bad size", table, error);
    if (!IsLowerHexDigest(digest) || !platform::ParseDigestText(digest, &entry.digest)) {
      return Refuse(lineNumber, "bad digest", table, error);
    }
    if (name.empty() || name.size() > kMaxPayloadTableName || HasControlCharacter(name)) {
      return Refuse(lineNumber, "bad entry name", table, error);
    }
    if (IsPayloadTableEntry(name)) return Refuse(lineNumber, "the table lists itself", table, error);
    if (!table->emplace(name, entry).second) return Refuse(lineNumber, name + " is listed twice", table, error);
  }
  if (lineNumber == 0) return Refuse(0, "the table has no header", table, error);
  return true;
}

std::string PayloadTableText(const PayloadTable& table) {
  std::string text = std::string(kPayloadTableHeader) + "\n";
  for (const auto& [name, entry] : table) {
    text += std::to_string(entry.size) + " " + platform::DigestText(entry.digest) + " " + name + "\n";
  }
  return text;
}

}  // namespace patch
