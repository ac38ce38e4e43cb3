#include "pe/nameCase.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "pe/resourceText.h"

namespace pe {
namespace {

struct CasePair {
  std::uint16_t code;
  std::uint16_t upper;
};

const CasePair kUpperCase[] = {
#include "pe/upperCaseTable.inc"
};

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
    char32_t code = 0;
    std::size_t length = 0;
    const bool decoded = byte >= 0x80 && DecodeUtf8(name, i, &code, &length);
    if (decoded && code < 0x10000) {
      // Every upper-case form lies in the same plane, so the result is valid UTF-8 again.
      AppendUtf8(UpperCodeUnit(static_cast<char16_t>(code)), &upper);
      i += length;
    } else if (decoded) {
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
