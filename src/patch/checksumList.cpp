#include "patch/checksumList.h"

#include <unordered_map>

#include "El/Common/appFrame.h"
#include "patch/entryNames.h"
#include "pe/nameCase.h"
#include "platform/locale.h"

namespace patch {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The checksums after the blank: the first field always, more while white space is followed by a
// hexadecimal digit.
std::vector<std::uint32_t> ReadChecksums(const std::string& line, std::size_t position) {
  std::vector<std::uint32_t> checksums;
  std::uint32_t value = 0;
  position = ReadHexField(line, position, &value);
  checksums.push_back(value);
  while (position < line.size() && IsSpace(line[position])) {
    std::size_t next = position;
    while (next < line.size() && IsSpace(line[next])) ++next;
    if (next == line.size() || HexDigit(line[next]) < 0) break;
    position = ReadHexField(line, next, &value);
    checksums.push_back(value);
  }
  return checksums;
}

}  // namespace

std::size_t ReadHexField(const std::string& text, std::size_t position, std::uint32_t* value) {
  const std::size_t start = position;
  while (position < text.size() && IsSpace(text[position])) ++position;
  bool negative = false;
  if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
    negative = text[position] == '-';
    ++position;
  }
  // "0x" counts as a prefix only when a digit follows; "0xZ" reads as the number 0.
  if (position + 2 < text.size() && text[position] == '0' && (text[position + 1] == 'x' || text[position + 1] == 'X') &&
      HexDigit(text[position + 2]) >= 0) {
    position += 2;
  }
  std::uint64_t number = 0;
  bool overflow = false;
  const std::size_t digits = position;
  for (; position < text.size() && HexDigit(text[position]) >= 0; ++position) {
    number = number * 16 + static_cast<std::uint64_t>(HexDigit(text[position]));
    if (number > 0xFFFFFFFFu) {
      overflow = true;
      number = 0xFFFFFFFFu;
    }
  }
  if (position == digits) {  // no digits: nothing is read
    *value = 0;
    return start;
  }
  std::uint32_t result = static_cast<std::uint32_t>(number);
  if (overflow) result = 0xFFFFFFFFu;
  else if (negative) result = 0u - result;
  *value = result;
  return position;
}

std::vector<ChecksumRecord> ParseChecksumList(const std::string& list, const std::string& filter,
                                              const std::vector<std::string>& distributions, int* ignoredLines) {
  std::vector<ChecksumRecord> records;
  std::unordered_map<std::string, std::size_t> recordOfName;
  if (ignoredLines) *ignoredLines = 0;
  for (std::size_t start = 0, end; (end = list.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = list.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > kMaxChecksumLine) {
      if (ignoredLines) ++*ignoredLines;
      continue;
    }
    const std::size_t blank = line.find(' ');
    if (blank == std::string::npos) continue;
    ChecksumRecord record;
    record.checksums = ReadChecksums(line, blank + 1);
    std::string name = line.substr(0, blank);
    if (!name.empty() && name[0] == '+') {
      record.tolerated = true;
      name.erase(0, 1);
    }
    if (!filter.empty() && !pe::SameNameUpperCased(WithoutDistributionSuffix(name), WithoutDistributionSuffix(filter))) continue;
    record.rank = kNoRank;
    if (HasDistributionSuffix(name)) {
      const std::string tag = DistributionTag(name);
      name = WithoutDistributionSuffix(name);
      if (!distributions.empty()) {
        record.rank = -1;
        for (std::size_t i = 0; i < distributions.size(); ++i) {
          if (EqualIgnoringCase(distributions[i], tag)) {
            record.rank = static_cast<std::int32_t>(i);
            break;
          }
        }
        if (record.rank < 0) continue;  // a distribution this installation is not
      }
    }
    // Lists are written in UTF-8; the installation's names are in the program's narrow form.
    name = platform::NarrowFromUtf8(name);
    record.name = name;
    const auto found = recordOfName.emplace(pe::UpperName(name), records.size());
    if (found.second) {
      records.push_back(std::move(record));
    } else if (record.rank < records[found.first->second].rank) {
      records[found.first->second] = std::move(record);
    }
  }
  return records;
}

}  // namespace patch
