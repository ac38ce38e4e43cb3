// Config text from untrusted bytes: the parser must end cleanly on anything, and a tree it parsed
// without error must write text that parses back to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "El/ParamFile/paramText.h"
#include "El/ParamFile/preprocessor.h"
#include "El/QStream/qstream.h"

namespace {

int ParseBytes(ParamFile& file, const char* data, std::size_t size) {
  QOStrStream text;
  text.write(data, static_cast<int>(size));
  std::unique_ptr<QIStrStream> inner(new QIStrStream);
  inner->open(text);
  QIPreprocessedStream in(std::move(inner));
  in.SetSourcePosition("fuzz", 1);
  return ParseTextStream(file, in);
}

std::string Saved(const ParamFile& file) {
  QOStrStream out;
  file.Save(out, 0, "\n");
  return std::string(out.Data(), static_cast<std::size_t>(out.GetTotalSize()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 20)) return 0;
  ParamFile file;
  if (ParseBytes(file, reinterpret_cast<const char*>(data), size) != PTROk) return 0;
  const std::string once = Saved(file);
  ParamFile again;
  if (ParseBytes(again, once.data(), once.size()) != PTROk || Saved(again) != once) std::abort();
  return 0;
}
