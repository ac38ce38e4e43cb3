#include "vcdiff/decodeError.h"

#include <cstdarg>
#include <cstdio>

namespace vcdiff {

bool Fail(DecodeError* error, DecodeStatus status, const char* format, ...) {
  if (error->status != DecodeStatus::Ok) return false;
  error->status = status;
  va_list args;
  va_start(args, format);
  std::vsnprintf(error->text, sizeof error->text, format, args);
  va_end(args);
  return false;
}

}  // namespace vcdiff
