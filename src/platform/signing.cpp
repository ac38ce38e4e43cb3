#include "platform/signing.h"

namespace platform {

const char* SigningResultText(SigningResult result) {
  switch (result) {
    case SigningResult::Ok: return "done";
    case SigningResult::NotAvailable: return "not available in this build";
    case SigningResult::Failed: return "the cryptographic library failed";
    case SigningResult::UnreadableKey: return "not an unencrypted PEM private key";
    case SigningResult::UnsuitableKey: return "not an RSA key of 1024 bits with public exponent 65537";
  }
  return "unknown result";
}

namespace detail {

std::string FingerprintText(const std::uint8_t* digest) {
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (int i = 0; i < 32; ++i) {
    if (i) text += ':';
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 15];
  }
  return text;
}

}  // namespace detail

}  // namespace platform
