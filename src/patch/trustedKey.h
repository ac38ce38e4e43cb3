#pragma once
// The public key the patch program trusts, kept in one slot of the program's initialised data.
//
// The slot is a 16-byte marker followed by a 148-byte key blob (platform/keyBlob.h). The program
// reads the blob from its own data at run time, so the pack step can write the publisher's key into a
// built executable's file without rebuilding it: it finds the marker, which occurs exactly once, and
// replaces the 148 bytes after it. A freshly built program carries the development key kept with the
// tests (tests/data/keys/); every patch executable that ships has the publisher's key written in.

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/keyBlob.h"

// The key blob in this program's slot, as its executable file held it when loaded.
platform::KeyBlob TrustedKeyBlob();

// The 16 bytes that mark the slot, read from this program's own slot (for tools and tests that build
// or inspect executables; the marker is written down nowhere else).
std::array<std::uint8_t, 16> TrustedKeyMarker();

enum class KeySlotResult {
  Done,            // found (and for ReplaceTrustedKey, written)
  NoMarker,        // the bytes hold no key slot: not a patch program built from this source
  SeveralMarkers,  // more than one marker: which one is the slot cannot be told
  SlotTruncated,   // the marker is too close to the end for a whole key to follow it
  BadKeyBlob,      // the slot's key, or the key to be written, is not a well-formed blob
};

// A short English text for a result, for the tools' messages.
const char* KeySlotResultText(KeySlotResult result);

// Reads the key from the slot of an executable held in memory.
KeySlotResult ReadTrustedKey(const std::uint8_t* executable, std::size_t size, platform::KeyBlob* key);

// Writes `key` into the slot of an executable held in memory; the bytes are changed only on Done.
KeySlotResult ReplaceTrustedKey(std::uint8_t* executable, std::size_t size, const platform::KeyBlob& key);
