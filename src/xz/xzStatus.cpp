#include "xz/xzStatus.h"

#include <cstdarg>
#include <cstdio>

namespace xz {

XzStatus Fail(XzError* error, XzStatus status, const char* format, ...) {
  if (error->status == XzStatus::Ok || error->status == XzStatus::StreamEnd) {
    error->status = status;
    va_list args;
    va_start(args, format);
    std::vsnprintf(error->text, sizeof error->text, format, args);
    va_end(args);
  }
  return error->status;
}

}  // namespace xz
