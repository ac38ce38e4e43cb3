#pragma once
// Runs the instructions of one window: ADD takes bytes from the data section, RUN repeats one data
// byte, COPY takes bytes from the window's address space (the source segment followed by the target
// being produced, so a COPY may overlap its own output).

#include <cstddef>
#include <cstdint>

#include "vcdiff/addressCache.h"
#include "vcdiff/byteCursor.h"
#include "vcdiff/codeTable.h"
#include "vcdiff/decodeError.h"

namespace vcdiff {

struct WindowSections {
  ByteCursor data;
  ByteCursor instructions;
  ByteCursor addresses;
};

struct WindowTarget {
  const std::uint8_t* segment;  // the source segment (may be null when segmentSize is 0)
  std::uint64_t segmentSize;
  std::uint8_t* target;         // room for exactly targetSize bytes
  std::size_t targetSize;
};

// Produces exactly `out.targetSize` bytes and consumes every section exactly; anything else is a
// DecodeStatus::Corrupt failure naming `window` (the window's number in the delta).
bool DecodeInstructions(const CodeTable& table, AddressCache* cache, WindowSections sections,
                        const WindowTarget& out, std::uint64_t window, DecodeError* error);

}  // namespace vcdiff
