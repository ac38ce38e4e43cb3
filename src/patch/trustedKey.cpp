#include "patch/trustedKey.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

constexpr std::size_t kMarkerSize = 16;

struct KeySlot {
  std::uint8_t marker[kMarkerSize];
  std::uint8_t key[platform::kKeyBlobSize];
};
static_assert(sizeof(KeySlot) == kMarkerSize + platform::kKeyBlobSize, "the key follows the marker directly");

// The one place the marker's bytes are written down: the slot itself. Code that searches other files
// for the marker copies it from here, so no second copy of it ends up in the program. volatile keeps
// every read a read of the program's data, never a constant the compiler folded in; used keeps the
// slot in the program even where nothing else would.
__attribute__((used)) volatile KeySlot trustedKeySlot = {
    {0x69, 0xE2, 0xC3, 0x09, 0xA9, 0x64, 0xC1, 0x2B, 0x95, 0xC3, 0x6A, 0xF4, 0x2C, 0xCA, 0x71, 0x5A},
    // The development key (tests/data/keys/development-public.blob).
    {
     0x06, 0x02, 0x00, 0x00, 0x00, 0x24, 0x00, 0x00, 0x52, 0x53, 0x41, 0x31,
     0x00, 0x04, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x4B, 0x07, 0x97, 0x81,
     0xB7, 0x8F, 0x72, 0x68, 0xD7, 0xA4, 0x87, 0x35, 0xC6, 0xE7, 0x36, 0x11,
     0x5B, 0x76, 0xD1, 0x93, 0x3C, 0x71, 0x57, 0x4E, 0xB5, 0xE5, 0x01, 0x3B,
     0x86, 0x6C, 0x94, 0xE4, 0x20, 0x58, 0x65, 0x4D, 0x5D, 0xED, 0x00, 0x4C,
     0x9B, 0xDD, 0x50, 0x9A, 0x90, 0x6F, 0x15, 0x47, 0x25, 0xEE, 0xCC, 0x46,
     0x7C, 0x72, 0x9F, 0xEF, 0xB6, 0xA9, 0x71, 0xFC, 0x01, 0xAE, 0xBB, 0x0F,
     0xBF, 0xBD, 0x03, 0x2F, 0x64, 0x7D, 0x9F, 0x1E, 0x70, 0xEB, 0xF9, 0x1F,
     0x76, 0xDB, 0xB8, 0x7F, 0x21, 0xD0, 0x6A, 0x7D, 0x85, 0x3D, 0x33, 0xDA,
     0x68, 0xB0, 0x68, 0x33, 0x06, 0xBA, 0x75, 0x3A, 0x7D, 0x92, 0x25, 0x2D,
     0xD7, 0x13, 0xCD, 0x87, 0xCB, 0x06, 0x0E, 0x48, 0x6D, 0xE8, 0x70, 0xB6,
     0x10, 0xE0, 0xFD, 0x67, 0x4B, 0x33, 0x9D, 0x2F, 0x00, 0x63, 0x16, 0x27,
     0xC1, 0xC1, 0xBC, 0xE2,
    },
};

// Finds the one marker in `bytes` and sets *keyOffset to the key's position after it.
KeySlotResult FindSlot(const std::uint8_t* bytes, std::size_t size, std::size_t* keyOffset) {
  const std::array<std::uint8_t, kMarkerSize> marker = TrustedKeyMarker();
  if (!bytes) return KeySlotResult::NoMarker;
  const std::uint8_t* end = bytes + size;
  const std::boyer_moore_horspool_searcher<const std::uint8_t*> searcher(marker.data(), marker.data() + kMarkerSize);
  const std::uint8_t* found = std::search(bytes, end, searcher);
  if (found == end) return KeySlotResult::NoMarker;
  // Overlapping occurrences count as well: a marker is only trusted when it cannot be mistaken.
  if (std::search(found + 1, end, searcher) != end) return KeySlotResult::SeveralMarkers;
  const std::size_t after = static_cast<std::size_t>(end - found) - kMarkerSize;
  if (after < platform::kKeyBlobSize) return KeySlotResult::SlotTruncated;
  *keyOffset = static_cast<std::size_t>(found - bytes) + kMarkerSize;
  return KeySlotResult::Done;
}

}  // namespace

std::array<std::uint8_t, 16> TrustedKeyMarker() {
  std::array<std::uint8_t, kMarkerSize> marker;
  for (std::size_t i = 0; i < kMarkerSize; ++i) marker[i] = trustedKeySlot.marker[i];
  return marker;
}

platform::KeyBlob TrustedKeyBlob() {
  platform::KeyBlob key;
  for (std::size_t i = 0; i < key.size(); ++i) key[i] = trustedKeySlot.key[i];
  return key;
}

const char* KeySlotResultText(KeySlotResult result) {
  switch (result) {
    case KeySlotResult::Done: return "done";
    case KeySlotResult::NoMarker: return "the file has no key slot";
    case KeySlotResult::SeveralMarkers: return "the file has more than one key slot marker";
    case KeySlotResult::SlotTruncated: return "the file ends inside the key slot";
    case KeySlotResult::BadKeyBlob: return "not an RSA-1024 public key blob";
  }
  return "unknown result";
}

KeySlotResult ReadTrustedKey(const std::uint8_t* executable, std::size_t size, platform::KeyBlob* key) {
  std::size_t offset = 0;
  const KeySlotResult found = FindSlot(executable, size, &offset);
  if (found != KeySlotResult::Done) return found;
  std::memcpy(key->data(), executable + offset, key->size());
  return platform::ParseKeyBlob(key->data(), key->size(), nullptr) ? KeySlotResult::Done : KeySlotResult::BadKeyBlob;
}

KeySlotResult ReplaceTrustedKey(std::uint8_t* executable, std::size_t size, const platform::KeyBlob& key) {
  if (!platform::ParseKeyBlob(key.data(), key.size(), nullptr)) return KeySlotResult::BadKeyBlob;
  std::size_t offset = 0;
  const KeySlotResult found = FindSlot(executable, size, &offset);
  if (found != KeySlotResult::Done) return found;
  std::memcpy(executable + offset, key.data(), key.size());
  return KeySlotResult::Done;
}
