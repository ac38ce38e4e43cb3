// Fuzz target of the publisher's inspection. The first byte picks what the rest is: lines of payload
// entry names (each classified), a checksum list's text (checked as inspect checks it), or a whole
// patch executable (written to a temporary file and inspected: PE headers, resources, the key slot,
// the manifest and the entries, all hostile).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "make/checksumWriter.h"
#include "make/patchInspector.h"
#include "make/payloadNames.h"
#include "patch/entryNames.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (data[0] % 3) {
    case 0:
      for (std::size_t start = 0; start <= rest.size();) {
        std::size_t end = rest.find('\n', start);
        if (end == std::string::npos) end = rest.size();
        make::EntryNameInfo info;
        const std::string name = rest.substr(start, end - start);
        // A legal name never leads out of the installation and never exceeds the store's limit.
        if (make::ClassifyEntryName(name, &info).empty()) {
          if (name.size() > make::kMaxEntryName) __builtin_trap();
          if (!info.relativePath.empty() && !patch::IsContainedRelativePath(info.relativePath)) __builtin_trap();
        }
        start = end + 1;
      }
      break;
    case 1: {
      std::vector<std::string> problems;
      make::CheckChecksumListText("CRC\\1.05\\CRC.CRC", rest, {"GERMAN"}, (data[0] & 4) != 0, &problems);
      break;
    }
    default: {
      char path[L_tmpnam + 16];
      std::snprintf(path, sizeof path, "patchInspectFuzz-%p.exe", static_cast<const void*>(&path));
      std::string error;
      if (!make::WriteWholeFile(path, rest, &error)) return 0;
      make::InspectReport report;
      make::InspectPatch(path, "", &report);
      std::remove(path);
      break;
    }
  }
  return 0;
}
