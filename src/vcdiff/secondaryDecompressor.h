#pragma once
// Secondary compression of a window's sections. A delta names one compressor in its header; each
// window then marks which of its data, instruction and address sections are compressed. A compressed
// section is a variable-length integer with its expanded size followed by the compressor's output for
// it. For LZMA (id 2) there is one .xz stream per kind of section (data, instructions, addresses),
// begun at the first compressed section of that kind and flushed at the end of every section, so a
// section continues the stream of the previous window's section of the same kind.
// LZMA is expanded by our own .xz decoder (src/xz/) in every build; the Linux build can use liblzma
// instead, which tests and benchmarks compare against. Any other compressor, and an LZMA stream that
// needs what the decoder does not do (another filter, a dictionary past the memory limit), is
// declined as DecodeStatus::Unsupported so that the caller can hand the delta to an external decoder.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "vcdiff/byteBuffer.h"
#include "vcdiff/byteCursor.h"
#include "vcdiff/decodeError.h"

namespace vcdiff {

constexpr std::uint8_t kSecondaryLzma = 2;

// Whether this build can expand sections of compressor `id`.
bool SecondaryCompressorAvailable(std::uint8_t id);

// The decoder behind LZMA sections.
enum class LzmaEngine {
  Builtin,  // src/xz/, in every build (the default)
  Liblzma,  // the system's liblzma, where the build has it
};

// Chooses the engine for the decoders that start from now on (process-wide; set it before decoding
// begins, not while another thread decodes). False, with nothing changed, when this build lacks it.
bool SelectLzmaEngine(LzmaEngine engine);
LzmaEngine SelectedLzmaEngine();

class SecondaryDecompressor {
 public:
  SecondaryDecompressor();
  ~SecondaryDecompressor();
  SecondaryDecompressor(const SecondaryDecompressor&) = delete;
  SecondaryDecompressor& operator=(const SecondaryDecompressor&) = delete;

  // Accepts the compressor id of the delta's header.
  bool Select(std::uint8_t id, DecodeError* error);

  // Expands one section of kind `kind` (0 data, 1 instructions, 2 addresses) into `out`; the expanded
  // size may not exceed `maxSize`.
  bool Expand(int kind, ByteCursor section, std::size_t maxSize, ByteBuffer* out, std::size_t* expandedSize,
              DecodeError* error);

 private:
  struct Lzma;
  std::unique_ptr<Lzma> lzma_[3];
};

}  // namespace vcdiff
