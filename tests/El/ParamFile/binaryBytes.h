#pragma once
// Hand assembly of binary config files for the tests.

#include <cstdint>
#include <string>

struct BinaryBytes {
  std::string bytes;

  std::size_t Position() const { return bytes.size(); }
  void Byte(int value) { bytes += static_cast<char>(value); }
  void Dword(std::uint32_t value) {
    for (int i = 0; i < 4; ++i) Byte(static_cast<int>((value >> (8 * i)) & 0xFF));
  }
  void Text(const char* text) {
    bytes += text;
    Byte(0);
  }
  void Compact(std::uint32_t value) {
    do {
      int byte = static_cast<int>(value & 0x7F);
      value >>= 7;
      Byte(value ? byte | 0x80 : byte);
    } while (value);
  }
  void Patch(std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  }
  void Magic() { Dword(0x50617200); }
};
