#pragma once
// The public key the patch program trusts, kept in one slot of the program's initialised data.
//
// The slot is a 16-byte marker, the size of the key area as a 4-byte little-endian number (532), and
// the key area: a key blob (platform/keyBlob.h, 148 to 532 bytes) followed by zeros. The program
// reads the blob from its own data at run time, so the pack step can write the publisher's key into a
// built executable's file without rebuilding it: it finds the marker, which occurs exactly once, and
// replaces the key area after it. A freshly built program carries the 3072-bit development key kept
// with the tests (tests/data/keys/); every patch executable that ships has the publisher's key written
// in. Programs built before keys of more than 1024 bits have the 148-byte blob right after the marker;
// their slot is read alike, and takes a 1024-bit key only.

#include <array>
#include <cstddef>
#include <cstdint>

#include "pe/byteStreams.h"
#include "platform/keyBlob.h"

// The key blob in this program's slot, as its executable file held it when loaded (empty when the
// slot holds no well-formed blob).
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
  SlotTooSmall,    // the key to be written is larger than the slot's key area
  Unreadable,      // the file could not be read to its end
};

// A short English text for a result, for the tools' messages.
const char* KeySlotResultText(KeySlotResult result);

// Reads the key from the slot of an executable held in memory.
KeySlotResult ReadTrustedKey(const std::uint8_t* executable, std::size_t size, platform::KeyBlob* key);
// The same for an executable read from a file a piece at a time (the whole file is searched for the
// marker, in bounded memory).
KeySlotResult ReadTrustedKey(pe::ByteSource& file, platform::KeyBlob* key);

// Writes `key` into the slot of an executable held in memory; the bytes are changed only on Done.
KeySlotResult ReplaceTrustedKey(std::uint8_t* executable, std::size_t size, const platform::KeyBlob& key);
