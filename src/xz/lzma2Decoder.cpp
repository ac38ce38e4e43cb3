#include "xz/lzma2Decoder.h"

#include <cstring>
#include <new>

namespace xz {

namespace {

constexpr std::size_t kMaxCompressedChunk = 1 << 16;

std::size_t Smallest(std::size_t a, std::size_t b) { return a < b ? a : b; }

}  // namespace

std::uint32_t Lzma2DictionarySize(std::uint8_t properties) {
  if (properties > 40) return 0;
  if (properties == 40) return 0xFFFFFFFFu;
  return (2u | (properties & 1u)) << (properties / 2 + 11);
}

Lzma2Decoder::Lzma2Decoder() = default;
Lzma2Decoder::~Lzma2Decoder() = default;

XzStatus Lzma2Decoder::Start(std::uint32_t dictionarySize, std::uint64_t memoryLimit, XzError* error) {
  step_ = Step::Failed;
  const std::uint64_t needed = ((static_cast<std::uint64_t>(dictionarySize) + 15) & ~std::uint64_t{15}) +
                               kMaxCompressedChunk + sizeof(LzmaDecoder);
  if (needed > memoryLimit || needed > SIZE_MAX / 2) {
    return Fail(error, XzStatus::MemoryLimit, "the stream needs %llu KiB for its dictionary, more than the %llu KiB allowed",
                static_cast<unsigned long long>((needed + 1023) >> 10),
                static_cast<unsigned long long>(memoryLimit >> 10));
  }
  if (!lzma_) lzma_.reset(new (std::nothrow) LzmaDecoder);
  if (!chunk_) chunk_.reset(new (std::nothrow) std::uint8_t[kMaxCompressedChunk + LzmaDecoder::kInputPadding]);
  if (!lzma_ || !chunk_) return Fail(error, XzStatus::OutOfMemory, "out of memory for the LZMA2 decoder");
  dict_.Configure(dictionarySize);
  step_ = Step::Control;
  needDictionaryReset_ = true;
  needProperties_ = true;
  return XzStatus::Ok;
}

// Checks the chunk header gathered in header_ and prepares the chunk.
XzStatus Lzma2Decoder::StartChunk(XzError* error) {
  const std::size_t size16 = static_cast<std::size_t>(header_[0]) << 8 | header_[1];
  if (control_ < 0x80) {
    if (control_ == 1) dict_.Reset();
    uncompressedLeft_ = size16 + 1;
    step_ = Step::Stored;
    return XzStatus::Ok;
  }
  uncompressedLeft_ = (static_cast<std::size_t>(control_ & 0x1F) << 16) + size16 + 1;
  compressedSize_ = (static_cast<std::size_t>(header_[2]) << 8 | header_[3]) + 1;
  if (control_ >= 0xC0 && !lzma_->SetProperties(header_[4])) {
    return Fail(error, XzStatus::Corrupt, "LZMA2 chunk has invalid properties 0x%02X", header_[4]);
  }
  if (control_ >= 0xE0) dict_.Reset();
  if (control_ >= 0xA0) lzma_->ResetState();
  chunkUsed_ = 0;
  step_ = Step::Gather;
  return XzStatus::Ok;
}

XzStatus Lzma2Decoder::Decode(const std::uint8_t* in, std::size_t inSize, std::size_t* inPos, std::uint8_t* out,
                              std::size_t outSize, std::size_t* outPos, XzError* error) {
  const auto fail = [&](XzStatus status, const char* text) {
    step_ = Step::Failed;
    return Fail(error, status, "%s", text);
  };
  for (;;) {
    switch (step_) {
      case Step::Control: {
        if (*inPos == inSize) return XzStatus::Ok;
        control_ = in[(*inPos)++];
        if (control_ == 0) {
          step_ = Step::End;
          return XzStatus::StreamEnd;
        }
        if (control_ > 2 && control_ < 0x80) return fail(XzStatus::Corrupt, "LZMA2 chunk has an invalid control byte");
        // A stored chunk with a reset (1) or an LZMA chunk that resets everything (0xE0 and up)
        // resets the dictionary; the first chunk must. After a dictionary reset the next LZMA
        // chunk must bring properties.
        if (control_ == 1 || control_ >= 0xE0) {
          needDictionaryReset_ = false;
          if (control_ == 1) needProperties_ = true;
        } else if (needDictionaryReset_) {
          return fail(XzStatus::Corrupt, "LZMA2 stream does not start with a dictionary reset");
        }
        if (control_ >= 0x80) {
          if (control_ >= 0xC0) {
            needProperties_ = false;
          } else if (needProperties_) {
            return fail(XzStatus::Corrupt, "LZMA2 chunk lacks the properties that must follow a dictionary reset");
          }
        }
        headerSize_ = control_ >= 0xC0 ? 5 : (control_ >= 0x80 ? 4 : 2);
        headerUsed_ = 0;
        step_ = Step::Header;
        break;
      }
      case Step::Header: {
        const std::size_t take = Smallest(inSize - *inPos, headerSize_ - headerUsed_);
        std::memcpy(header_ + headerUsed_, in + *inPos, take);
        *inPos += take;
        headerUsed_ += take;
        if (headerUsed_ < headerSize_) return XzStatus::Ok;
        const XzStatus status = StartChunk(error);
        if (status != XzStatus::Ok) {
          step_ = Step::Failed;
          return status;
        }
        break;
      }
      case Step::Stored: {
        while (uncompressedLeft_ > 0) {
          if (*inPos == inSize || *outPos == outSize) return XzStatus::Ok;
          if (!dict_.MakeRoom()) return fail(XzStatus::OutOfMemory, "out of memory for the LZMA2 dictionary");
          const std::size_t take = Smallest(Smallest(uncompressedLeft_, inSize - *inPos),
                                            Smallest(outSize - *outPos, dict_.capacity - dict_.pos));
          std::memcpy(dict_.buffer.get() + dict_.pos, in + *inPos, take);
          std::memcpy(out + *outPos, in + *inPos, take);
          dict_.pos += take;
          if (dict_.pos > dict_.full) dict_.full = dict_.pos;
          *inPos += take;
          *outPos += take;
          uncompressedLeft_ -= take;
        }
        step_ = Step::Control;
        break;
      }
      case Step::Gather: {
        const std::size_t take = Smallest(inSize - *inPos, compressedSize_ - chunkUsed_);
        std::memcpy(chunk_.get() + chunkUsed_, in + *inPos, take);
        *inPos += take;
        chunkUsed_ += take;
        if (chunkUsed_ < compressedSize_) return XzStatus::Ok;
        // The decoder may look past the chunk before it notices a damaged chunk ran over.
        std::memset(chunk_.get() + compressedSize_, 0, LzmaDecoder::kInputPadding);
        if (!lzma_->StartChunk(chunk_.get(), chunk_.get() + compressedSize_)) {
          return fail(XzStatus::Corrupt, "LZMA chunk does not start like range-coded data");
        }
        step_ = Step::Lzma;
        break;
      }
      case Step::Lzma: {
        while (uncompressedLeft_ > 0) {
          if (*outPos == outSize) return XzStatus::Ok;
          if (!dict_.MakeRoom()) return fail(XzStatus::OutOfMemory, "out of memory for the LZMA2 dictionary");
          const std::size_t start = dict_.pos;
          const std::size_t room = Smallest(dict_.capacity - start, Smallest(outSize - *outPos, uncompressedLeft_));
          const bool ok = lzma_->Decode(dict_, start + room);
          const std::size_t produced = dict_.pos - start;
          std::memcpy(out + *outPos, dict_.buffer.get() + start, produced);
          *outPos += produced;
          uncompressedLeft_ -= produced;
          if (!ok) return fail(XzStatus::Corrupt, "LZMA data is damaged (a distance before the start of the data, or more bytes than the chunk holds)");
        }
        if (!lzma_->FinishChunk()) {
          return fail(XzStatus::Corrupt, lzma_->PendingMatch() > 0 ? "LZMA chunk ends inside a match"
                                                                     : "LZMA chunk's compressed size does not match its data");
        }
        step_ = Step::Control;
        break;
      }
      case Step::End:
        return XzStatus::StreamEnd;
      case Step::Failed:
        return error->status != XzStatus::Ok ? error->status
                                             : Fail(error, XzStatus::Corrupt, "LZMA2 decoder used after a failure");
    }
  }
}

}  // namespace xz
