// Fuzz target of the key blob parser and the trusted key slot search over arbitrary executable bytes:
// whatever the bytes, reading and replacing stay inside them, and a replaced key reads back.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "patch/trustedKey.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform::Modulus modulus;
  if (platform::ParseKeyBlob(data, size, &modulus)) {
    const platform::KeyBlob rebuilt = platform::MakeKeyBlob(modulus);
    if (!std::equal(rebuilt.begin(), rebuilt.end(), data)) std::abort();
  }

  std::vector<std::uint8_t> executable(data, data + size);
  // Inputs beginning with 'M' get the real marker put in at a place chosen by the next byte, so the
  // slot paths are reached without the fuzzer guessing 16 bytes.
  if (size > 2 && data[0] == 'M') {
    const auto marker = TrustedKeyMarker();
    const std::size_t at = data[1] % size;
    for (std::size_t i = 0; i < marker.size() && at + i < executable.size(); ++i) executable[at + i] = marker[i];
  }
  platform::KeyBlob key;
  ReadTrustedKey(executable.data(), executable.size(), &key);
  const platform::KeyBlob trusted = TrustedKeyBlob();
  if (ReplaceTrustedKey(executable.data(), executable.size(), trusted) == KeySlotResult::Done) {
    if (ReadTrustedKey(executable.data(), executable.size(), &key) != KeySlotResult::Done || key != trusted) {
      std::abort();
    }
  }
  return 0;
}
