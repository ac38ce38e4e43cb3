#pragma once
// The key a run checks the manifest with. The Windows program is the patch executable itself and
// trusts the key in its own slot. The Linux program reads a Windows patch executable: it takes the key
// from that file's slot, shows its fingerprint, and, when the player names the publisher's public key
// (--trusted-key FILE), refuses a patch whose slot holds any other key.

#include <cstddef>
#include <cstdint>
#include <string>

#include "pe/byteStreams.h"
#include "platform/keyBlob.h"

namespace app {

// The key in the slot of the patch executable held in `bytes`; with `pinnedKeyFile` (may be null or
// empty: no pin), that file must hold the same key as a public key blob. False with the reason
// in *error.
bool PatchTrustedKey(const std::uint8_t* bytes, std::size_t size, const char* pinnedKeyFile, platform::KeyBlob* key,
                     std::string* error);
// The same for the patch executable read from a file a piece at a time.
bool PatchTrustedKey(pe::ByteSource& file, const char* pinnedKeyFile, platform::KeyBlob* key, std::string* error);

// Reads a public key blob (148 to 532 bytes) from a file; false with the reason in *error.
bool ReadKeyBlobFile(const char* path, platform::KeyBlob* key, std::string* error);

// The key's fingerprint for people to compare ("3f:a0:...:9c"), or "(unavailable)" when it cannot be
// computed in this build.
std::string KeyFingerprintText(const platform::KeyBlob& key);

}  // namespace app
