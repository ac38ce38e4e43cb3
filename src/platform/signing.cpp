#include "platform/signing.h"

#include "platform/digest.h"

namespace platform {

const char* SigningResultText(SigningResult result) {
  switch (result) {
    case SigningResult::Ok: return "done";
    case SigningResult::NotAvailable: return "not available in this build";
    case SigningResult::Failed: return "the cryptographic library failed";
    case SigningResult::UnreadableKey: return "not an unencrypted PEM private key";
    case SigningResult::UnsuitableKey:
      return "not an RSA key of 1024, 2048, 3072 or 4096 bits with public exponent 65537";
  }
  return "unknown result";
}

SigningResult KeyFingerprint(const KeyBlob& publicKey, std::string* fingerprint) {
  Sha256Digest digest;
  if (!Sha256Of(publicKey.data(), publicKey.size(), &digest)) return SigningResult::Failed;
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < digest.size(); ++i) {
    if (i) text += ':';
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 15];
  }
  *fingerprint = text;
  return SigningResult::Ok;
}

}  // namespace platform
