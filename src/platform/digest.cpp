#include "platform/digest.h"

#include <vector>

#include "platform/fileSystem.h"

namespace platform {
namespace {

constexpr std::uint32_t kFileBlock = 1u << 20;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool Sha256Of(const void* data, std::size_t size, Sha256Digest* digest) {
  Sha256 hash;
  hash.Update(data, size);
  return hash.Final(digest);
}

bool Sha256OfFile(const char* name, Sha256Digest* digest, std::uint64_t* size) {
  FileSystem* files = CurrentFileSystem();
  const FileHandle file = files->OpenRead(name);
  if (!IsValidFile(file)) return false;
  std::uint64_t length = 0;
  bool ok = files->Size(file, &length);
  Sha256 hash;
  std::vector<std::uint8_t> block(kFileBlock);
  for (std::uint64_t position = 0; ok && position < length;) {
    const std::uint64_t left = length - position;
    const std::uint32_t want = left < kFileBlock ? static_cast<std::uint32_t>(left) : kFileBlock;
    std::uint32_t got = 0;
    ok = files->ReadAt(file, position, block.data(), want, &got) && got == want;
    if (ok) hash.Update(block.data(), got);
    position += got;
  }
  files->Close(file);
  if (!ok || !hash.Final(digest)) return false;
  if (size) *size = length;
  return true;
}

std::string DigestText(const Sha256Digest& digest) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(64);
  for (std::uint8_t byte : digest) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 15]);
  }
  return text;
}

bool ParseDigestText(const std::string& text, Sha256Digest* digest) {
  if (text.size() != 64) return false;
  Sha256Digest parsed;
  for (std::size_t i = 0; i < parsed.size(); ++i) {
    const int high = HexValue(text[2 * i]);
    const int low = HexValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    parsed[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  *digest = parsed;
  return true;
}

}  // namespace platform
