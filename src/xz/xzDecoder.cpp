#include "xz/xzDecoder.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "xz/littleEndian.h"

namespace xz {

namespace {

constexpr std::uint8_t kHeaderMagic[6] = {0xFD, '7', 'z', 'X', 'Z', 0x00};
constexpr std::uint8_t kFooterMagic[2] = {'Y', 'Z'};
constexpr std::size_t kStreamHeaderSize = 12;
constexpr std::uint64_t kFilterLzma2 = 0x21;
// Sizes in the container are at most 2^63 - 1.
constexpr std::uint64_t kMaxSize = ~std::uint64_t{0} >> 1;
constexpr std::uint64_t kNotDeclared = ~std::uint64_t{0};

// A variable-length integer inside a header: seven bits a byte, least significant first, at most
// nine bytes, no redundant zero byte at the end. False when it is malformed or runs past `end`.
bool ReadInteger(const std::uint8_t*& p, const std::uint8_t* end, std::uint64_t* value) {
  std::uint64_t result = 0;
  for (unsigned i = 0; i < 9; ++i) {
    if (p == end) return false;
    const std::uint8_t byte = *p++;
    result |= static_cast<std::uint64_t>(byte & 0x7F) << (7 * i);
    if (!(byte & 0x80)) {
      if (byte == 0 && i > 0) return false;
      *value = result;
      return true;
    }
  }
  return false;
}

const char* FilterName(std::uint64_t id) {
  switch (id) {
    case 0x03: return "delta";
    case 0x04: return "x86 branch converter";
    case 0x05: return "PowerPC branch converter";
    case 0x06: return "IA-64 branch converter";
    case 0x07: return "ARM branch converter";
    case 0x08: return "ARM-Thumb branch converter";
    case 0x09: return "SPARC branch converter";
    case 0x0A: return "ARM64 branch converter";
    default: return "unknown";
  }
}

}  // namespace

bool XzDecoder::BlockTally::Add(std::uint64_t unpaddedSize, std::uint64_t uncompressedSize) {
  std::uint8_t sizes[16];
  for (int i = 0; i < 8; ++i) {
    sizes[i] = static_cast<std::uint8_t>(unpaddedSize >> (8 * i));
    sizes[8 + i] = static_cast<std::uint8_t>(uncompressedSize >> (8 * i));
  }
  hash = Crc64(hash, sizes, sizeof sizes);
  ++count;
  // Each block takes its unpadded size rounded up to four bytes in the stream.
  const std::uint64_t padded = (unpaddedSize + 3) & ~std::uint64_t{3};
  if (padded > kMaxSize - unpadded || uncompressedSize > kMaxSize - uncompressed) return false;
  unpadded += padded;
  uncompressed += uncompressedSize;
  return true;
}

XzDecoder::XzDecoder(const XzOptions& options) : options_(options) {}

void XzDecoder::Reset() {
  error_ = XzError();
  step_ = Step::StreamHeader;
  gathered_ = 0;
  streamPadding_ = 0;
}

XzStatus XzDecoder::Failed(XzStatus status, const char* format, ...) {
  if (error_.status == XzStatus::Ok) {
    error_.status = status;
    va_list args;
    va_start(args, format);
    std::vsnprintf(error_.text, sizeof error_.text, format, args);
    va_end(args);
  }
  step_ = Step::Failed;
  return error_.status;
}

bool XzDecoder::Gather(const std::uint8_t* in, std::size_t inSize, std::size_t* inPos, std::size_t size) {
  std::size_t take = size - gathered_;
  if (take > inSize - *inPos) take = inSize - *inPos;
  std::memcpy(gather_ + gathered_, in + *inPos, take);
  gathered_ += take;
  *inPos += take;
  return gathered_ == size;
}

XzStatus XzDecoder::ParseStreamHeader() {
  if (std::memcmp(gather_, kHeaderMagic, sizeof kHeaderMagic) != 0) {
    return Failed(XzStatus::Corrupt, "not an .xz stream (the stream header's magic bytes are wrong)");
  }
  if (LoadU32(gather_ + 8) != Crc32(0, gather_ + 6, 2)) {
    return Failed(XzStatus::Corrupt, "the stream header's CRC-32 does not match");
  }
  if (gather_[6] != 0 || (gather_[7] & 0xF0) != 0) {
    return Failed(XzStatus::Unsupported, "the stream header has unknown flags 0x%02X%02X", gather_[6], gather_[7]);
  }
  streamFlags_[0] = gather_[6];
  streamFlags_[1] = gather_[7];
  checkType_ = gather_[7] & 0x0F;
  blocks_ = BlockTally();
  return XzStatus::Ok;
}

XzStatus XzDecoder::ParseBlockHeader() {
  const std::size_t size = static_cast<std::size_t>(headerSize_);
  if (LoadU32(gather_ + size - 4) != Crc32(0, gather_, size - 4)) {
    return Failed(XzStatus::Corrupt, "a block header's CRC-32 does not match");
  }
  const std::uint8_t flags = gather_[1];
  if (flags & 0x3C) return Failed(XzStatus::Unsupported, "a block header has unknown flags 0x%02X", flags);
  const std::uint8_t* p = gather_ + 2;
  const std::uint8_t* const end = gather_ + size - 4;
  declaredCompressed_ = kNotDeclared;
  declaredUncompressed_ = kNotDeclared;
  if (flags & 0x40) {
    if (!ReadInteger(p, end, &declaredCompressed_) || declaredCompressed_ == 0 || declaredCompressed_ > kMaxSize) {
      return Failed(XzStatus::Corrupt, "a block header's compressed size is malformed");
    }
  }
  if (flags & 0x80) {
    if (!ReadInteger(p, end, &declaredUncompressed_) || declaredUncompressed_ > kMaxSize) {
      return Failed(XzStatus::Corrupt, "a block header's uncompressed size is malformed");
    }
  }
  const unsigned filters = (flags & 3) + 1;
  std::uint32_t dictionarySize = 0;
  for (unsigned i = 0; i < filters; ++i) {
    std::uint64_t id;
    std::uint64_t propertiesSize;
    if (!ReadInteger(p, end, &id) || !ReadInteger(p, end, &propertiesSize) ||
        propertiesSize > static_cast<std::uint64_t>(end - p)) {
      return Failed(XzStatus::Corrupt, "a block header's filter %u is malformed", i + 1);
    }
    const std::uint8_t* properties = p;
    p += propertiesSize;
    if (id != kFilterLzma2) {
      return Failed(XzStatus::Unsupported, "the filter 0x%llX (%s) is not supported; only LZMA2 is",
                    static_cast<unsigned long long>(id), FilterName(id));
    }
    if (i + 1 != filters) return Failed(XzStatus::Corrupt, "a block's LZMA2 filter is not the last of its filters");
    if (propertiesSize != 1) return Failed(XzStatus::Corrupt, "a block's LZMA2 filter has %llu property bytes instead of 1", static_cast<unsigned long long>(propertiesSize));
    dictionarySize = Lzma2DictionarySize(properties[0]);
    if (dictionarySize == 0) {
      return Failed(XzStatus::Unsupported, "a block's LZMA2 dictionary size byte 0x%02X is unknown", properties[0]);
    }
  }
  for (; p < end; ++p) {
    if (*p != 0) return Failed(XzStatus::Corrupt, "a block header's padding is not zero");
  }
  if (declaredCompressed_ != kNotDeclared &&
      declaredCompressed_ > kMaxSize - headerSize_ - CheckSize(checkType_)) {
    return Failed(XzStatus::Corrupt, "a block header's compressed size is too large");
  }
  XzError lzmaError;
  const XzStatus status = lzma2_.Start(dictionarySize, options_.memoryLimit, &lzmaError);
  if (status != XzStatus::Ok) return Failed(status, "%s", lzmaError.text);
  check_.Start(checkType_);
  compressed_ = 0;
  uncompressed_ = 0;
  return XzStatus::Ok;
}

XzStatus XzDecoder::BlockData(const std::uint8_t* in, std::size_t inSize, std::size_t* inPos, std::uint8_t* out,
                              std::size_t outSize, std::size_t* outPos) {
  // The LZMA2 data may not run past a declared compressed size.
  std::size_t available = inSize - *inPos;
  if (declaredCompressed_ != kNotDeclared && available > declaredCompressed_ - compressed_) {
    available = static_cast<std::size_t>(declaredCompressed_ - compressed_);
  }
  const std::size_t inStart = *inPos;
  const std::size_t outStart = *outPos;
  XzError lzmaError;
  const XzStatus status = lzma2_.Decode(in, inStart + available, inPos, out, outSize, outPos, &lzmaError);
  const std::size_t produced = *outPos - outStart;
  check_.Update(out + outStart, produced);
  compressed_ += *inPos - inStart;
  uncompressed_ += produced;
  if (status != XzStatus::Ok && status != XzStatus::StreamEnd) return Failed(status, "%s", lzmaError.text);
  if (uncompressed_ > declaredUncompressed_ || uncompressed_ > kMaxSize) {
    return Failed(XzStatus::Corrupt, "a block holds more data than its header declares");
  }
  if (status == XzStatus::Ok) {
    if (compressed_ == declaredCompressed_) {
      return Failed(XzStatus::Corrupt, "a block's data runs past the compressed size its header declares");
    }
    return XzStatus::Ok;
  }
  if (declaredCompressed_ != kNotDeclared && compressed_ != declaredCompressed_) {
    return Failed(XzStatus::Corrupt, "a block's data ends before the compressed size its header declares");
  }
  if (declaredUncompressed_ != kNotDeclared && uncompressed_ != declaredUncompressed_) {
    return Failed(XzStatus::Corrupt, "a block holds less data than its header declares");
  }
  step_ = Step::BlockPadding;
  return XzStatus::Ok;
}

XzStatus XzDecoder::IndexInteger(std::uint8_t byte, bool* done) {
  integer_ |= static_cast<std::uint64_t>(byte & 0x7F) << (7 * integerBytes_);
  ++integerBytes_;
  *done = false;
  if (byte & 0x80) {
    if (integerBytes_ == 9) return Failed(XzStatus::Corrupt, "the index has a malformed number");
    return XzStatus::Ok;
  }
  if (byte == 0 && integerBytes_ > 1) return Failed(XzStatus::Corrupt, "the index has a malformed number");
  *done = true;
  integerBytes_ = 0;
  return XzStatus::Ok;
}

void XzDecoder::IndexByte(std::uint8_t byte) {
  indexCrc_ = Crc32(indexCrc_, &byte, 1);
  ++indexSize_;
}

XzStatus XzDecoder::ParseStreamFooter() {
  if (std::memcmp(gather_ + 10, kFooterMagic, sizeof kFooterMagic) != 0) {
    return Failed(XzStatus::Corrupt, "the stream footer's magic bytes are wrong");
  }
  if (LoadU32(gather_) != Crc32(0, gather_ + 4, 6)) {
    return Failed(XzStatus::Corrupt, "the stream footer's CRC-32 does not match");
  }
  if (gather_[8] != streamFlags_[0] || gather_[9] != streamFlags_[1]) {
    return Failed(XzStatus::Corrupt, "the stream footer's flags differ from the header's");
  }
  const std::uint64_t backwardSize = (static_cast<std::uint64_t>(LoadU32(gather_ + 4)) + 1) * 4;
  if (backwardSize != indexSize_) {
    return Failed(XzStatus::Corrupt, "the stream footer gives the index as %llu bytes, but it has %llu",
                  static_cast<unsigned long long>(backwardSize), static_cast<unsigned long long>(indexSize_));
  }
  return XzStatus::Ok;
}

XzStatus XzDecoder::Decode(const std::uint8_t* in, std::size_t inSize, std::size_t* inPos, std::uint8_t* out,
                           std::size_t outSize, std::size_t* outPos) {
  if (*inPos > inSize || *outPos > outSize) {
    return Failed(XzStatus::Corrupt, "decoder called with positions past the ends of its buffers");
  }
  for (;;) {
    switch (step_) {
      case Step::StreamHeader: {
        if (!Gather(in, inSize, inPos, kStreamHeaderSize)) return XzStatus::Ok;
        gathered_ = 0;
        if (ParseStreamHeader() != XzStatus::Ok) return error_.status;
        step_ = Step::BlockStart;
        break;
      }
      case Step::BlockStart: {
        if (*inPos == inSize) return XzStatus::Ok;
        const std::uint8_t first = in[(*inPos)++];
        if (first == 0) {
          // The index: its indicator byte, then the number of records.
          indexSize_ = 0;
          indexCrc_ = 0;
          IndexByte(first);
          records_ = BlockTally();
          integer_ = 0;
          integerBytes_ = 0;
          recordsLeft_ = 0;
          step_ = Step::IndexCount;
          break;
        }
        headerSize_ = (static_cast<std::uint64_t>(first) + 1) * 4;
        padding_ = 0;
        gather_[0] = first;
        gathered_ = 1;
        step_ = Step::BlockHeader;
        break;
      }
      case Step::BlockHeader: {
        if (!Gather(in, inSize, inPos, static_cast<std::size_t>(headerSize_))) return XzStatus::Ok;
        gathered_ = 0;
        if (ParseBlockHeader() != XzStatus::Ok) return error_.status;
        step_ = Step::BlockData;
        break;
      }
      case Step::BlockData: {
        const std::size_t inBefore = *inPos;
        const std::size_t outBefore = *outPos;
        if (BlockData(in, inSize, inPos, out, outSize, outPos) != XzStatus::Ok) return error_.status;
        if (step_ == Step::BlockData) {
          // Still inside the block: the input is used up or the output room is full.
          if (*inPos == inSize || *outPos == outSize) return XzStatus::Ok;
          if (*inPos == inBefore && *outPos == outBefore) {
            return Failed(XzStatus::Corrupt, "the LZMA2 decoder made no progress");
          }
        }
        break;
      }
      case Step::BlockPadding: {
        // Zero bytes up to a multiple of four after the block's data.
        while ((compressed_ + padding_) % 4 != 0) {
          if (*inPos == inSize) return XzStatus::Ok;
          if (in[(*inPos)++] != 0) return Failed(XzStatus::Corrupt, "a block's padding is not zero");
          ++padding_;
        }
        step_ = Step::BlockCheck;
        break;
      }
      case Step::BlockCheck: {
        const std::size_t size = CheckSize(checkType_);
        if (!Gather(in, inSize, inPos, size)) return XzStatus::Ok;
        gathered_ = 0;
        if (check_.Verifies()) {
          std::uint8_t expected[64];
          check_.Finish(expected);
          if (std::memcmp(expected, gather_, size) != 0) {
            return Failed(XzStatus::Corrupt, "a block's %s does not match its data",
                          checkType_ == kCheckCrc32 ? "CRC-32" : checkType_ == kCheckCrc64 ? "CRC-64" : "SHA-256");
          }
        }
        if (!blocks_.Add(headerSize_ + compressed_ + size, uncompressed_)) {
          return Failed(XzStatus::Corrupt, "the stream's blocks are larger than the format allows");
        }
        step_ = Step::BlockStart;
        break;
      }
      case Step::IndexCount:
      case Step::IndexUnpadded:
      case Step::IndexUncompressed: {
        if (*inPos == inSize) return XzStatus::Ok;
        const std::uint8_t byte = in[(*inPos)++];
        IndexByte(byte);
        bool done;
        if (IndexInteger(byte, &done) != XzStatus::Ok) return error_.status;
        if (!done) break;
        const std::uint64_t value = integer_;
        integer_ = 0;
        if (step_ == Step::IndexCount) {
          if (value != blocks_.count) {
            return Failed(XzStatus::Corrupt, "the index lists %llu blocks, but the stream has %llu",
                          static_cast<unsigned long long>(value), static_cast<unsigned long long>(blocks_.count));
          }
          recordsLeft_ = value;
        } else if (step_ == Step::IndexUnpadded) {
          if (value == 0 || value > kMaxSize) return Failed(XzStatus::Corrupt, "the index has an impossible block size");
          recordUnpadded_ = value;
        } else {
          if (value > kMaxSize || !records_.Add(recordUnpadded_, value)) {
            return Failed(XzStatus::Corrupt, "the index has an impossible block size");
          }
          --recordsLeft_;
        }
        step_ = step_ == Step::IndexUnpadded ? Step::IndexUncompressed
                : recordsLeft_ > 0           ? Step::IndexUnpadded
                                             : Step::IndexPadding;
        break;
      }
      case Step::IndexPadding: {
        while (indexSize_ % 4 != 0) {
          if (*inPos == inSize) return XzStatus::Ok;
          const std::uint8_t byte = in[(*inPos)++];
          if (byte != 0) return Failed(XzStatus::Corrupt, "the index's padding is not zero");
          IndexByte(byte);
        }
        if (!(records_ == blocks_)) return Failed(XzStatus::Corrupt, "the index does not describe the stream's blocks");
        step_ = Step::IndexCrc;
        break;
      }
      case Step::IndexCrc: {
        if (!Gather(in, inSize, inPos, 4)) return XzStatus::Ok;
        gathered_ = 0;
        if (LoadU32(gather_) != indexCrc_) return Failed(XzStatus::Corrupt, "the index's CRC-32 does not match");
        indexSize_ += 4;
        step_ = Step::StreamFooter;
        break;
      }
      case Step::StreamFooter: {
        if (!Gather(in, inSize, inPos, kStreamHeaderSize)) return XzStatus::Ok;
        gathered_ = 0;
        if (ParseStreamFooter() != XzStatus::Ok) return error_.status;
        if (!options_.concatenated) {
          step_ = Step::End;
          return XzStatus::StreamEnd;
        }
        streamPadding_ = 0;
        step_ = Step::StreamPadding;
        break;
      }
      case Step::StreamPadding: {
        // Zero bytes in fours, then either the end of the input or another stream.
        while (*inPos < inSize && in[*inPos] == 0) {
          ++*inPos;
          ++streamPadding_;
        }
        if (*inPos == inSize) return XzStatus::Ok;
        if (streamPadding_ % 4 != 0) return Failed(XzStatus::Corrupt, "the stream padding is not a multiple of four bytes");
        step_ = Step::StreamHeader;
        break;
      }
      case Step::End:
        return XzStatus::StreamEnd;
      case Step::Failed:
        return error_.status;
    }
  }
}

XzStatus XzDecoder::Finish() {
  if (step_ == Step::End) return XzStatus::StreamEnd;
  if (step_ == Step::StreamPadding) {
    if (streamPadding_ % 4 != 0) return Failed(XzStatus::Corrupt, "the stream padding is not a multiple of four bytes");
    return XzStatus::StreamEnd;
  }
  if (step_ == Step::Failed) return error_.status;
  if (step_ == Step::StreamHeader && gathered_ == 0) return Failed(XzStatus::Corrupt, "the input holds no .xz stream");
  return Failed(XzStatus::Corrupt, "the stream is truncated");
}

}  // namespace xz
