#include "pe/resourceText.h"

namespace pe {
namespace {

void AppendUtf8(std::string* out, char32_t c) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | c >> 6));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | c >> 12));
    out->push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | c >> 18));
    out->push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

std::string Utf16ToUtf8(const char16_t* text, std::size_t count) {
  std::string out;
  out.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    char32_t c = text[i];
    if (IsHighSurrogate(c) && i + 1 < count && IsLowSurrogate(text[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(text[i + 1]) - 0xDC00);
      ++i;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      c = 0xFFFD;
    }
    AppendUtf8(&out, c);
  }
  return out;
}

bool Utf8ToUtf16(const std::string& text, std::u16string* result) {
  result->clear();
  const std::size_t size = text.size();
  for (std::size_t i = 0; i < size;) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    std::size_t length;
    char32_t c;
    if (lead < 0x80) {
      length = 1, c = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2, c = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, c = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, c = lead & 0x07;
    } else {
      return false;
    }
    if (length > size - i) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      c = c << 6 | (next & 0x3F);
    }
    static const char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[length] || c > 0x10FFFF || IsHighSurrogate(c) || IsLowSurrogate(c)) return false;
    if (c >= 0x10000) {
      result->push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      result->push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      result->push_back(static_cast<char16_t>(c));
    }
    i += length;
  }
  return true;
}

}  // namespace pe
