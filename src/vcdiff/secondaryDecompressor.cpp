#include "vcdiff/secondaryDecompressor.h"

#include <new>

#if defined(ZR_VCDIFF_HAVE_LZMA)
#include <lzma.h>
#endif

namespace vcdiff {

namespace {

const char* CompressorName(std::uint8_t id) {
  switch (id) {
    case 1: return "DJW";
    case kSecondaryLzma: return "LZMA";
    case 16: return "FGK";
    default: return "unknown";
  }
}

#if defined(ZR_VCDIFF_HAVE_LZMA)
// The decoder's dictionary and state; deltas carry small dictionaries, so anything past this is
// treated as damage rather than allocated.
constexpr std::uint64_t kLzmaMemoryLimit = 256u << 20;
#endif

}  // namespace

#if defined(ZR_VCDIFF_HAVE_LZMA)
struct SecondaryDecompressor::Lzma {
  lzma_stream stream = LZMA_STREAM_INIT;
  ~Lzma() { lzma_end(&stream); }
};
#else
struct SecondaryDecompressor::Lzma {};
#endif

bool SecondaryCompressorAvailable(std::uint8_t id) {
#if defined(ZR_VCDIFF_HAVE_LZMA)
  return id == kSecondaryLzma;
#else
  (void)id;
  return false;
#endif
}

SecondaryDecompressor::SecondaryDecompressor() = default;
SecondaryDecompressor::~SecondaryDecompressor() = default;

bool SecondaryDecompressor::Select(std::uint8_t id, DecodeError* error) {
  if (id != kSecondaryLzma) {
    return Fail(error, DecodeStatus::Unsupported, "secondary compressor %d (%s) is not supported", id,
                CompressorName(id));
  }
  if (!SecondaryCompressorAvailable(id)) {
    return Fail(error, DecodeStatus::Unsupported, "LZMA secondary compression is not available in this build");
  }
  return true;
}

bool SecondaryDecompressor::Expand(int kind, ByteCursor section, std::size_t maxSize, ByteBuffer* out,
                                   std::size_t* expandedSize, DecodeError* error) {
  std::uint64_t declared;
  if (!section.ReadVarint(&declared)) {
    return Fail(error, DecodeStatus::Corrupt, "compressed section ends inside its expanded size");
  }
  if (declared > maxSize) {
    return Fail(error, DecodeStatus::Corrupt, "compressed section declares %llu bytes, more than the %llu allowed",
                static_cast<unsigned long long>(declared), static_cast<unsigned long long>(maxSize));
  }
  const std::size_t size = static_cast<std::size_t>(declared);
  if (!out->Reserve(size > 0 ? size : 1)) {
    return Fail(error, DecodeStatus::OutOfMemory, "out of memory for a section of %llu bytes",
                static_cast<unsigned long long>(declared));
  }
#if defined(ZR_VCDIFF_HAVE_LZMA)
  std::unique_ptr<Lzma>& lzma = lzma_[kind];
  if (!lzma) {
    lzma.reset(new (std::nothrow) Lzma);
    if (!lzma || lzma_stream_decoder(&lzma->stream, kLzmaMemoryLimit, 0) != LZMA_OK) {
      return Fail(error, DecodeStatus::OutOfMemory, "cannot start the LZMA decoder");
    }
  }
  lzma_stream& stream = lzma->stream;
  stream.next_in = section.Position();
  stream.avail_in = section.Remaining();
  stream.next_out = out->Data();
  stream.avail_out = size;
  // Expand until the declared size is reached or the section's bytes give nothing more.
  lzma_ret result = LZMA_OK;
  while (stream.avail_out > 0 && result == LZMA_OK) {
    const std::size_t before = stream.avail_out + stream.avail_in;
    result = lzma_code(&stream, LZMA_RUN);
    if (stream.avail_out + stream.avail_in == before) break;
  }
  if (result != LZMA_OK && result != LZMA_STREAM_END) {
    return Fail(error, DecodeStatus::Corrupt, "LZMA section is damaged (liblzma error %d)", static_cast<int>(result));
  }
  if (stream.avail_out != 0) {
    return Fail(error, DecodeStatus::Corrupt, "LZMA section expands to %llu bytes instead of %llu",
                static_cast<unsigned long long>(size - stream.avail_out), static_cast<unsigned long long>(declared));
  }
  // Bytes left over may only be stream framing; any further output means the size was wrong.
  while (stream.avail_in > 0 && result == LZMA_OK) {
    std::uint8_t extra;
    const std::size_t before = stream.avail_in;
    stream.next_out = &extra;
    stream.avail_out = 1;
    result = lzma_code(&stream, LZMA_RUN);
    if (stream.avail_out == 0) {
      return Fail(error, DecodeStatus::Corrupt, "LZMA section expands past its declared %llu bytes",
                  static_cast<unsigned long long>(declared));
    }
    if (stream.avail_in == before) break;
  }
  if (stream.avail_in != 0) {
    return Fail(error, DecodeStatus::Corrupt, "LZMA section has %llu bytes that cannot be decoded",
                static_cast<unsigned long long>(stream.avail_in));
  }
  *expandedSize = size;
  return true;
#else
  (void)kind;
  (void)section;
  (void)expandedSize;
  return Fail(error, DecodeStatus::Unsupported, "LZMA secondary compression is not available in this build");
#endif
}

}  // namespace vcdiff
