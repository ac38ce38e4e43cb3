#pragma once
// The manifest of a patch executable read before its run, to tell which of the player's prefixes
// hold its game: the same store, signature check and reading as the run's own.

#include <string>

#include "app/manifest.h"
#include "platform/keyBlob.h"
#include "ui/userInterface.h"

namespace app {

// False when the patch cannot be opened as a store (with the reason in *error) or its manifest fails
// the signature check (after the run's corrupted-file box on `ui`; *error is then empty).
bool ReadPatchManifest(const std::string& storePath, const platform::KeyBlob& trustedKey, Manifest* manifest,
                       std::string* error, ui::UserInterface& ui);

}  // namespace app
