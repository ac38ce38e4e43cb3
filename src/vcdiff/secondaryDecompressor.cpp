#include "vcdiff/secondaryDecompressor.h"

#include <new>

#include "xz/xzDecoder.h"

#if defined(ZR_VCDIFF_HAVE_LIBLZMA)
#include <lzma.h>
#endif

namespace vcdiff {

namespace {

using Ull = unsigned long long;

const char* CompressorName(std::uint8_t id) {
  switch (id) {
    case 1: return "DJW";
    case kSecondaryLzma: return "LZMA";
    case 16: return "FGK";
    default: return "unknown";
  }
}

// The decoder's dictionary and state; deltas carry small dictionaries, so anything past this is
// declined rather than allocated.
constexpr std::uint64_t kLzmaMemoryLimit = 256u << 20;

LzmaEngine selectedEngine = LzmaEngine::Builtin;

// A failure of our decoder as the delta decoder reports it.
bool FailXz(DecodeError* error, const xz::XzDecoder& decoder) {
  const xz::XzStatus status = decoder.Error().status;
  if (status == xz::XzStatus::Unsupported || status == xz::XzStatus::MemoryLimit) {
    return Fail(error, DecodeStatus::Unsupported, "LZMA section needs what this decoder lacks: %s", decoder.Error().text);
  }
  if (status == xz::XzStatus::OutOfMemory) {
    return Fail(error, DecodeStatus::OutOfMemory, "LZMA section: %s", decoder.Error().text);
  }
  return Fail(error, DecodeStatus::Corrupt, "LZMA section is damaged: %s", decoder.Error().text);
}

}  // namespace

// One kind's stream, expanded by the engine selected when it began.
struct SecondaryDecompressor::Lzma {
  explicit Lzma(const xz::XzOptions& options) : builtin(options) {}
  LzmaEngine engine = LzmaEngine::Builtin;
  xz::XzDecoder builtin;
#if defined(ZR_VCDIFF_HAVE_LIBLZMA)
  lzma_stream stream = LZMA_STREAM_INIT;
  ~Lzma() { lzma_end(&stream); }
#endif
};

bool SecondaryCompressorAvailable(std::uint8_t id) { return id == kSecondaryLzma; }

bool SelectLzmaEngine(LzmaEngine engine) {
#if !defined(ZR_VCDIFF_HAVE_LIBLZMA)
  if (engine == LzmaEngine::Liblzma) return false;
#endif
  selectedEngine = engine;
  return true;
}

LzmaEngine SelectedLzmaEngine() { return selectedEngine; }

SecondaryDecompressor::SecondaryDecompressor() = default;
SecondaryDecompressor::~SecondaryDecompressor() = default;

bool SecondaryDecompressor::Select(std::uint8_t id, DecodeError* error) {
  if (!SecondaryCompressorAvailable(id)) {
    return Fail(error, DecodeStatus::Unsupported, "secondary compressor %d (%s) is not supported", id,
                CompressorName(id));
  }
  return true;
}

namespace {

// Expands with our decoder: the section's bytes must give exactly `size` bytes; what is left over
// may only be stream framing.
bool ExpandBuiltin(xz::XzDecoder& decoder, ByteCursor section, std::uint8_t* out, std::size_t size,
                   DecodeError* error) {
  const std::uint8_t* in = section.Position();
  const std::size_t inSize = section.Remaining();
  std::size_t inPos = 0;
  std::size_t outPos = 0;
  xz::XzStatus status = decoder.Decode(in, inSize, &inPos, out, size, &outPos);
  if (status != xz::XzStatus::Ok && status != xz::XzStatus::StreamEnd) return FailXz(error, decoder);
  if (outPos != size) {
    return Fail(error, DecodeStatus::Corrupt, "LZMA section expands to %llu bytes instead of %llu",
                static_cast<Ull>(outPos), static_cast<Ull>(size));
  }
  if (inPos < inSize && status == xz::XzStatus::Ok) {
    // The output is full; whatever follows must decode to nothing.
    std::uint8_t extra;
    std::size_t extraPos = 0;
    status = decoder.Decode(in, inSize, &inPos, &extra, 1, &extraPos);
    if (extraPos != 0) {
      return Fail(error, DecodeStatus::Corrupt, "LZMA section expands past its declared %llu bytes",
                  static_cast<Ull>(size));
    }
    if (status != xz::XzStatus::Ok && status != xz::XzStatus::StreamEnd) return FailXz(error, decoder);
  }
  if (inPos != inSize) {
    return Fail(error, DecodeStatus::Corrupt, "LZMA section has %llu bytes that cannot be decoded",
                static_cast<Ull>(inSize - inPos));
  }
  return true;
}

#if defined(ZR_VCDIFF_HAVE_LIBLZMA)
bool ExpandLiblzma(lzma_stream& stream, ByteCursor section, std::uint8_t* out, std::size_t size,
                   DecodeError* error) {
  stream.next_in = section.Position();
  stream.avail_in = section.Remaining();
  stream.next_out = out;
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
                static_cast<Ull>(size - stream.avail_out), static_cast<Ull>(size));
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
                  static_cast<Ull>(size));
    }
    if (stream.avail_in == before) break;
  }
  if (stream.avail_in != 0) {
    return Fail(error, DecodeStatus::Corrupt, "LZMA section has %llu bytes that cannot be decoded",
                static_cast<Ull>(stream.avail_in));
  }
  return true;
}
#endif

}  // namespace

bool SecondaryDecompressor::Expand(int kind, ByteCursor section, std::size_t maxSize, ByteBuffer* out,
                                   std::size_t* expandedSize, DecodeError* error) {
  std::uint64_t declared;
  if (!section.ReadVarint(&declared)) {
    return Fail(error, DecodeStatus::Corrupt, "compressed section ends inside its expanded size");
  }
  if (declared > maxSize) {
    return Fail(error, DecodeStatus::Corrupt, "compressed section declares %llu bytes, more than the %llu allowed",
                static_cast<Ull>(declared), static_cast<Ull>(maxSize));
  }
  const std::size_t size = static_cast<std::size_t>(declared);
  if (!out->Reserve(size > 0 ? size : 1)) {
    return Fail(error, DecodeStatus::OutOfMemory, "out of memory for a section of %llu bytes",
                static_cast<Ull>(declared));
  }
  std::unique_ptr<Lzma>& lzma = lzma_[kind];
  if (!lzma) {
    xz::XzOptions options;
    options.memoryLimit = kLzmaMemoryLimit;
    lzma.reset(new (std::nothrow) Lzma(options));
    if (!lzma) return Fail(error, DecodeStatus::OutOfMemory, "cannot start the LZMA decoder");
    lzma->engine = selectedEngine;
#if defined(ZR_VCDIFF_HAVE_LIBLZMA)
    if (lzma->engine == LzmaEngine::Liblzma && lzma_stream_decoder(&lzma->stream, kLzmaMemoryLimit, 0) != LZMA_OK) {
      return Fail(error, DecodeStatus::OutOfMemory, "cannot start the LZMA decoder");
    }
#endif
  }
  bool ok;
#if defined(ZR_VCDIFF_HAVE_LIBLZMA)
  if (lzma->engine == LzmaEngine::Liblzma) {
    ok = ExpandLiblzma(lzma->stream, section, out->Data(), size, error);
  } else
#endif
  {
    ok = ExpandBuiltin(lzma->builtin, section, out->Data(), size, error);
  }
  if (!ok) return false;
  *expandedSize = size;
  return true;
}

}  // namespace vcdiff
