#pragma once
// The manifest as the patch run first meets it: the entry "VERSION.CFG" and its detached signature
// "VERSION.CFG.SIGN" taken from the store, the signature checked against the trusted key before a
// single byte is loaded, and the tree loaded with the binary loader.

#include <cstdint>
#include <vector>

#include "platform/keyBlob.h"
#include "ui/userInterface.h"

class ParamFile;

namespace patch {
class EntrySource;
}

namespace app {

// The manifest's bytes and its signature, copied out of the store into buffers the run owns.
struct SignedManifest {
  std::vector<std::uint8_t> bytes;
  std::vector<std::uint8_t> signature;
};

// Reads both entries and checks the signature with `trustedKey`. On any failure it shows on `ui` the
// corrupted-file box with the error icon ("Patch file is corrupted, error 1." for a missing manifest,
// "... error 2." for a missing signature, "... error %d/%d." with the check's code and the system's
// error value for a signature that does not hold) and returns false: the run then ends with result 1.
bool ReadSignedManifest(patch::EntrySource& store, const platform::KeyBlob& trustedKey, SignedManifest* manifest,
                        ui::UserInterface& ui);

// ReadSignedManifest, then the verified bytes loaded into `file` (a tree that loads with errors is
// kept as far as it got: missing keys are reported when they are read).
bool LoadSignedManifest(patch::EntrySource& store, const platform::KeyBlob& trustedKey, ParamFile& file,
                        ui::UserInterface& ui);

}  // namespace app
