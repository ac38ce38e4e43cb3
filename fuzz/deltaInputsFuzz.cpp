// Fuzz target of the delta input record reader: any text either proves nothing or gives records whose
// entries are single, bounded lines, and every record read writes back to a line that reads the same.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "make/deltaInputs.h"
#include "make/payloadNames.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::map<std::string, make::RecordedDelta> deltas;
  bool endsWithLineFeed = false;
  const bool ours = make::ParseDeltaInputs(text, &deltas, &endsWithLineFeed);
  if (!ours && !deltas.empty()) __builtin_trap();
  if (endsWithLineFeed != (text.empty() || text.back() == '\n')) __builtin_trap();
  std::string written = std::string(make::kDeltaInputsHeader) + "\n";
  for (const auto& [key, delta] : deltas) {
    if (delta.entry.empty() || delta.entry.size() > make::kMaxEntryName) __builtin_trap();
    if (delta.entry.find('\n') != std::string::npos) __builtin_trap();
    written += make::DeltaInputsLine(delta);
  }
  std::map<std::string, make::RecordedDelta> again;
  if (!make::ParseDeltaInputs(written, &again) || again.size() != deltas.size()) __builtin_trap();
  for (const auto& [key, delta] : deltas) {
    const auto found = again.find(key);
    if (found == again.end() || found->second.entry != delta.entry || found->second.delta != delta.delta ||
        found->second.oldFile != delta.oldFile || found->second.newFile != delta.newFile) {
      __builtin_trap();
    }
  }
  return 0;
}
