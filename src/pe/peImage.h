#pragma once
// The headers of a Windows executable (PE/COFF, 32- and 64-bit) held in memory by the caller: the
// DOS header, the PE signature, the file header, the optional header with its data directories, and
// the section table. Only what the resource reader and writer need is interpreted; every offset is
// checked against the bytes that are there before it is used.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pe/byteStreams.h"
#include "pe/byteView.h"

namespace pe {

// Indexes of the data directories this library uses.
constexpr unsigned kResourceDirectory = 2;
constexpr unsigned kSecurityDirectory = 4;  // its "address" is a file offset, not an RVA

constexpr std::size_t kSectionHeaderSize = 40;

// File header characteristics.
constexpr std::uint16_t kLargeAddressAware = 0x0020;  // the program handles addresses above 2 GiB

struct Section {
  char name[9] = {};  // the 8 name bytes, NUL-terminated
  std::uint32_t virtualAddress = 0;
  std::uint32_t virtualSize = 0;
  std::uint32_t rawSize = 0;    // bytes in the file
  std::uint32_t rawOffset = 0;  // file offset of those bytes
  std::uint32_t characteristics = 0;
  std::size_t headerOffset = 0;  // file offset of the 40-byte section header

  // Bytes the section spans in memory (a linker may leave the virtual size 0).
  std::uint32_t VirtualExtent() const { return virtualSize ? virtualSize : rawSize; }
};

struct DataDirectory {
  std::uint32_t address = 0;
  std::uint32_t size = 0;
};

// Header fields, and the file offsets of those the writer changes.
struct Headers {
  bool is64Bit = false;
  std::uint16_t numberOfSections = 0;
  std::uint16_t characteristics = 0;  // file header flags (kLargeAddressAware, ...)
  std::uint32_t pointerToSymbolTable = 0;
  std::uint32_t numberOfSymbols = 0;
  std::uint32_t sectionAlignment = 0;
  std::uint32_t fileAlignment = 0;
  std::uint32_t sizeOfImage = 0;
  std::uint32_t sizeOfHeaders = 0;
  std::uint32_t sizeOfInitializedData = 0;
  std::uint32_t checksum = 0;
  std::uint32_t directoryCount = 0;  // data directories present (at most 16)

  std::size_t fileHeaderOffset = 0;      // the COFF file header, after "PE\0\0"
  std::size_t optionalHeaderOffset = 0;  // its first field is the magic number
  std::size_t directoriesOffset = 0;     // first data directory
  std::size_t sectionTableOffset = 0;
};

// Offsets of fields inside the headers (from the start of the header they belong to).
constexpr std::size_t kNumberOfSectionsField = 2;        // file header
constexpr std::size_t kSizeOfInitializedDataField = 8;   // optional header
constexpr std::size_t kSizeOfImageField = 56;            // optional header
constexpr std::size_t kChecksumField = 64;               // optional header

class Image {
 public:
  // Reads the headers of the executable in `bytes`, which must stay valid while the Image is used.
  // False, with the reason in *error, when the bytes are not a PE image or its headers do not fit.
  bool Parse(ByteView bytes, std::string* error);
  // Reads the headers from a file a piece at a time: only the headers and the section table are read
  // and kept; Bytes() is then empty.
  bool Parse(ByteSource& file, std::string* error);

  // The whole file when the image was parsed from memory; empty when it was read from a file.
  ByteView Bytes() const { return bytes_; }
  std::uint64_t FileSize() const { return fileSize_; }
  const Headers& Header() const { return headers_; }
  const std::vector<Section>& Sections() const { return sections_; }
  // A data directory; {0, 0} when the image has fewer directories.
  DataDirectory Directory(unsigned index) const;

  // The file offset of the bytes at [rva, rva + size) when they all lie in the file bytes of one
  // section; false otherwise.
  bool RvaToOffset(std::uint32_t rva, std::uint32_t size, std::uint64_t* offset) const;
  // The section whose memory holds `rva`, or null.
  const Section* SectionAt(std::uint32_t rva) const;

 private:
  ByteView bytes_;
  std::uint64_t fileSize_ = 0;
  Headers headers_;
  std::vector<Section> sections_;
  std::vector<DataDirectory> directories_;
};

}  // namespace pe
