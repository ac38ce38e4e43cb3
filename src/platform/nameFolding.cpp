#include "platform/nameFolding.h"

#include <cstdint>

namespace platform {
namespace {

// The lower-case letter of an upper-case one in the folded ranges; others unchanged.
std::uint32_t LowerLetter(std::uint32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 0x20;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
  if (c >= 0x100 && c <= 0x17F) {
    if (c == 0x130) return 'i';  // capital I with dot above
    if (c == 0x178) return 0xFF;  // Y with diaeresis
    // Pairs start on an even code below U+0138 and from U+014A to U+0177, on an odd one elsewhere.
    const bool evenUpper = (c < 0x138) || (c >= 0x14A && c < 0x178);
    if (evenUpper ? c % 2 == 0 : (c % 2 == 1 && c != 0x138 && c != 0x149 && c != 0x17F)) return c + 1;
    return c;
  }
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20;  // Greek capitals
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;                // Cyrillic Ѐ-Џ
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;                // Cyrillic А-Я
  return c;
}

void AppendUtf8(std::uint32_t c, std::string* out) {
  if (c < 0x80) {
    *out += static_cast<char>(c);
  } else if (c < 0x800) {
    *out += static_cast<char>(0xC0 | (c >> 6));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out += static_cast<char>(0xE0 | (c >> 12));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string FoldNameCase(const std::string& name) {
  std::string folded;
  folded.reserve(name.size());
  for (std::size_t i = 0; i < name.size();) {
    const auto byte = static_cast<unsigned char>(name[i]);
    // Two-byte sequences hold every folded letter above ASCII; longer ones are copied unchanged.
    if (byte >= 0xC2 && byte <= 0xDF && i + 1 < name.size() && (static_cast<unsigned char>(name[i + 1]) & 0xC0) == 0x80) {
      const std::uint32_t c = ((byte & 0x1Fu) << 6) | (static_cast<unsigned char>(name[i + 1]) & 0x3Fu);
      AppendUtf8(LowerLetter(c), &folded);
      i += 2;
      continue;
    }
    folded += static_cast<char>(byte < 0x80 ? LowerLetter(byte) : byte);
    ++i;
  }
  return folded;
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b) { return FoldNameCase(a) == FoldNameCase(b); }

}  // namespace platform
