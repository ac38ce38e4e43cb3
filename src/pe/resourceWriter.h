#pragma once
// Adds or replaces resources in an executable and writes the result through a sink, keeping every
// resource the executable has (dialogs, string tables, icons, version information, manifest).
//
// The new resource section is written over the old one when that is the image's last section and
// nothing but a signature follows it in the file (an executable this writer wrote before); otherwise
// it becomes a new last section, and the old one stays where it is, unreferenced (moving the sections
// after it would change their addresses). The resource data directory, the section table, the image
// size, the initialized-data size and the header checksum are updated. A signature (the security
// directory) cannot stay valid and is removed; the report says so.
//
// Memory stays bounded by the resource tree: the image's own bytes are copied from the caller's view,
// new entries are read from their sources a piece at a time, and the output is streamed.

#include <cstdint>
#include <string>
#include <vector>

#include "pe/byteStreams.h"
#include "pe/resourceDirectory.h"

namespace pe {

struct NewResource {
  ResourceId type;  // string names are stored upper-cased (every letter), as the look-up expects
  ResourceId name;
  std::uint16_t language = 0;
  std::uint32_t codePage = 0;
  ByteSource* source = nullptr;  // at most 4 GiB - 1 bytes
};

struct WriteReport {
  bool signatureRemoved = false;  // the input was signed; the output is not (sign it again)
  bool sectionReplaced = false;   // the old resource section was rewritten in place (else appended)
  std::size_t resourceCount = 0;  // resources in the written image
  std::uint64_t fileSize = 0;
  std::uint32_t checksum = 0;
};

// Writes `image` with `resources` added (an entry of the same type, name and language is replaced) to
// `output`. False, with the reason in *error, when the image cannot be read or changed (damaged, no
// room for another section header, the result would pass the 4 GiB limit of the format's 32-bit
// fields), when two new resources have the same type, name and language, or when a source or the sink
// fails; the sink then holds an incomplete image the caller must discard.
bool WriteResources(ByteView image, const std::vector<NewResource>& resources, ByteSink* output,
                    WriteReport* report, std::string* error);

}  // namespace pe
