#include "pe/peImage.h"

#include <cstring>

namespace pe {
namespace {

constexpr std::size_t kDosHeaderSize = 0x40;
constexpr std::size_t kPeOffsetField = 0x3C;
constexpr std::size_t kFileHeaderSize = 20;
constexpr std::uint16_t kMagic32 = 0x10B;
constexpr std::uint16_t kMagic64 = 0x20B;
constexpr std::uint32_t kMaxDirectories = 16;

bool Fail(std::string* error, const char* text) {
  *error = text;
  return false;
}

}  // namespace

bool Image::Parse(ByteView bytes, std::string* error) {
  bytes_ = bytes;
  headers_ = Headers();
  sections_.clear();
  directories_.clear();

  if (!bytes.Has(0, kDosHeaderSize) || bytes.data[0] != 'M' || bytes.data[1] != 'Z') {
    return Fail(error, "not a Windows executable (no MZ header)");
  }
  std::uint32_t peOffset = 0;
  bytes.ReadU32(kPeOffsetField, &peOffset);
  if (!bytes.Has(peOffset, 4 + kFileHeaderSize)) return Fail(error, "the PE header lies past the end of the file");
  if (std::memcmp(bytes.data + peOffset, "PE\0\0", 4) != 0) return Fail(error, "not a PE executable (no PE signature)");

  Headers& h = headers_;
  h.fileHeaderOffset = std::size_t(peOffset) + 4;
  std::uint16_t sizeOfOptionalHeader = 0;
  bytes.ReadU16(h.fileHeaderOffset + kNumberOfSectionsField, &h.numberOfSections);
  bytes.ReadU32(h.fileHeaderOffset + 8, &h.pointerToSymbolTable);
  bytes.ReadU32(h.fileHeaderOffset + 12, &h.numberOfSymbols);
  bytes.ReadU16(h.fileHeaderOffset + 16, &sizeOfOptionalHeader);
  bytes.ReadU16(h.fileHeaderOffset + 18, &h.characteristics);

  h.optionalHeaderOffset = h.fileHeaderOffset + kFileHeaderSize;
  if (!bytes.Has(h.optionalHeaderOffset, sizeOfOptionalHeader)) {
    return Fail(error, "the optional header lies past the end of the file");
  }
  const ByteView optional = bytes.Part(h.optionalHeaderOffset, sizeOfOptionalHeader);
  std::uint16_t magic = 0;
  if (!optional.ReadU16(0, &magic) || (magic != kMagic32 && magic != kMagic64)) {
    return Fail(error, "unknown optional header (neither PE32 nor PE32+)");
  }
  h.is64Bit = magic == kMagic64;
  const std::size_t countField = h.is64Bit ? 108 : 92;
  std::uint32_t declaredDirectories = 0;
  if (!optional.ReadU32(countField, &declaredDirectories)) return Fail(error, "the optional header is too short");
  optional.ReadU32(kSizeOfInitializedDataField, &h.sizeOfInitializedData);
  optional.ReadU32(32, &h.sectionAlignment);
  optional.ReadU32(36, &h.fileAlignment);
  optional.ReadU32(kSizeOfImageField, &h.sizeOfImage);
  optional.ReadU32(60, &h.sizeOfHeaders);
  optional.ReadU32(kChecksumField, &h.checksum);

  // The directories present: as many as declared, at most 16, and no more than the header holds.
  const std::size_t directoriesField = countField + 4;
  const std::size_t room = (sizeOfOptionalHeader - directoriesField) / 8;
  h.directoryCount = declaredDirectories < kMaxDirectories ? declaredDirectories : kMaxDirectories;
  if (h.directoryCount > room) h.directoryCount = static_cast<std::uint32_t>(room);
  h.directoriesOffset = h.optionalHeaderOffset + directoriesField;
  for (std::uint32_t i = 0; i < h.directoryCount; ++i) {
    DataDirectory directory;
    optional.ReadU32(directoriesField + 8 * i, &directory.address);
    optional.ReadU32(directoriesField + 8 * i + 4, &directory.size);
    directories_.push_back(directory);
  }

  h.sectionTableOffset = h.optionalHeaderOffset + sizeOfOptionalHeader;
  if (!bytes.Has(h.sectionTableOffset, kSectionHeaderSize * h.numberOfSections)) {
    return Fail(error, "the section table lies past the end of the file");
  }
  sections_.resize(h.numberOfSections);
  for (std::size_t i = 0; i < sections_.size(); ++i) {
    Section& s = sections_[i];
    s.headerOffset = h.sectionTableOffset + kSectionHeaderSize * i;
    std::memcpy(s.name, bytes.data + s.headerOffset, 8);
    bytes.ReadU32(s.headerOffset + 8, &s.virtualSize);
    bytes.ReadU32(s.headerOffset + 12, &s.virtualAddress);
    bytes.ReadU32(s.headerOffset + 16, &s.rawSize);
    bytes.ReadU32(s.headerOffset + 20, &s.rawOffset);
    bytes.ReadU32(s.headerOffset + 36, &s.characteristics);
  }
  return true;
}

DataDirectory Image::Directory(unsigned index) const {
  return index < directories_.size() ? directories_[index] : DataDirectory();
}

const Section* Image::SectionAt(std::uint32_t rva) const {
  for (const Section& s : sections_) {
    if (rva >= s.virtualAddress && rva - s.virtualAddress < s.VirtualExtent()) return &s;
  }
  return nullptr;
}

bool Image::RvaToOffset(std::uint32_t rva, std::uint32_t size, std::size_t* offset) const {
  for (const Section& s : sections_) {
    if (rva < s.virtualAddress) continue;
    const std::uint32_t delta = rva - s.virtualAddress;
    if (delta >= s.VirtualExtent() && !(size == 0 && delta == s.VirtualExtent())) continue;
    // The bytes must be in the file: past the raw size memory is zero-filled, not read from the file.
    if (delta > s.rawSize || size > s.rawSize - delta) return false;
    const std::uint64_t start = std::uint64_t(s.rawOffset) + delta;
    if (start > bytes_.size || size > bytes_.size - start) return false;
    *offset = static_cast<std::size_t>(start);
    return true;
  }
  return false;
}

}  // namespace pe
