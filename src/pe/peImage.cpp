#include "pe/peImage.h"

#include <cstdint>
#include <cstring>
#include <vector>

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
  MemorySource source(bytes);
  const bool parsed = Parse(source, error);
  bytes_ = bytes;
  return parsed;
}

bool Image::Parse(ByteSource& file, std::string* error) {
  bytes_ = ByteView();
  fileSize_ = file.Size();
  headers_ = Headers();
  sections_.clear();
  directories_.clear();
  const ByteView whole{nullptr, static_cast<std::size_t>(fileSize_ < SIZE_MAX ? fileSize_ : SIZE_MAX)};
  // Reads [offset, offset + count) of the file into `part`; the caller has checked that it is there.
  auto read = [&](std::size_t offset, std::size_t count, std::vector<std::uint8_t>* part) {
    part->resize(count);
    return count == 0 || file.Read(offset, part->data(), count, error);
  };

  std::vector<std::uint8_t> dos;
  if (!whole.Has(0, kDosHeaderSize)) return Fail(error, "not a Windows executable (no MZ header)");
  if (!read(0, kDosHeaderSize, &dos)) return false;
  if (dos[0] != 'M' || dos[1] != 'Z') return Fail(error, "not a Windows executable (no MZ header)");
  const std::uint32_t peOffset = xz::LoadU32(dos.data() + kPeOffsetField);
  std::vector<std::uint8_t> pe;
  if (!whole.Has(peOffset, 4 + kFileHeaderSize)) return Fail(error, "the PE header lies past the end of the file");
  if (!read(peOffset, 4 + kFileHeaderSize, &pe)) return false;
  if (std::memcmp(pe.data(), "PE\0\0", 4) != 0) return Fail(error, "not a PE executable (no PE signature)");

  Headers& h = headers_;
  h.fileHeaderOffset = std::size_t(peOffset) + 4;
  const ByteView fileHeader{pe.data() + 4, kFileHeaderSize};
  std::uint16_t sizeOfOptionalHeader = 0;
  fileHeader.ReadU16(kNumberOfSectionsField, &h.numberOfSections);
  fileHeader.ReadU32(8, &h.pointerToSymbolTable);
  fileHeader.ReadU32(12, &h.numberOfSymbols);
  fileHeader.ReadU16(16, &sizeOfOptionalHeader);
  fileHeader.ReadU16(18, &h.characteristics);

  h.optionalHeaderOffset = h.fileHeaderOffset + kFileHeaderSize;
  std::vector<std::uint8_t> optionalBytes;
  if (!whole.Has(h.optionalHeaderOffset, sizeOfOptionalHeader)) {
    return Fail(error, "the optional header lies past the end of the file");
  }
  if (!read(h.optionalHeaderOffset, sizeOfOptionalHeader, &optionalBytes)) return false;
  const ByteView optional{optionalBytes.data(), optionalBytes.size()};
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
  std::vector<std::uint8_t> table;
  if (!whole.Has(h.sectionTableOffset, kSectionHeaderSize * h.numberOfSections)) {
    return Fail(error, "the section table lies past the end of the file");
  }
  if (!read(h.sectionTableOffset, kSectionHeaderSize * h.numberOfSections, &table)) return false;
  sections_.resize(h.numberOfSections);
  for (std::size_t i = 0; i < sections_.size(); ++i) {
    Section& s = sections_[i];
    const ByteView header{table.data() + kSectionHeaderSize * i, kSectionHeaderSize};
    s.headerOffset = h.sectionTableOffset + kSectionHeaderSize * i;
    std::memcpy(s.name, header.data, 8);
    header.ReadU32(8, &s.virtualSize);
    header.ReadU32(12, &s.virtualAddress);
    header.ReadU32(16, &s.rawSize);
    header.ReadU32(20, &s.rawOffset);
    header.ReadU32(36, &s.characteristics);
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

bool Image::RvaToOffset(std::uint32_t rva, std::uint32_t size, std::uint64_t* offset) const {
  for (const Section& s : sections_) {
    if (rva < s.virtualAddress) continue;
    const std::uint32_t delta = rva - s.virtualAddress;
    if (delta >= s.VirtualExtent() && !(size == 0 && delta == s.VirtualExtent())) continue;
    // The bytes must be in the file: past the raw size memory is zero-filled, not read from the file.
    if (delta > s.rawSize || size > s.rawSize - delta) return false;
    const std::uint64_t start = std::uint64_t(s.rawOffset) + delta;
    if (start > fileSize_ || size > fileSize_ - start) return false;
    *offset = start;
    return true;
  }
  return false;
}

}  // namespace pe
