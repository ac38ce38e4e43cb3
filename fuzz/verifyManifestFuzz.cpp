// Fuzz target of the signature checks with hostile key blobs and signatures: the input's first byte
// picks the check (its low bit: the manifest's SHA-1 or the payload table's SHA-256), the next two bytes
// how many of the following bytes are the signature (0-1023), then a key blob as long as its header
// claims (148 bytes when it claims nothing supported), the rest the signed bytes. Nothing here can
// verify by chance; every path must return a code.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/keyBlob.h"
#include "platform/signature.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const bool sha256 = (data[0] & 1) != 0;
  std::size_t signatureLength = (std::size_t(data[1]) | std::size_t(data[2]) << 8) & 1023;
  const std::uint8_t* rest = data + 3;
  std::size_t remaining = size - 3;
  if (signatureLength > remaining) signatureLength = remaining;
  platform::ManifestSignature check;
  check.signature = rest;
  check.signatureLength = static_cast<std::uint32_t>(signatureLength);
  rest += signatureLength;
  remaining -= signatureLength;
  std::size_t keyLength = platform::KeyBlobLength(rest, remaining);
  if (keyLength == 0) keyLength = platform::kManifestOnlyKeyBlobSize;
  if (keyLength > remaining) keyLength = remaining;
  check.keyBlob = rest;
  check.keyBlobLength = static_cast<std::uint32_t>(keyLength);
  rest += keyLength;
  remaining -= keyLength;
  const auto length = static_cast<std::uint32_t>(remaining);
  const int code = sha256 ? platform::VerifyPayloadTableSignature(rest, length, check)
                          : platform::VerifyManifest(rest, length, check);
  if (code != platform::kKeyNotImported && code != platform::kSignatureMismatch &&
      code != platform::kManifestVerified) {
    std::abort();
  }
  return 0;
}
