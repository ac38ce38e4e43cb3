// Fuzz target of the PE resource reader: headers, the resource tree, string tables and the version
// text of an executable in memory. The same bytes read as a file, a piece at a time, must give the same
// verdict and the same entries. Whatever reads is also given to the resource writer, whose output
// must read back with the resource it added.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "pe/byteStreams.h"
#include "pe/peImage.h"
#include "pe/resourceDirectory.h"
#include "pe/resourceWriter.h"
#include "pe/stringTable.h"
#include "pe/versionInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const pe::ByteView bytes{data, size};
  pe::Image image;
  pe::ResourceDirectory resources;
  std::string error;
  const bool read = image.Parse(bytes, &error) && resources.Parse(image, &error);

  pe::MemorySource file(bytes);
  pe::Image fileImage;
  pe::ResourceDirectory fileResources;
  std::string fileError;
  const bool fileRead = fileImage.Parse(file, &fileError) && fileResources.Parse(fileImage, file, &fileError);
  if (read != fileRead || (!fileRead && fileError.empty())) __builtin_trap();
  if (read) {
    if (fileResources.Entries().size() != resources.Entries().size()) __builtin_trap();
    for (std::size_t i = 0; i < resources.Entries().size(); ++i) {
      const pe::ResourceEntry& a = resources.Entries()[i];
      const pe::ResourceEntry& b = fileResources.Entries()[i];
      if (!(a.type == b.type) || !(a.name == b.name) || a.language != b.language || a.offset != b.offset ||
          a.size != b.size || a.bytes.size != a.size) {
        __builtin_trap();
      }
      if (b.bytes.data && (b.bytes.size != a.size || std::memcmp(a.bytes.data, b.bytes.data, a.size) != 0)) {
        __builtin_trap();
      }
    }
    if (pe::FileVersionText(fileResources) != pe::FileVersionText(resources)) __builtin_trap();
  }

  if (!read) {
    if (error.empty()) __builtin_trap();  // every refusal says why
    return 0;
  }
  unsigned sum = 0;
  for (const pe::ResourceEntry& entry : resources.Entries()) {
    if (entry.bytes.size) sum += entry.bytes.data[0] + entry.bytes.data[entry.bytes.size - 1];
  }
  sum += static_cast<unsigned>(pe::FileVersionText(resources).size());
  sum += static_cast<unsigned>(pe::DefaultString(resources, 27).size());
  std::u16string text;
  sum += pe::FindString(resources, 1, 1031, &text);
  sum += static_cast<unsigned>(resources.Names(pe::ResourceId::Number(pe::kRcDataType)).size());

  static const std::uint8_t kPayload[] = "fuzz payload";
  pe::MemorySource payload(pe::ByteView{kPayload, sizeof kPayload});
  pe::NewResource added;
  added.type = pe::ResourceId::Number(pe::kRcDataType);
  added.name = pe::ResourceId::Name(u"FUZZ\\ENTRY");
  added.source = &payload;
  pe::MemorySink sink;
  pe::WriteReport report;
  if (pe::WriteResources(bytes, {added}, &sink, &report, &error)) {
    pe::Image written;
    pe::ResourceDirectory writtenResources;
    const pe::ByteView out{sink.Bytes().data(), sink.Bytes().size()};
    if (!written.Parse(out, &error) || !writtenResources.Parse(written, &error)) __builtin_trap();
    const pe::ResourceEntry* entry = writtenResources.Find(added.type, added.name, 0);
    if (!entry || entry->bytes.size != sizeof kPayload || writtenResources.Entries().size() != report.resourceCount) {
      __builtin_trap();
    }
  } else if (error.empty()) {
    __builtin_trap();
  }
  return static_cast<int>(sum & 0);
}
