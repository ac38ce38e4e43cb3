#pragma once
// Lays out a resource section: the directory tree (a root table of types, a table of names per type, a
// table of languages per name), then one data entry per resource, then the string names, then the
// resources' bytes, each 8-byte aligned. The tree's tables come in the order the system's look-up
// expects: string names first in ascending code-unit order, then integer identifiers ascending.

#include <cstdint>
#include <string>
#include <vector>

#include "pe/byteStreams.h"
#include "pe/resourceDirectory.h"

namespace pe {

struct SectionResource {
  ResourceId type;
  ResourceId name;
  std::uint16_t language = 0;
  std::uint32_t codePage = 0;
  std::uint32_t size = 0;
  ByteSource* source = nullptr;  // `size` bytes
};

struct SectionLayout {
  std::vector<std::uint8_t> directory;  // the tree, data entries and names, padded to 8 bytes
  std::vector<std::uint32_t> dataOffsets;  // per resource, from the start of the section
  std::uint64_t contentSize = 0;           // directory plus every resource's bytes and padding
};

// `resources` must be sorted by (type, name, language) without repeats. `sectionRva` is where the
// section will be in memory: data entries hold addresses, not offsets. False, with the reason in
// *error, when the section would not fit the 32-bit fields that describe it.
bool LayOutResourceSection(const std::vector<SectionResource>& resources, std::uint32_t sectionRva,
                           SectionLayout* layout, std::string* error);

}  // namespace pe
