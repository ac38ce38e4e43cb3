#include "patch/trustedKey.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "xz/littleEndian.h"

namespace {

constexpr std::size_t kMarkerSize = 16;
constexpr std::size_t kAreaSizeField = 4;
// A slot written by an earlier build holds a 1024-bit blob right after the marker and nothing else;
// its first byte is the blob type, which no area size of a current slot can begin with.
constexpr std::uint8_t kEarlierSlotFirstByte = 6;

struct KeySlot {
  std::uint8_t marker[kMarkerSize];
  std::uint8_t areaSize[kAreaSizeField];  // little-endian: the bytes of `key`
  std::uint8_t key[platform::kMaxKeyBlobSize];  // the blob, then zeros
};
static_assert(sizeof(KeySlot) == kMarkerSize + kAreaSizeField + platform::kMaxKeyBlobSize, "no padding in the slot");
static_assert(platform::kMaxKeyBlobSize % 256 != kEarlierSlotFirstByte, "the two layouts stay apart");

// The one place the marker's bytes are written down: the slot itself. Code that searches other files
// for the marker copies it from here, so no second copy of it ends up in the program. volatile keeps
// every read a read of the program's data, never a constant the compiler folded in; used keeps the
// slot in the program even where nothing else would.
__attribute__((used)) volatile KeySlot trustedKeySlot = {
    {0x69, 0xE2, 0xC3, 0x09, 0xA9, 0x64, 0xC1, 0x2B, 0x95, 0xC3, 0x6A, 0xF4, 0x2C, 0xCA, 0x71, 0x5A},
    {platform::kMaxKeyBlobSize & 0xFF, (platform::kMaxKeyBlobSize >> 8) & 0xFF, 0, 0},
    // The development key (tests/data/keys/development-3072-public.blob); the rest of the area is zero.
    {
     0x06, 0x02, 0x00, 0x00, 0x00, 0x24, 0x00, 0x00, 0x52, 0x53, 0x41, 0x31,
     0x00, 0x0C, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0xA9, 0x12, 0xF1, 0x6E,
     0x83, 0xFB, 0x8B, 0x83, 0x97, 0xB4, 0x52, 0x50, 0x55, 0xC9, 0x6D, 0xF7,
     0x07, 0x57, 0x16, 0xBC, 0xB1, 0x79, 0x38, 0xEC, 0x3D, 0x3A, 0xAC, 0xDD,
     0xDC, 0x7E, 0x87, 0x6C, 0xCA, 0xAC, 0x9E, 0x3B, 0x55, 0x98, 0x34, 0x32,
     0xB8, 0x6B, 0x2C, 0x4B, 0x4A, 0xF2, 0x8E, 0x42, 0xAE, 0xB3, 0x57, 0x59,
     0xF1, 0xF6, 0xF2, 0x77, 0xCF, 0xBC, 0xAA, 0x5F, 0xC4, 0x89, 0xD2, 0x90,
     0xD8, 0xC7, 0xC9, 0x99, 0xFA, 0xEF, 0xCB, 0x40, 0xD7, 0x82, 0xE9, 0x6B,
     0x38, 0x4A, 0xE5, 0x1D, 0x18, 0x59, 0x58, 0x11, 0x99, 0xFE, 0x52, 0xCB,
     0x5B, 0xB3, 0x1D, 0xCD, 0x3E, 0x50, 0xDD, 0xE6, 0x22, 0x3E, 0x03, 0xD5,
     0x60, 0x3F, 0xE9, 0x4E, 0x49, 0x31, 0x0C, 0x73, 0x5D, 0x68, 0x89, 0x30,
     0x12, 0x80, 0x64, 0xE0, 0x45, 0x24, 0x11, 0x29, 0x0E, 0x77, 0xAF, 0x61,
     0x60, 0x85, 0xED, 0xB2, 0xEE, 0xCF, 0x8B, 0xBB, 0xF8, 0x4E, 0x4E, 0xE2,
     0x0E, 0x81, 0x29, 0x44, 0xEC, 0xD9, 0x18, 0x6D, 0x79, 0x6A, 0xEF, 0x70,
     0x5B, 0x86, 0xAF, 0x16, 0x24, 0x4F, 0xD4, 0x7A, 0x33, 0xF3, 0xC6, 0x19,
     0xA6, 0x4B, 0xB5, 0xE0, 0x2D, 0x6D, 0x8F, 0x66, 0x65, 0x7F, 0xF8, 0x35,
     0x66, 0xD2, 0x94, 0x4B, 0x13, 0x90, 0x54, 0x00, 0x7A, 0xF4, 0x6D, 0x6B,
     0xD3, 0x60, 0x14, 0xEF, 0x21, 0x9C, 0x67, 0xC7, 0x3C, 0x3E, 0x35, 0x37,
     0xDF, 0x1A, 0xC8, 0xF5, 0x6F, 0x34, 0xBD, 0xB3, 0x7C, 0xE2, 0x79, 0xBE,
     0xE5, 0x04, 0x18, 0x12, 0xE5, 0xC6, 0x89, 0xA5, 0x34, 0x92, 0x90, 0x4F,
     0xDA, 0x1D, 0xEC, 0xD5, 0x3F, 0x96, 0x7C, 0xB6, 0xC4, 0xC2, 0x49, 0x95,
     0xCA, 0x37, 0xA5, 0x2E, 0x99, 0xDD, 0x25, 0xA5, 0xDF, 0x2E, 0x49, 0x5E,
     0xA6, 0x6F, 0xBB, 0x3B, 0x5B, 0x23, 0x26, 0x59, 0xB8, 0x73, 0xC9, 0x3D,
     0x0C, 0xE2, 0x71, 0xE7, 0x75, 0x4B, 0x5E, 0x3E, 0x16, 0x92, 0x28, 0x51,
     0xAB, 0x89, 0xEE, 0x24, 0x07, 0xF4, 0x90, 0x93, 0x9F, 0x93, 0x2C, 0x32,
     0xA2, 0x2E, 0x3D, 0x7F, 0x94, 0x99, 0xD3, 0xCF, 0xDA, 0x1A, 0x47, 0x4F,
     0xE7, 0x3E, 0x59, 0x63, 0xC0, 0x37, 0xF5, 0xF6, 0x04, 0x0F, 0x21, 0x54,
     0xA2, 0x23, 0x78, 0x14, 0xCC, 0x7C, 0x1E, 0x47, 0x14, 0x76, 0xD9, 0xEB,
     0x53, 0xB4, 0xD0, 0x4A, 0x0C, 0xD8, 0xA6, 0x87, 0x35, 0xAE, 0x2C, 0xE0,
     0xF1, 0x86, 0x77, 0x58, 0xEC, 0x90, 0x0F, 0x4D, 0xA9, 0x8C, 0x7C, 0x5A,
     0x83, 0xC7, 0xB8, 0x53, 0xCB, 0xF2, 0xF6, 0x25, 0x1C, 0x22, 0x67, 0x0B,
     0x57, 0xB1, 0x86, 0xB0, 0x5F, 0x58, 0xBD, 0x5B, 0xAE, 0x6F, 0x5C, 0xCE,
     0xD3, 0xB0, 0xD6, 0xFA, 0xB6, 0x84, 0xEB, 0xBF, 0x50, 0x0C, 0x62, 0x71,
     0x49, 0x84, 0xA4, 0xDE, 0xEE, 0xC3, 0x93, 0xA9,
    },
};

// Where a slot's key area lies in a file, and how large it is.
struct SlotPlace {
  std::size_t area = 0;      // offset of the key area
  std::size_t capacity = 0;  // bytes the area holds
};

// Finds the one marker in `bytes` and the key area after it.
KeySlotResult FindSlot(const std::uint8_t* bytes, std::size_t size, SlotPlace* place) {
  const std::array<std::uint8_t, kMarkerSize> marker = TrustedKeyMarker();
  if (!bytes) return KeySlotResult::NoMarker;
  const std::uint8_t* end = bytes + size;
  const std::boyer_moore_horspool_searcher<const std::uint8_t*> searcher(marker.data(), marker.data() + kMarkerSize);
  const std::uint8_t* found = std::search(bytes, end, searcher);
  if (found == end) return KeySlotResult::NoMarker;
  // Overlapping occurrences count as well: a marker is only trusted when it cannot be mistaken.
  if (std::search(found + 1, end, searcher) != end) return KeySlotResult::SeveralMarkers;
  const std::size_t afterMarker = static_cast<std::size_t>(found - bytes) + kMarkerSize;
  const std::size_t left = size - afterMarker;
  if (left == 0) return KeySlotResult::SlotTruncated;
  if (bytes[afterMarker] == kEarlierSlotFirstByte) {
    place->area = afterMarker;
    place->capacity = platform::kManifestOnlyKeyBlobSize;
  } else {
    if (left < kAreaSizeField) return KeySlotResult::SlotTruncated;
    const std::uint8_t* field = bytes + afterMarker;
    place->area = afterMarker + kAreaSizeField;
    place->capacity = xz::LoadU32(field);
    if (place->capacity < platform::kManifestOnlyKeyBlobSize || place->capacity > platform::kMaxKeyBlobSize) {
      return KeySlotResult::BadKeyBlob;
    }
  }
  if (size - place->area < place->capacity) return KeySlotResult::SlotTruncated;
  return KeySlotResult::Done;
}

// The blob at the start of a key area of `capacity` bytes; false when there is none that fits.
bool BlobInArea(const std::uint8_t* area, std::size_t capacity, platform::KeyBlob* key) {
  const std::size_t length = platform::KeyBlobLength(area, capacity);
  if (length == 0 || length > capacity) return false;
  key->assign(area, area + length);
  return platform::ParseKeyBlob(key->data(), key->size(), nullptr);
}

}  // namespace

std::array<std::uint8_t, 16> TrustedKeyMarker() {
  std::array<std::uint8_t, kMarkerSize> marker;
  for (std::size_t i = 0; i < kMarkerSize; ++i) marker[i] = trustedKeySlot.marker[i];
  return marker;
}

platform::KeyBlob TrustedKeyBlob() {
  std::uint8_t area[platform::kMaxKeyBlobSize];
  for (std::size_t i = 0; i < sizeof area; ++i) area[i] = trustedKeySlot.key[i];
  platform::KeyBlob key;
  if (!BlobInArea(area, sizeof area, &key)) key.clear();
  return key;
}

const char* KeySlotResultText(KeySlotResult result) {
  switch (result) {
    case KeySlotResult::Done: return "done";
    case KeySlotResult::NoMarker: return "the file has no key slot";
    case KeySlotResult::SeveralMarkers: return "the file has more than one key slot marker";
    case KeySlotResult::SlotTruncated: return "the file ends inside the key slot";
    case KeySlotResult::Unreadable: return "the file cannot be read";
    case KeySlotResult::BadKeyBlob: return "not a supported RSA public key blob";
    case KeySlotResult::SlotTooSmall:
      return "the key slot is too small for the key (a patch program built before keys of more than 1024 bits)";
  }
  return "unknown result";
}

KeySlotResult ReadTrustedKey(const std::uint8_t* executable, std::size_t size, platform::KeyBlob* key) {
  pe::MemorySource bytes(pe::ByteView{executable, executable ? size : 0});
  return ReadTrustedKey(bytes, key);
}

KeySlotResult ReadTrustedKey(pe::ByteSource& file, platform::KeyBlob* key) {
  // The whole file is searched a piece at a time; each piece starts with the last bytes of the one
  // before, too few to hold a whole marker, so a marker across two pieces is seen once.
  constexpr std::size_t kScanPiece = 4u << 20;
  const std::array<std::uint8_t, kMarkerSize> marker = TrustedKeyMarker();
  const std::boyer_moore_horspool_searcher<const std::uint8_t*> searcher(marker.data(), marker.data() + kMarkerSize);
  const std::uint64_t size = file.Size();
  std::vector<std::uint8_t> buffer;
  std::uint64_t markerAt = 0;
  bool found = false;
  std::string error;
  for (std::uint64_t offset = 0; offset < size;) {
    const std::size_t kept = std::min(buffer.size(), kMarkerSize - 1);
    if (kept > 0) std::memmove(buffer.data(), buffer.data() + buffer.size() - kept, kept);
    const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(kScanPiece, size - offset));
    buffer.resize(kept + piece);
    if (!file.Read(offset, buffer.data() + kept, piece, &error)) return KeySlotResult::Unreadable;
    const std::uint8_t* begin = buffer.data();
    const std::uint8_t* end = begin + buffer.size();
    // Overlapping occurrences count as well: a marker is only trusted when it cannot be mistaken.
    for (const std::uint8_t* at = std::search(begin, end, searcher); at != end; at = std::search(at + 1, end, searcher)) {
      if (found) return KeySlotResult::SeveralMarkers;
      markerAt = offset - kept + static_cast<std::uint64_t>(at - begin);
      found = true;
    }
    offset += piece;
  }
  if (!found) return KeySlotResult::NoMarker;
  // The slot itself, from its marker to the end of the largest key area or of the file.
  const std::size_t slotSize = kMarkerSize + kAreaSizeField + platform::kMaxKeyBlobSize;
  std::vector<std::uint8_t> slot(static_cast<std::size_t>(std::min<std::uint64_t>(slotSize, size - markerAt)));
  if (!file.Read(markerAt, slot.data(), slot.size(), &error)) return KeySlotResult::Unreadable;
  SlotPlace place;
  const KeySlotResult placed = FindSlot(slot.data(), slot.size(), &place);
  if (placed != KeySlotResult::Done) return placed;
  return BlobInArea(slot.data() + place.area, place.capacity, key) ? KeySlotResult::Done : KeySlotResult::BadKeyBlob;
}

KeySlotResult ReplaceTrustedKey(std::uint8_t* executable, std::size_t size, const platform::KeyBlob& key) {
  if (!platform::ParseKeyBlob(key.data(), key.size(), nullptr)) return KeySlotResult::BadKeyBlob;
  SlotPlace place;
  const KeySlotResult found = FindSlot(executable, size, &place);
  if (found != KeySlotResult::Done) return found;
  if (key.size() > place.capacity) return KeySlotResult::SlotTooSmall;
  std::memcpy(executable + place.area, key.data(), key.size());
  std::memset(executable + place.area + key.size(), 0, place.capacity - key.size());
  return KeySlotResult::Done;
}
