#pragma once
// Rebuilds a file from a source file and a VCDIFF delta (RFC 3284, with the checksum and application
// header extensions and LZMA secondary compression that common encoders write).
//
// Memory stays bounded: the source is mapped one segment at a time, the delta is read window by
// window, and the output is written window by window to `outputPath` + ".part", which is renamed over
// `outputPath` only when the whole delta decoded and every checksum matched. On failure nothing is
// left behind and an existing `outputPath` is untouched; `error` says why, and
// DecodeStatus::Unsupported marks a valid delta this build cannot decode (an external decoder may).

#include <cstddef>
#include <cstdint>

#include "vcdiff/decodeError.h"
#include "vcdiff/decoderOptions.h"
#include "vcdiff/decoderStreams.h"

namespace vcdiff {

// `sourcePath` may be null or empty for deltas that do not copy from a source.
bool DecodeFile(const char* sourcePath, const char* deltaPath, const char* outputPath, DecodeError* error,
                const DecoderOptions& options = DecoderOptions());

// DecodeFile writing `outputPath` itself, the caller's temporary file, which it checks and moves into
// place: the file has one temporary name on its way. A failed decode removes it.
bool DecodeFileInPlace(const char* sourcePath, const char* deltaPath, const char* outputPath, DecodeError* error);

// Sees every decoded window, in order, as it is written (a caller computes a checksum on the way).
struct WindowObserver {
  void (*onWindow)(const std::uint8_t* data, std::size_t size, void* context) = nullptr;
  void* context = nullptr;
};

// DecodeFile with the delta read through `delta` (a payload entry of the patch), and `observer` (may
// be null) shown the output as it is written. The output is written to `outputPath` itself, the
// caller's temporary file, which it checks and moves into place; a failed decode removes it.
bool DecodeToFile(const char* sourcePath, DeltaInput* delta, const char* outputPath, const WindowObserver* observer,
                  DecodeError* error);

}  // namespace vcdiff
