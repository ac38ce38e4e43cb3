// Fuzz target of VerifyManifest with hostile key blobs and signatures: the input's first byte picks
// how many of the following bytes are the signature (0-255), the next 148 bytes (or fewer) are the
// key blob, the rest the manifest. Nothing here can verify by chance; every path must return a code.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/keyBlob.h"
#include "platform/signature.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  std::size_t signatureLength = data[0];
  const std::uint8_t* rest = data + 1;
  std::size_t remaining = size - 1;
  if (signatureLength > remaining) signatureLength = remaining;
  platform::ManifestSignature check;
  check.signature = rest;
  check.signatureLength = static_cast<std::uint32_t>(signatureLength);
  rest += signatureLength;
  remaining -= signatureLength;
  const std::size_t keyLength = remaining < platform::kKeyBlobSize ? remaining : platform::kKeyBlobSize;
  check.keyBlob = rest;
  check.keyBlobLength = static_cast<std::uint32_t>(keyLength);
  rest += keyLength;
  remaining -= keyLength;
  const int code = platform::VerifyManifest(rest, static_cast<std::uint32_t>(remaining), check);
  if (code != platform::kKeyNotImported && code != platform::kSignatureMismatch &&
      code != platform::kManifestVerified) {
    std::abort();
  }
  return 0;
}
