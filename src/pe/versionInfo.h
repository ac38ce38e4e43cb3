#pragma once
// The version resource: a tree of nodes (16-bit total length, 16-bit value length, 16-bit type, a
// NUL-terminated UTF-16 key, padding to 4 bytes, the value, padding, then the children). Texts are
// found by a path of keys below the root, such as "\StringFileInfo\040904b0\FileVersion"; keys are
// compared without regard to ASCII case. Each step stays inside its parent node.

#include <cstdint>
#include <string>
#include <vector>

#include "pe/byteView.h"
#include "pe/resourceDirectory.h"

namespace pe {

// The text value at `path` (keys separated by backslashes, ASCII) in the version block. False when the
// path is not there or the block is damaged on the way to it; a value of length 0 is an empty text.
bool QueryVersionText(ByteView block, const char* path, std::u16string* text);

// The "FileVersion" text of the version resource (identifier 1) in US English with the Unicode code
// page, exactly that block and no other language, as UTF-8; an empty text when there is none.
std::string FileVersionText(const ResourceDirectory& resources);

// A version resource with the given "FileVersion" (ASCII) and "ProductVersion" texts in US English
// with the Unicode code page (block "040904b0"), its translation list, and a fixed part whose numbers
// are read from the text ("1.08" gives 1.8.0.0). For executables made by the tools and tests.
std::vector<std::uint8_t> BuildVersionResource(const std::string& fileVersion);

// `image` with that version resource added in US English (replacing one that is there), written to
// *executable. False, with the reason in *error, when the resource writer refuses the image.
bool WithFileVersion(ByteView image, const std::string& fileVersion, std::vector<std::uint8_t>* executable,
                     std::string* error);

}  // namespace pe
