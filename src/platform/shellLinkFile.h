#pragma once
// Shell link (".lnk") files in the documented binary format, written by the program itself where the
// system has no shell link object (the Linux build), and the working-folder rule both builds share.
//
// A file holds: the 76-byte header with the shell link class id and the flags of what follows; a link
// information block naming the target as a local path on a fixed drive; the description, working folder
// and arguments as counted UTF-16 strings (each only when not empty); and the four-byte terminal block.
// The target carries no item id list: the shell resolves a link from its local path alone.

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The working folder of a link for a manifest's workingDirectory value: the value cut at its last
// backslash or slash. A value without any separator after its first character is used whole.
std::string WorkingFolderOf(const char* workingDirectory);

// The bytes of a link file. Texts are in the program's narrow encoding (UTF-8 on Linux; malformed
// sequences become U+FFFD) and are stored as UTF-16; the target's local path is also stored in the
// narrow form, with '?' for every character beyond ASCII (readers take the UTF-16 form then).
// workingFolder is used as given (see WorkingFolderOf). False, with *bytes untouched, when a text is
// longer than the format can count (65535 UTF-16 units).
bool BuildShellLinkFile(const char* target, const char* description, const char* workingFolder,
                        const char* arguments, std::vector<std::uint8_t>* bytes);

// Writes the link file `linkPath` with those bytes through the process-wide FileSystem: into
// linkPath + ".tmp", then renamed over linkPath, so that an existing link stays whole until the new
// one is complete. False (and no temporary file left) when anything fails.
bool WriteShellLinkFile(const char* linkPath, const char* target, const char* description,
                        const char* workingFolder, const char* arguments);

// UTF-8 to UTF-16 as the writer stores texts: malformed, overlong or surrogate sequences become U+FFFD.
std::u16string Utf16FromUtf8(const char* text);

}  // namespace platform
