#include "pe/resourceText.h"

namespace pe {
namespace {

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

void AppendUtf8(char32_t code, std::string* out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | code >> 6));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | code >> 12));
    out->push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | code >> 18));
    out->push_back(static_cast<char>(0x80 | (code >> 12 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

bool DecodeUtf8(const std::string& text, std::size_t at, char32_t* code, std::size_t* length) {
  if (at >= text.size()) return false;
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t count = 0;
  char32_t c = 0, least = 0;
  if (lead < 0x80) {
    count = 1, c = lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    count = 2, c = lead & 0x1Fu, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    count = 3, c = lead & 0x0Fu, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    count = 4, c = lead & 0x07u, least = 0x10000;
  } else {
    return false;
  }
  if (count > text.size() - at) return false;
  for (std::size_t k = 1; k < count; ++k) {
    const auto next = static_cast<unsigned char>(text[at + k]);
    if ((next & 0xC0) != 0x80) return false;
    c = c << 6 | (next & 0x3Fu);
  }
  if (c < least || c > 0x10FFFF || IsHighSurrogate(c) || IsLowSurrogate(c)) return false;
  *code = c;
  *length = count;
  return true;
}

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
    AppendUtf8(c, &out);
  }
  return out;
}

bool Utf8ToUtf16(const std::string& text, std::u16string* result) {
  result->clear();
  for (std::size_t i = 0; i < text.size();) {
    char32_t c = 0;
    std::size_t length = 0;
    if (!DecodeUtf8(text, i, &c, &length)) return false;
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
