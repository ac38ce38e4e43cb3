#include "El/QStream/serializeBin.h"

#include <cstring>
#include <string>

#include "El/Common/appFrame.h"
#include "El/QStream/qstream.h"
#include "El/QStream/ssCompress.h"
#include "xz/littleEndian.h"

namespace {
constexpr const char* kSource = "serializeBin";
}  // namespace

bool SerializeBinStream::Version(int oldest, int newest) {
  std::int32_t value = newest;
  TransferInt(value);
  version_ = value;
  return value >= oldest && value <= newest;
}

void SerializeBinStream::TransferBytes(void* data, int size) {
  if (size <= 0) return;
  if (out_) {
    out_->write(data, size);
    return;
  }
  if (!in_) return;
  const int got = in_->read(data, size);
  if (got < size) {
    // The input ended inside the transfer: what was not read reads as zeros, never as stale memory.
    std::memset(static_cast<char*>(data) + got, 0, static_cast<std::size_t>(size - got));
    error_ = kStructureError;
  }
}

void SerializeBinStream::TransferInt(std::int32_t& value) {
  unsigned char bytes[4];
  const auto word = static_cast<std::uint32_t>(value);
  xz::StoreU32(bytes, word);
  TransferBytes(bytes, 4);
  if (in_) {
    value = static_cast<std::int32_t>(xz::LoadU32(bytes));
  }
}

void SerializeBinStream::FailDecoding(int line) {
  ReportPositionError(kSource, line, "Error in SerializeBinStream decoding");
  error_ = kStructureError;
}

void SerializeBinStream::TransferData(void* data, int size, bool compressed) {
  if (!compressed || size < kCompressMin) {
    TransferBytes(data, size);
    return;
  }
  SSCompress coder;  // the coder's work area, on the stack for this one block
  if (out_) {
    coder.Encode(*out_, data, static_cast<std::size_t>(size));
  } else if (in_ && !coder.Decode(data, size, *in_)) {
    FailDecoding(__LINE__);
  }
}

void SerializeBinStream::SkipData(int size, bool compressed) {
  if (!in_ || size <= 0) return;
  if (!compressed || size < kCompressMin) {
    if (in_->GetDataSize() - in_->tellg() < size) error_ = kStructureError;
    in_->SeekG(size, 1);
    return;
  }
  SSCompress coder;
  if (!coder.DecodeDiscard(size, *in_)) FailDecoding(__LINE__);
}

void SerializeBinStream::TransferString(RefString& text) { TransferString(text, true); }
void SerializeBinStream::TransferStringLenient(RefString& text) { TransferString(text, false); }

void SerializeBinStream::TransferString(RefString& text, bool strict) {
  if (out_) {
    out_->write(text.Data(), text.GetLength() + 1);
    return;
  }
  if (!in_) return;
  std::string bytes;
  for (;;) {
    const int c = in_->get();
    if (c == 0) break;
    if (c < 0) {
      if (strict) {
        ReportPositionError(kSource, __LINE__, "EOF in string");
        error_ = kStructureError;
      }
      break;
    }
    if (!strict && c == 255) break;
    bytes.push_back(static_cast<char>(c));
  }
  text = RefString(bytes.data(), static_cast<int>(bytes.size()));
}

std::int64_t SerializeBinStream::TellG() {
  if (!in_) {
    ReportPositionError(kSource, __LINE__, "File is not readable");
    return 0;
  }
  return in_->tellg();
}

std::int64_t SerializeBinStream::TellP() {
  if (!out_) {
    ReportPositionError(kSource, __LINE__, "File is not writeable");
    return 0;
  }
  return out_->tellp();
}

void SerializeBinStream::SeekG(std::int64_t position) {
  if (!in_) {
    ReportPositionError(kSource, __LINE__, "Cannot SeekG on output stream");
    return;
  }
  in_->SeekG(position, 0);
}

void SerializeBinStream::SeekP(std::int64_t position) {
  if (!out_) {
    ReportPositionError(kSource, __LINE__, "Cannot SeekP on input stream");
    return;
  }
  out_->SeekP(position, 0);
}

void SerializeBinStream::PreRead(std::int64_t size) {
  if (in_) in_->PreRead(size);
}

std::int64_t SerializeBinStream::ReserveOffset() {
  const std::int64_t slot = TellP();
  if (!out_) return slot;
  std::int32_t placeholder = -1;
  TransferInt(placeholder);
  return slot;
}

void SerializeBinStream::FillOffset(std::int64_t slot) {
  const std::int64_t position = TellP();
  if (out_) FillOffset(slot, static_cast<std::int32_t>(position));
}

void SerializeBinStream::FillOffset(std::int64_t slot, std::int32_t value) {
  const std::int64_t position = TellP();
  if (!out_) return;
  out_->SeekP(slot, 0);
  TransferInt(value);
  out_->SeekP(position, 0);
}
