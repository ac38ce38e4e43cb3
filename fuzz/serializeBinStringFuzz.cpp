// The serializer's loading transfers over arbitrary bytes: the input's own bytes choose the order of
// transfers (strict and lenient strings, numbers, raw blocks and skips, versions) and, from the second
// byte on, form the stream. Every transfer must stay inside its destination and the stream, whatever it reads.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "El/QStream/qstream.h"
#include "El/QStream/serializeBin.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > (1u << 20)) return 0;
  QIStrStream in(data + 1, static_cast<int>(size - 1));
  SerializeBinStream stream(&in);
  const std::int64_t total = in.GetDataSize();
  char raw[37];
  for (int step = 0; step < 64 && in.tellg() < total; ++step) {
    const int kind = data[static_cast<std::size_t>(step) % size] % 5;
    const std::int64_t before = in.tellg();
    switch (kind) {
      case 0: {
        RefString text;
        stream.TransferString(text);
        if (text.GetLength() > in.tellg() - before) std::abort();
        break;
      }
      case 1: {
        RefString text;
        stream.TransferStringLenient(text);
        if (text.GetLength() > in.tellg() - before) std::abort();
        break;
      }
      case 2: {
        std::int32_t value = 0;
        stream.TransferInt(value);
        break;
      }
      case 3:
        stream.TransferBytes(raw, 1 + step % static_cast<int>(sizeof raw));
        break;
      default:
        stream.SkipData(step * 3, false);
        stream.Version(step, step + 10);
        break;
    }
    if (in.tellg() < before || in.tellg() > total) std::abort();
  }
  return 0;
}
