#pragma once
// Packing a patch executable: a copy of the patch program's Windows build with the publisher's public
// key written into its key slot, and as RCDATA resources every file of the payload folder (named by
// its path below the folder, upper-cased, with backslashes), the manifest compiled from its text into
// the binary config form ("VERSION.CFG"), its signature ("VERSION.CFG.SIGN") and the delta tool
// ("XDELTA3.EXE"), and the payload table that lists every one of those entries with its size and
// SHA-256 digest, signed with the same key ("PAYLOAD.TABLE", "PAYLOAD.TABLE.SIGN"). The output is
// written to a temporary file and renamed into place only when whole, so a failed pack leaves no patch
// behind and never damages an earlier one.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/keyBlob.h"

class ParamFile;

namespace make {

// Diagnostics reported while compiling or reading a manifest, as lines ("File patch.cpp, line 3: ...").
struct ManifestCompile {
  std::vector<std::uint8_t> bytes;  // the binary config
  std::vector<std::string> problems;
};

// Parses a text config at `path` into `file`; the config library's reports become lines in *problems
// ("File recipe.cpp, line 4: ..."). False when there was any, or the file is missing.
bool ParseConfigFile(const std::string& path, ParamFile& file, std::vector<std::string>* problems);

// Parses the manifest text at `path` with the config library and writes the binary form; then reads
// the tree back as the patch program does and reports missing required keys. False on any problem.
bool CompileManifest(const std::string& path, ManifestCompile* result);

// The problems the patch program would meet in a binary manifest: a tree that does not load, required
// keys that are missing ("No entry 'configApp'."), a version that is not major.minor, a parent
// distribution declared after its child.
std::vector<std::string> ManifestProblems(const std::uint8_t* bytes, std::size_t size);

struct PackOptions {
  std::string stub;      // the patch program's Windows build
  std::string payload;   // the payload folder
  std::string manifest;  // manifest text
  std::string output;    // the patch executable to write
  std::string keyFile;   // the publisher's private key (PEM)
  // The delta tool to carry as "XDELTA3.EXE". Empty: the payload folder's XDELTA3.EXE when it has one,
  // else the first of `deltaToolCandidates` that exists.
  std::string deltaTool;
  std::vector<std::string> deltaToolCandidates;
  // Further folders whose files become entries below a group prefix: {"ALL", folder}, {"ADD", ...}.
  std::vector<std::pair<std::string, std::string>> groupFolders;
  // The signed payload table ("PAYLOAD.TABLE" and its signature), which needs a key of 2048 bits or
  // more. Without it the patch has the original format, only its manifest signed (a 1024-bit key).
  bool payloadTable = true;
};

struct PackReport {
  int entries = 0;
  std::uint64_t payloadBytes = 0;
  std::uint64_t fileSize = 0;
  std::string fingerprint;
  std::string deltaTool;  // the file carried as XDELTA3.EXE
  bool signatureRemoved = false;
  bool payloadTable = false;  // the patch carries the signed payload table
  std::vector<std::string> problems;
};

bool PackPatch(const PackOptions& options, PackReport* report);

// The public key of a PEM private key file, with its fingerprint. False, with the reason.
bool ReadKeyFile(const std::string& keyFile, std::string* pem, platform::KeyBlob* blob, std::string* fingerprint,
                 std::string* error);

}  // namespace make
