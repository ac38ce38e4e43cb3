#pragma once
// How a decode ends: a status the caller acts on and a text for the person reading the log.

namespace vcdiff {

enum class DecodeStatus {
  Ok = 0,
  Unsupported,  // a valid delta that needs a feature this build lacks; an external decoder may take it
  Corrupt,      // the delta is malformed, or its checksum does not match what it produced
  ReadFailed,   // the source or the delta could not be opened, mapped or read
  WriteFailed,  // the output could not be written or moved into place
  OutOfMemory,
};

constexpr int kDecodeErrorTextSize = 512;

struct DecodeError {
  DecodeStatus status = DecodeStatus::Ok;
  char text[kDecodeErrorTextSize] = "";
};

// Records a failure (the first one wins, so that a later clean-up failure cannot hide the cause) and
// returns false, so that callers can write `return Fail(...)`.
bool Fail(DecodeError* error, DecodeStatus status, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

}  // namespace vcdiff
