#pragma once
// SerializeBinStream: a two-way binary serializer. Bound to an input stream it loads, bound to an output
// stream it saves, and the same transfer calls read into or write from the given places, so that one
// routine both loads and saves a structure. Numbers are little-endian.
//
// Exactly one of the two streams should be given; a serializer with neither transfers nothing.
//
// Error code: 0 while all is well; 4 when a compressed block cannot be decoded, a string ends without
// its NUL (strict form), or the input ends inside a transfer; users set their own codes as well.
// Transfers go on after an error (a truncated read fills the rest of its destination with zeros), so
// callers check the code once at the end.
//
// Position operations on the wrong kind of serializer report "serializeBin(<line>) : <text>" and do
// nothing; position queries then answer 0.

#include <cstdint>

#include "Es/Containers/compactBuf.h"

class QIStream;
class QOStream;

class SerializeBinStream {
 public:
  // Blocks smaller than this are never compressed.
  static constexpr int kCompressMin = 1024;
  static constexpr int kStructureError = 4;

  explicit SerializeBinStream(QIStream* in) : in_(in) {}
  explicit SerializeBinStream(QOStream* out) : out_(out) {}
  SerializeBinStream(const SerializeBinStream&) = delete;
  SerializeBinStream& operator=(const SerializeBinStream&) = delete;

  bool IsLoading() const { return in_ != nullptr; }
  bool IsSaving() const { return out_ != nullptr; }
  QIStream* GetLoadStream() const { return in_; }
  QOStream* GetSaveStream() const { return out_; }

  int GetError() const { return error_; }
  void SetError(int code) { error_ = code; }
  // The file version; -1 until Version has transferred it.
  int GetVersion() const { return version_; }

  // Loading reads the version and answers whether it lies in [oldest, newest] (it is kept either way);
  // saving writes `newest`.
  bool Version(int oldest, int newest);
  bool Version(int version) { return Version(version, version); }

  void TransferBytes(void* data, int size);
  void TransferInt(std::int32_t& value);
  // A block that is LZ-coded when `compressed` is set and it holds at least kCompressMin bytes; loading
  // decodes exactly `size` bytes. A decoding failure reports "Error in SerializeBinStream decoding".
  void TransferData(void* data, int size, bool compressed);
  // Loading only: passes over a block written by TransferData (a compressed one is decoded and its
  // checksum verified).
  void SkipData(int size, bool compressed);
  // A text and its NUL. The strict form reports "EOF in string" (error 4) when the input ends first;
  // the lenient form stops quietly at the end of input or at a byte 255.
  void TransferString(RefString& text);
  void TransferStringLenient(RefString& text);

  std::int64_t TellG();              // loading only: "File is not readable"
  std::int64_t TellP();              // saving only: "File is not writeable"
  void SeekG(std::int64_t position);  // loading only: "Cannot SeekG on output stream"
  void SeekP(std::int64_t position);  // saving only: "Cannot SeekP on input stream"
  // Read-ahead hint for the next `size` bytes; nothing when saving.
  void PreRead(std::int64_t size);

  // Offset slots, saving only. Reserve writes the placeholder 0xFFFFFFFF and returns its position; the
  // fills write the current position (or a value) into a slot and come back to where they were.
  std::int64_t ReserveOffset();
  void FillOffset(std::int64_t slot);
  void FillOffset(std::int64_t slot, std::int32_t value);

 private:
  void TransferString(RefString& text, bool strict);
  void FailDecoding(int line);

  QIStream* in_ = nullptr;
  QOStream* out_ = nullptr;
  int error_ = 0;
  int version_ = -1;
};
