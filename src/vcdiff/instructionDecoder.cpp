#include "vcdiff/instructionDecoder.h"

#include <cstring>

namespace vcdiff {

namespace {

using Ull = unsigned long long;

// Copies `size` bytes that begin `distance` bytes before `out`; when they overlap the output, the
// bytes repeat with that period, as if copied one at a time.
void CopyWithin(std::uint8_t* out, std::size_t distance, std::size_t size) {
  if (distance >= size) {
    std::memcpy(out, out - distance, size);
    return;
  }
  // Each round doubles the available stretch of the repeating pattern.
  while (size > 0) {
    std::size_t chunk = distance < size ? distance : size;
    std::memcpy(out, out - distance, chunk);
    out += chunk;
    size -= chunk;
    distance += chunk;
  }
}

}  // namespace

bool DecodeInstructions(const CodeTable& table, AddressCache* cache, WindowSections sections,
                        const WindowTarget& out, std::uint64_t window, DecodeError* error) {
  ByteCursor& data = sections.data;
  ByteCursor& instructions = sections.instructions;
  std::uint8_t* const target = out.target;
  const std::size_t targetSize = out.targetSize;
  std::size_t produced = 0;

  while (!instructions.AtEnd()) {
    std::uint8_t code;
    instructions.ReadByte(&code);
    for (int half = 0; half < 2; ++half) {
      const std::uint8_t type = table.type[half][code];
      if (type == kNoop) continue;
      std::uint64_t size = table.size[half][code];
      if (size == 0 && !instructions.ReadVarint(&size)) {
        return Fail(error, DecodeStatus::Corrupt, "window %llu: instruction section ends inside a size",
                    static_cast<Ull>(window));
      }
      if (size > targetSize - produced) {
        return Fail(error, DecodeStatus::Corrupt,
                    "window %llu: instruction of %llu bytes at offset %llu runs past the target window of %llu bytes",
                    static_cast<Ull>(window), static_cast<Ull>(size), static_cast<Ull>(produced),
                    static_cast<Ull>(targetSize));
      }
      const std::size_t length = static_cast<std::size_t>(size);
      std::uint8_t* const dest = target + produced;
      if (type == kAdd) {
        const std::uint8_t* bytes;
        if (!data.ReadBytes(length, &bytes)) {
          return Fail(error, DecodeStatus::Corrupt, "window %llu: ADD of %llu bytes runs past the data section",
                      static_cast<Ull>(window), static_cast<Ull>(size));
        }
        std::memcpy(dest, bytes, length);
      } else if (type == kRun) {
        std::uint8_t byte;
        if (!data.ReadByte(&byte)) {
          return Fail(error, DecodeStatus::Corrupt, "window %llu: RUN runs past the data section",
                      static_cast<Ull>(window));
        }
        std::memset(dest, byte, length);
      } else {
        const std::uint64_t here = out.segmentSize + produced;
        std::uint64_t address;
        if (!cache->Decode(here, table.mode[half][code], &sections.addresses, &address)) {
          return Fail(error, DecodeStatus::Corrupt,
                      "window %llu: COPY at offset %llu has a bad or missing address (mode %d)",
                      static_cast<Ull>(window), static_cast<Ull>(produced), table.mode[half][code]);
        }
        std::size_t remaining = length;
        std::uint8_t* to = dest;
        std::size_t targetStart;
        if (address < out.segmentSize) {
          // From the source segment; a copy reaching its end goes on at the start of the target.
          const std::uint64_t inSegment = out.segmentSize - address;
          const std::size_t fromSegment = inSegment < remaining ? static_cast<std::size_t>(inSegment) : remaining;
          std::memcpy(to, out.segment + address, fromSegment);
          to += fromSegment;
          remaining -= fromSegment;
          targetStart = 0;
        } else {
          targetStart = static_cast<std::size_t>(address - out.segmentSize);
        }
        if (remaining > 0) CopyWithin(to, static_cast<std::size_t>(to - target) - targetStart, remaining);
      }
      produced += length;
    }
  }
  if (produced != targetSize) {
    return Fail(error, DecodeStatus::Corrupt, "window %llu: instructions produce %llu bytes, the window declares %llu",
                static_cast<Ull>(window), static_cast<Ull>(produced), static_cast<Ull>(targetSize));
  }
  if (!data.AtEnd() || !sections.addresses.AtEnd()) {
    return Fail(error, DecodeStatus::Corrupt, "window %llu: %llu data and %llu address bytes are left unused",
                static_cast<Ull>(window), static_cast<Ull>(data.Remaining()),
                static_cast<Ull>(sections.addresses.Remaining()));
  }
  return true;
}

}  // namespace vcdiff
