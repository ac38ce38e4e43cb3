// Fuzz target of the binary config loader (all accepted versions: the version is part of the input).
// A file that loads is also written back, loaded again, printed and searched, so that everything the
// loader built is walked once.

#include <cstddef>
#include <cstdint>

#include "El/ParamFile/paramFile.h"
#include "El/QStream/qstream.h"

namespace {

void Walk(const ParamEntry& cls, int depth) {
  if (depth > kParamMaxNesting) return;
  for (int i = 0; i < cls.GetEntryCount(); ++i) {
    ParamEntryPtr entry = cls.GetEntry(i);
    if (entry->IsClass()) {
      entry->FindEntry("x");
      entry->GetBase();
      Walk(*entry, depth + 1);
    } else if (entry->IsArray()) {
      for (int k = 0; k < entry->GetSize(); ++k) (*entry)[k].GetValueRaw();
    } else {
      entry->GetValueRaw();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 20)) return 0;
  ParamFile file;
  QIStrStream in(data, static_cast<int>(size));
  if (file.ParseBin(in) != 0) return 0;
  Walk(file, 0);
  QOStrStream text;
  file.Save(text, 0, "\n");
  QOStrStream saved;
  file.SaveBin(saved);
  ParamFile again;
  QIStrStream back;
  back.open(saved);
  again.ParseBin(back);
  return 0;
}
