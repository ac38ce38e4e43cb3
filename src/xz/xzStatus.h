#pragma once
// How a call into the .xz decoders ends: a status the caller acts on and a text for a person.

namespace xz {

enum class XzStatus {
  Ok = 0,       // progress made; more input or more output room is wanted
  StreamEnd,    // the stream ended cleanly
  Corrupt,      // the bytes are not a valid stream, or a check does not match
  Unsupported,  // a valid stream that needs something this decoder does not do (another filter)
  MemoryLimit,  // the stream needs a dictionary larger than the decoder's limit
  OutOfMemory,
};

constexpr int kXzErrorTextSize = 160;

struct XzError {
  XzStatus status = XzStatus::Ok;
  char text[kXzErrorTextSize] = "";
};

// Records a failure (the first one wins) and returns its status.
XzStatus Fail(XzError* error, XzStatus status, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

}  // namespace xz
