#include "Es/Containers/array.h"

#include <cstdio>
#include <cstdlib>

#include "El/Common/appFrame.h"

void ReportArrayRangeError(int line) { ReportPositionError("array", line, "Array index out of range"); }

void ReportArrayOutOfMemory(std::size_t bytes) {
  ErrorMessage("Out of memory growing an array to %lu bytes", static_cast<unsigned long>(bytes));
  std::fprintf(stderr, "Out of memory growing an array to %lu bytes\n", static_cast<unsigned long>(bytes));
  std::abort();
}
