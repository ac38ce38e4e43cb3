// File names of any bytes through the case folding the Linux build matches folder entries with: the
// folded form keeps the length, folding twice changes nothing, and a name equals its folded form and
// itself ignoring case. The input is split at its first zero byte into two names compared both ways.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/nameFolding.h"

namespace {

bool Same(const std::string& a, const std::string& b) {
  return platform::SameNameIgnoringCase(a, b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t zero = input.find('\0');
  const std::string first = input.substr(0, zero);
  const std::string second = zero == std::string::npos ? first : input.substr(zero + 1);
  for (const std::string* name : {&first, &second}) {
    const std::string folded = platform::FoldNameCase(*name);
    if (folded.size() != name->size() || platform::FoldNameCase(folded) != folded) std::abort();
    if (!Same(*name, *name) || !Same(*name, folded) || !Same(folded, *name)) std::abort();
  }
  if (Same(first, second) != Same(second, first)) std::abort();
  if (Same(first, second) != (platform::FoldNameCase(first) == platform::FoldNameCase(second))) std::abort();
  return 0;
}
