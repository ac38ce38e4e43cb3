#include "platform/signing.h"

namespace platform {

// Publishers make keys and signatures with the Linux tools; the Windows build only checks them.
SigningResult GenerateSigningKey(std::uint32_t, std::string*, KeyBlob*) { return SigningResult::NotAvailable; }
SigningResult ReadSigningKey(const std::string&, KeyBlob*) { return SigningResult::NotAvailable; }
SigningResult SignBytes(const std::string&, const void*, std::uint32_t, SignedDigest, std::vector<std::uint8_t>*) {
  return SigningResult::NotAvailable;
}

}  // namespace platform
