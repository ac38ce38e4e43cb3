#include "pe/nameCase.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace pe {
namespace {

struct CasePair {
  std::uint16_t code;
  std::uint16_t upper;
};

const CasePair kUpperCase[] = {
#include "pe/upperCaseTable.inc"
};

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The code point of the valid UTF-8 sequence at `at`, its length in *length; 0 when it is not valid
// (overlong, a surrogate, past U+10FFFF or cut short).
std::uint32_t DecodeAt(const std::string& text, std::size_t at, std::size_t* length) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t count = 0;
  std::uint32_t code = 0, least = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    count = 2; code = lead & 0x1Fu; least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    count = 3; code = lead & 0x0Fu; least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    count = 4; code = lead & 0x07u; least = 0x10000;
  } else {
    return 0;
  }
  if (count > text.size() - at) return 0;
  for (std::size_t i = 1; i < count; ++i) {
    const auto byte = static_cast<unsigned char>(text[at + i]);
    if (!IsContinuation(byte)) return 0;
    code = (code << 6) | (byte & 0x3Fu);
  }
  if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  *length = count;
  return code;
}

void AppendUtf8(std::uint32_t code, std::string* out) {
  if (code < 0x80) {
    *out += static_cast<char>(code);
  } else if (code < 0x800) {
    *out += static_cast<char>(0xC0 | (code >> 6));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    *out += static_cast<char>(0xE0 | (code >> 12));
    *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

char16_t UpperCodeUnit(char16_t unit) {
  if (unit < 0x80) return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - 0x20) : unit;
  const auto found = std::lower_bound(std::begin(kUpperCase), std::end(kUpperCase), unit,
                                      [](const CasePair& pair, char16_t code) { return pair.code < code; });
  return found != std::end(kUpperCase) && found->code == unit ? static_cast<char16_t>(found->upper) : unit;
}

void UpperUtf16(std::u16string* text) {
  for (char16_t& unit : *text) unit = UpperCodeUnit(unit);
}

std::string UpperName(const std::string& name) {
  std::string upper;
  upper.reserve(name.size());
  for (std::size_t i = 0; i < name.size();) {
    const auto byte = static_cast<unsigned char>(name[i]);
    std::size_t length = 0;
    const std::uint32_t code = byte < 0x80 ? 0 : DecodeAt(name, i, &length);
    if (code >= 0x80 && code < 0x10000) {
      // Every upper-case form lies in the same plane, so the result is valid UTF-8 again.
      AppendUtf8(UpperCodeUnit(static_cast<char16_t>(code)), &upper);
      i += length;
    } else if (code >= 0x10000) {
      upper.append(name, i, length);  // beyond the basic plane: a surrogate pair, left as it is
      i += length;
    } else {
      upper += static_cast<char>(byte >= 'a' && byte <= 'z' ? byte - 0x20 : byte);
      ++i;
    }
  }
  return upper;
}

bool SameNameUpperCased(const std::string& a, const std::string& b) { return a == b || UpperName(a) == UpperName(b); }

}  // namespace pe
