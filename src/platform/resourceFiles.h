#pragma once
// The PE resource writer on files: entries read from files a piece at a time, the image written to a
// temporary file beside the target and renamed over it only when complete, all through the current
// FileSystem. An interrupted or failed write leaves the target as it was.

#include <cstdint>
#include <string>
#include <vector>

#include "pe/byteStreams.h"
#include "pe/resourceDirectory.h"
#include "pe/resourceWriter.h"
#include "platform/fileSystem.h"

namespace platform {

// A file as a source of bytes; open only while it is being read.
class FileSource : public pe::ByteSource {
 public:
  ~FileSource() override;
  bool Open(const char* path, std::string* error);
  std::uint64_t Size() const override { return size_; }
  bool Read(std::uint64_t offset, void* buffer, std::size_t size, std::string* error) override;

 private:
  bool Reopen(std::string* error);

  FileSystem* fileSystem_ = nullptr;
  FileHandle handle_ = kInvalidFile;
  std::uint64_t size_ = 0;
  std::string path_;
};

// Writes `path` + ".part"; Commit renames it over `path`. Destroyed without a commit, it deletes the
// temporary file.
class ReplacingFileSink : public pe::ByteSink {
 public:
  ~ReplacingFileSink() override;
  bool Open(const char* path, std::string* error);
  bool Write(const void* data, std::size_t size, std::string* error) override;
  bool Rewrite(std::uint64_t offset, const void* data, std::size_t size, std::string* error) override;
  // Closes the temporary file and renames it over the target.
  bool Commit(std::string* error);

 private:
  bool WriteAll(const void* data, std::size_t size, std::string* error);
  bool Closed(std::string* error);

  FileSystem* fileSystem_ = nullptr;
  FileHandle handle_ = kInvalidFile;
  std::string path_;
  std::string partPath_;
  std::uint64_t position_ = 0;
  bool committed_ = false;
};

struct FileResource {
  pe::ResourceId type;
  pe::ResourceId name;
  std::uint16_t language = 0;
  std::string path;  // the file whose bytes become the resource
};

// Writes the executable at `imagePath` with `resources` added or replaced to `outputPath` (which may be
// `imagePath` itself). False, with the reason in *error, and `outputPath` untouched on any failure.
bool WriteResourcesToFile(const char* imagePath, const std::vector<FileResource>& resources,
                          const char* outputPath, pe::WriteReport* report, std::string* error);

}  // namespace platform
