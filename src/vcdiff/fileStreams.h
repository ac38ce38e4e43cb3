#pragma once
// The decoder's inputs and output over files, through the platform's file system: the delta read in
// place, the source mapped one segment at a time, and the output written to a temporary file beside
// the final name that only a successful decode renames into place.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/fileSystem.h"
#include "vcdiff/decoderStreams.h"

namespace vcdiff {

class DeltaFile : public DeltaInput {
 public:
  ~DeltaFile() override { Close(); }
  bool Open(const char* path, DecodeError* error);
  void Close();
  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t position, void* buffer, std::size_t size, DecodeError* error) override;

 private:
  std::string path_;
  platform::FileHandle handle_ = platform::kInvalidFile;
  std::uint64_t size_ = 0;
};

// A file whose segments are served through mapped views. A segment can be large (hundreds of MiB)
// while a window reads little of it, so each view lives for one window only: memory then holds the
// pages that one window touched, not every page touched so far.
class MappedFile : public SegmentSource {
 public:
  ~MappedFile() override { Close(); }
  // `role` names the file in messages ("source file").
  bool Open(const char* path, const char* role, DecodeError* error);
  void Close();
  std::uint64_t FileSize() const { return size_; }
  bool Acquire(std::uint64_t position, std::uint64_t size, const std::uint8_t** data,
               DecodeError* error) override;
  bool Release(DecodeError*) override {
    Unmap();
    return true;
  }
  // A reader with views of its own over this file's handle.
  std::unique_ptr<SegmentSource> NewReader(DecodeError* error) override;

 private:
  void Unmap();

  bool ownsHandle_ = true;  // false for a reader made by NewReader
  std::string path_;
  const char* role_ = "";
  platform::FileHandle handle_ = platform::kInvalidFile;
  std::uint64_t size_ = 0;
  platform::MappedView view_;
};

class OutputFile : public TargetSink {
 public:
  OutputFile() : written_(this) {}
  ~OutputFile() override { Abandon(); }
  // Creates the temporary file `path` + ".part"; with `inPlace`, `path` itself (the caller's own
  // temporary file, which it moves into place).
  bool Create(const char* path, DecodeError* error, bool inPlace = false);
  bool Write(const std::uint8_t* data, std::size_t size, DecodeError* error) override;
  SegmentSource* Written() override { return &written_; }
  // Closes the temporary file (made durable) and renames it over the final name (in place: nothing to
  // rename); on failure it is removed.
  bool Commit(DecodeError* error);
  // Closes and removes the temporary file; an existing file of the final name stays as it was.
  void Abandon();

 private:
  // The output written so far, served by closing the writer and mapping the temporary file.
  class WrittenPart : public SegmentSource {
   public:
    explicit WrittenPart(OutputFile* owner) : owner_(owner) {}
    bool Acquire(std::uint64_t position, std::uint64_t size, const std::uint8_t** data,
                 DecodeError* error) override;
    bool Release(DecodeError* error) override;

   private:
    OutputFile* owner_;
    MappedFile file_;
  };

  // Closes the file, made durable first when `durable` is set.
  bool CloseWriter(bool durable, DecodeError* error);

  std::string path_;
  std::string partPath_;
  platform::FileHandle handle_ = platform::kInvalidFile;
  bool created_ = false;
  std::uint64_t writtenSize_ = 0;
  WrittenPart written_;
};

// The system's text for the calling thread's last file-system error.
std::string LastFileErrorText();

}  // namespace vcdiff
