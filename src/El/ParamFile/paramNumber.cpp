#include "El/ParamFile/paramNumber.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "El/Common/appFrame.h"

namespace {

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

}  // namespace

bool ParamTextToInt(const char* text, std::int32_t& value) {
  if (!text || !*text) return false;
  char* end = nullptr;
  errno = 0;
  long decimal = std::strtol(text, &end, 10);
  if (end != text && *end == 0) {
    // long is 64-bit on some targets: saturate to the 32-bit range the way a 32-bit strtol does.
    if (decimal > INT32_MAX) decimal = INT32_MAX;
    if (decimal < INT32_MIN) decimal = INT32_MIN;
    value = static_cast<std::int32_t>(decimal);
    return true;
  }
  if (text[0] != '0' || (text[1] != 'x' && text[1] != 'X') || !IsHexDigit(text[2])) return false;
  std::uint32_t hex = 0;
  for (const char* p = text + 2; *p; ++p) {
    if (!IsHexDigit(*p)) return false;
    hex = (hex << 4) | static_cast<std::uint32_t>(HexValue(*p));
  }
  value = static_cast<std::int32_t>(hex);
  return true;
}

bool ParamTextToFloat(const char* text, float& value) {
  if (!text || !*text) return false;
  char* end = nullptr;
  double plain = std::strtod(text, &end);
  if (end != text && *end == 0) {
    value = static_cast<float>(plain);
    return true;
  }
  if (text[0] != 'd' || text[1] != 'b') return false;
  double level = std::strtod(text + 2, &end);
  if (*end != 0) LogF("invalid db value %s", text);
  value = std::pow(10.0f, static_cast<float>(level) * 0.05f);
  return true;
}

std::int32_t ParamRoundToInt(float value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0f) return INT32_MAX;
  if (value <= -2147483648.0f) return INT32_MIN;
  return static_cast<std::int32_t>(std::nearbyint(value));
}
