#include "vcdiff/deltaDecoder.h"

#include <cstring>

#include "vcdiff/adler32.h"
#include "vcdiff/instructionDecoder.h"
#include "vcdiff/memoryStreams.h"

namespace vcdiff {

namespace {

using Ull = unsigned long long;

const std::uint8_t kMagic[3] = {0xD6, 0xC3, 0xC4};

// Header indicator bits.
constexpr std::uint8_t kHeaderSecondary = 0x01;
constexpr std::uint8_t kHeaderCodeTable = 0x02;
constexpr std::uint8_t kHeaderApplication = 0x04;
// Window indicator bits; the checksum bit is the encoder's extension.
constexpr std::uint8_t kWindowSource = 0x01;
constexpr std::uint8_t kWindowTarget = 0x02;
constexpr std::uint8_t kWindowChecksum = 0x04;
// Delta indicator bits: which sections are compressed.
constexpr std::uint8_t kCompressedSections = 0x07;

// A code table's delta rebuilds 1536 bytes; a few KiB describe any table.
constexpr std::uint64_t kMaxCodeTableData = 64u << 10;
// Room for the longest window header before its encoding: indicator and three integers.
constexpr std::size_t kWindowHeaderPeek = 1 + 3 * 10;

}  // namespace

struct DeltaDecoder::WindowHeader {
  std::uint8_t indicator = 0;
  std::uint64_t segmentSize = 0;
  std::uint64_t segmentPosition = 0;
  std::uint64_t encodingSize = 0;
};

struct DeltaDecoder::WindowBody {
  std::uint64_t targetSize = 0;
  std::uint32_t checksum = 0;
  ByteCursor sections[3];  // data, instructions, addresses (expanded)
};

DeltaDecoder::DeltaDecoder(DeltaInput* delta, SegmentSource* source, TargetSink* target)
    : delta_(delta), source_(source), target_(target), table_(DefaultCodeTable()) {}

bool DeltaDecoder::Decode(DecodeError* error) {
  if (!ReadHeader(error)) return false;
  if (!cache_.Init(table_.nearSize, table_.sameSize)) {
    return Fail(error, DecodeStatus::OutOfMemory, "out of memory for the address cache");
  }
  while (position_ < delta_->Size()) {
    if (!DecodeWindow(error)) return false;
    ++window_;
  }
  return true;
}

bool DeltaDecoder::Peek(std::uint8_t* buffer, std::size_t size, std::size_t* got, DecodeError* error) {
  const std::uint64_t left = delta_->Size() - position_;
  *got = left < size ? static_cast<std::size_t>(left) : size;
  return delta_->ReadAt(position_, buffer, *got, error);
}

bool DeltaDecoder::ReadHeader(DecodeError* error) {
  std::uint8_t bytes[16];
  std::size_t got;
  if (!Peek(bytes, sizeof bytes, &got, error)) return false;
  ByteCursor cursor(bytes, got);
  const std::uint8_t* magic;
  std::uint8_t version, indicator;
  if (!cursor.ReadBytes(3, &magic) || std::memcmp(magic, kMagic, 3) != 0) {
    return Fail(error, DecodeStatus::Corrupt, "not a VCDIFF delta (bad magic bytes)");
  }
  if (!cursor.ReadByte(&version) || !cursor.ReadByte(&indicator)) {
    return Fail(error, DecodeStatus::Corrupt, "delta header is truncated");
  }
  if (version != 0) {
    return Fail(error, DecodeStatus::Unsupported, "VCDIFF version %d is not supported", version);
  }
  if (indicator & ~(kHeaderSecondary | kHeaderCodeTable | kHeaderApplication)) {
    return Fail(error, DecodeStatus::Corrupt, "delta header has unknown indicator bits 0x%02X", indicator);
  }
  if (indicator & kHeaderSecondary) {
    std::uint8_t id;
    if (!cursor.ReadByte(&id)) return Fail(error, DecodeStatus::Corrupt, "delta header is truncated");
    if (!secondary_.Select(id, error)) return false;
    compressed_ = true;
  }
  std::uint64_t tableSize = 0;
  if ((indicator & kHeaderCodeTable) && !cursor.ReadVarint(&tableSize)) {
    return Fail(error, DecodeStatus::Corrupt, "delta header is truncated");
  }
  position_ += cursor.Position() - bytes;
  if (indicator & kHeaderCodeTable) {
    if (!ReadCodeTable(tableSize, error)) return false;
  }
  if (indicator & kHeaderApplication) {
    // The application header (the encoder's file names) means nothing to the decoder: skip it.
    if (!Peek(bytes, sizeof bytes, &got, error)) return false;
    cursor = ByteCursor(bytes, got);
    std::uint64_t applicationSize;
    if (!cursor.ReadVarint(&applicationSize)) {
      return Fail(error, DecodeStatus::Corrupt, "delta header is truncated");
    }
    position_ += cursor.Position() - bytes;
    if (applicationSize > delta_->Size() - position_) {
      return Fail(error, DecodeStatus::Corrupt, "application header of %llu bytes runs past the end of the delta",
                  static_cast<Ull>(applicationSize));
    }
    position_ += applicationSize;
  }
  return true;
}

bool DeltaDecoder::ReadCodeTable(std::uint64_t size, DecodeError* error) {
  if (!allowCodeTable_) {
    return Fail(error, DecodeStatus::Corrupt, "a code table's delta declares a code table of its own");
  }
  if (size > delta_->Size() - position_ || size > kMaxCodeTableData || size < 2) {
    return Fail(error, DecodeStatus::Corrupt, "code table of %llu bytes is truncated or too large",
                static_cast<Ull>(size));
  }
  ByteBuffer data;
  if (!data.Reserve(static_cast<std::size_t>(size))) {
    return Fail(error, DecodeStatus::OutOfMemory, "out of memory for the code table");
  }
  if (!delta_->ReadAt(position_, data.Data(), static_cast<std::size_t>(size), error)) return false;
  position_ += size;

  // The new table is itself a delta against the standard table's serialised form.
  std::uint8_t standard[kCodeTableStringSize];
  CodeTableToString(DefaultCodeTable(), standard);
  MemoryDeltaInput tableDelta(data.Data() + 2, static_cast<std::size_t>(size) - 2);
  MemorySegmentSource tableSource(standard, sizeof standard);
  MemoryTargetSink tableTarget(kCodeTableStringSize);
  DeltaDecoder inner(&tableDelta, &tableSource, &tableTarget);
  inner.allowCodeTable_ = false;
  DecodeError innerError;
  if (!inner.Decode(&innerError)) {
    return Fail(error, innerError.status, "code table: %s", innerError.text);
  }
  if (tableTarget.Bytes().size() != kCodeTableStringSize) {
    return Fail(error, DecodeStatus::Corrupt, "code table: its delta produces %llu bytes instead of %d",
                static_cast<Ull>(tableTarget.Bytes().size()), kCodeTableStringSize);
  }
  return CodeTableFromString(tableTarget.Bytes().data(), data.Data()[0], data.Data()[1], &table_, error);
}

bool DeltaDecoder::ReadWindowHeader(WindowHeader* header, DecodeError* error) {
  std::uint8_t bytes[kWindowHeaderPeek];
  std::size_t got;
  if (!Peek(bytes, sizeof bytes, &got, error)) return false;
  ByteCursor cursor(bytes, got);
  cursor.ReadByte(&header->indicator);  // the caller has checked that a byte remains
  if (header->indicator & ~(kWindowSource | kWindowTarget | kWindowChecksum)) {
    return Fail(error, DecodeStatus::Corrupt, "window %llu has unknown indicator bits 0x%02X",
                static_cast<Ull>(window_), header->indicator);
  }
  if ((header->indicator & kWindowSource) && (header->indicator & kWindowTarget)) {
    return Fail(error, DecodeStatus::Corrupt, "window %llu copies from both the source and the target",
                static_cast<Ull>(window_));
  }
  if ((header->indicator & (kWindowSource | kWindowTarget)) &&
      (!cursor.ReadVarint(&header->segmentSize) || !cursor.ReadVarint(&header->segmentPosition))) {
    return Fail(error, DecodeStatus::Corrupt, "window %llu: header is truncated", static_cast<Ull>(window_));
  }
  if (!cursor.ReadVarint(&header->encodingSize)) {
    return Fail(error, DecodeStatus::Corrupt, "window %llu: header is truncated", static_cast<Ull>(window_));
  }
  position_ += cursor.Position() - bytes;
  if (header->encodingSize > delta_->Size() - position_) {
    return Fail(error, DecodeStatus::Corrupt, "window %llu: encoding of %llu bytes runs past the end of the delta",
                static_cast<Ull>(window_), static_cast<Ull>(header->encodingSize));
  }
  if (header->encodingSize > kMaxWindowEncodingSize) {
    return Fail(error, DecodeStatus::Corrupt, "window %llu: encoding of %llu bytes is larger than allowed",
                static_cast<Ull>(window_), static_cast<Ull>(header->encodingSize));
  }
  return true;
}

// Reads the window's encoding and splits it into the target size, the checksum and the three
// sections, expanding those that the delta indicator marks as compressed.
bool DeltaDecoder::ReadWindowBody(const WindowHeader& header, WindowBody* body, DecodeError* error) {
  const std::size_t encodingSize = static_cast<std::size_t>(header.encodingSize);
  if (!encoding_.Reserve(encodingSize > 0 ? encodingSize : 1)) {
    return Fail(error, DecodeStatus::OutOfMemory, "out of memory for a window of %llu bytes",
                static_cast<Ull>(header.encodingSize));
  }
  if (!delta_->ReadAt(position_, encoding_.Data(), encodingSize, error)) return false;
  position_ += encodingSize;

  ByteCursor cursor(encoding_.Data(), encodingSize);
  std::uint64_t sizes[3];
  std::uint8_t deltaIndicator;
  if (!cursor.ReadVarint(&body->targetSize) || !cursor.ReadByte(&deltaIndicator) ||
      !cursor.ReadVarint(&sizes[0]) || !cursor.ReadVarint(&sizes[1]) || !cursor.ReadVarint(&sizes[2])) {
    return Fail(error, DecodeStatus::Corrupt, "window %llu: header is truncated", static_cast<Ull>(window_));
  }
  if (body->targetSize > kMaxWindowSize) {
    return Fail(error, DecodeStatus::Corrupt, "window %llu: target window of %llu bytes is larger than allowed",
                static_cast<Ull>(window_), static_cast<Ull>(body->targetSize));
  }
  if (deltaIndicator & ~kCompressedSections) {
    return Fail(error, DecodeStatus::Corrupt, "window %llu has unknown delta indicator bits 0x%02X",
                static_cast<Ull>(window_), deltaIndicator);
  }
  if (deltaIndicator != 0 && !compressed_) {
    return Fail(error, DecodeStatus::Corrupt, "window %llu has compressed sections but the delta names no compressor",
                static_cast<Ull>(window_));
  }
  if (header.indicator & kWindowChecksum) {
    const std::uint8_t* bytes;
    if (!cursor.ReadBytes(4, &bytes)) {
      return Fail(error, DecodeStatus::Corrupt, "window %llu: header is truncated", static_cast<Ull>(window_));
    }
    body->checksum = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                     (std::uint32_t{bytes[2]} << 8) | bytes[3];
  }
  static const char* const kSectionNames[3] = {"data", "instruction", "address"};
  for (int i = 0; i < 3; ++i) {
    if (sizes[i] > cursor.Remaining()) {
      return Fail(error, DecodeStatus::Corrupt, "window %llu: %s section of %llu bytes runs past the window",
                  static_cast<Ull>(window_), kSectionNames[i], static_cast<Ull>(sizes[i]));
    }
    const std::uint8_t* bytes = nullptr;
    cursor.ReadBytes(static_cast<std::size_t>(sizes[i]), &bytes);
    body->sections[i] = ByteCursor(bytes, static_cast<std::size_t>(sizes[i]));
  }
  if (!cursor.AtEnd()) {
    return Fail(error, DecodeStatus::Corrupt, "window %llu: %llu bytes follow the sections inside the window",
                static_cast<Ull>(window_), static_cast<Ull>(cursor.Remaining()));
  }
  for (int i = 0; i < 3; ++i) {
    if (!(deltaIndicator & (1 << i))) continue;
    // Data bytes are never more than the target; instructions and addresses stay within the limit.
    const std::size_t limit = static_cast<std::size_t>(i == 0 ? body->targetSize : kMaxWindowSize);
    std::size_t expandedSize;
    DecodeError sectionError;
    if (!secondary_.Expand(i, body->sections[i], limit, &expanded_[i], &expandedSize, &sectionError)) {
      return Fail(error, sectionError.status, "window %llu: %s section: %s", static_cast<Ull>(window_),
                  kSectionNames[i], sectionError.text);
    }
    body->sections[i] = ByteCursor(expanded_[i].Data(), expandedSize);
  }
  return true;
}

// Runs the window's instructions into targetWindow_ with its segment made readable.
bool DeltaDecoder::RunInstructions(const WindowHeader& header, const WindowBody& body, DecodeError* error) {
  SegmentSource* segmentSource = nullptr;
  if (header.indicator & kWindowSource) {
    segmentSource = source_;
    if (!segmentSource) {
      return Fail(error, DecodeStatus::Corrupt, "window %llu copies from a source file, but none was given",
                  static_cast<Ull>(window_));
    }
  } else if (header.indicator & kWindowTarget) {
    segmentSource = target_->Written();
  }
  const std::uint8_t* segment = nullptr;
  if (segmentSource) {
    DecodeError segmentError;
    if (!segmentSource->Acquire(header.segmentPosition, header.segmentSize, &segment, &segmentError)) {
      return Fail(error, segmentError.status, "window %llu: %s", static_cast<Ull>(window_), segmentError.text);
    }
  }
  const std::size_t windowSize = static_cast<std::size_t>(body.targetSize);
  bool decoded = targetWindow_.Reserve(windowSize > 0 ? windowSize : 1);
  if (!decoded) {
    Fail(error, DecodeStatus::OutOfMemory, "out of memory for a target window of %llu bytes",
         static_cast<Ull>(body.targetSize));
  } else {
    cache_.Reset();
    const WindowTarget out = {segment, segmentSource ? header.segmentSize : 0, targetWindow_.Data(), windowSize};
    decoded = DecodeInstructions(table_, &cache_, WindowSections{body.sections[0], body.sections[1], body.sections[2]},
                                 out, window_, error);
  }
  // The segment is released whatever happened, so that a target segment gives the output back.
  const bool released = !segmentSource || segmentSource->Release(error);
  return decoded && released;
}

bool DeltaDecoder::DecodeWindow(DecodeError* error) {
  WindowHeader header;
  WindowBody body;
  if (!ReadWindowHeader(&header, error) || !ReadWindowBody(header, &body, error) ||
      !RunInstructions(header, body, error)) {
    return false;
  }
  const std::size_t windowSize = static_cast<std::size_t>(body.targetSize);
  if (header.indicator & kWindowChecksum) {
    const std::uint32_t actual = Adler32(1, targetWindow_.Data(), windowSize);
    if (actual != body.checksum) {
      return Fail(error, DecodeStatus::Corrupt, "window %llu: checksum mismatch (delta %08X, decoded %08X)",
                  static_cast<Ull>(window_), body.checksum, actual);
    }
  }
  return target_->Write(targetWindow_.Data(), windowSize, error);
}

}  // namespace vcdiff
