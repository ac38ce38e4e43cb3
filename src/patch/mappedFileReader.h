#pragma once
// A read-only, windowed memory mapping of one file: windows of 256 KiB are mapped when first touched
// and kept in the order they were mapped; past 800 MiB of mapped windows the oldest is unmapped. Files
// are checksummed straight from these windows, never read into memory.

#include <cstdint>
#include <vector>

#include "El/QStream/fileMemView.h"

namespace patch {

class MappedFileReader {
 public:
  static constexpr std::uint64_t kViewSize = 0x40000;  // 256 KiB, a multiple of every system's granularity
  static constexpr int kViewShift = 18;
  static constexpr std::uint64_t kMappedLimit = 0x32000000;  // 800 MiB

  MappedFileReader() = default;
  ~MappedFileReader() { Close(); }
  MappedFileReader(const MappedFileReader&) = delete;
  MappedFileReader& operator=(const MappedFileReader&) = delete;

  // Opens `name` (an existing file, shared for reading) and clips [start, start + length) to it.
  // False when the file cannot be opened or its size read.
  bool Open(const char* name, std::uint64_t start, std::uint64_t length);
  void Close();

  std::uint64_t FileSize() const { return fileSize_; }
  std::uint64_t Start() const { return start_; }
  std::uint64_t Length() const { return length_; }

  // The window holding `offset` (mapped on first use) and that window's first offset; null when the
  // offset lies outside the region or the system refuses the mapping.
  const FileMemView* ViewAt(std::uint64_t offset, std::uint64_t* windowStart);
  // The byte at `offset`; false outside the region or when its window cannot be mapped.
  bool ByteAt(std::uint64_t offset, std::uint8_t* value);

  int MappedWindows() const { return recent_.Count(); }

 private:
  platform::FileHandle file_ = platform::kInvalidFile;
  std::uint64_t fileSize_ = 0;
  std::uint64_t start_ = 0;
  std::uint64_t length_ = 0;
  std::vector<Ref<FileMemView>> windows_;  // one slot per window of the file, empty until mapped
  FileMemViewList recent_;                 // mapped windows, oldest first
};

}  // namespace patch
