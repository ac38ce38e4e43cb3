#include "platform/signing.h"

#include <windows.h>
#include <wincrypt.h>

namespace platform {

// Publishers make keys and signatures with the Linux tools; the Windows build only checks them.
SigningResult GenerateSigningKey(std::string*, KeyBlob*) { return SigningResult::NotAvailable; }
SigningResult ReadSigningKey(const std::string&, KeyBlob*) { return SigningResult::NotAvailable; }
SigningResult SignBytes(const std::string&, const void*, std::uint32_t, SignatureBytes*) {
  return SigningResult::NotAvailable;
}

SigningResult KeyFingerprint(const KeyBlob& publicKey, std::string* fingerprint) {
  // SHA-256 comes with the AES provider, not the plain RSA one.
  HCRYPTPROV provider = 0;
  if (!CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
    return SigningResult::Failed;
  }
  HCRYPTHASH hash = 0;
  BYTE digest[32];
  DWORD digestLength = sizeof digest;
  const bool hashed = CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash) &&
                      CryptHashData(hash, publicKey.data(), static_cast<DWORD>(publicKey.size()), 0) &&
                      CryptGetHashParam(hash, HP_HASHVAL, digest, &digestLength, 0) && digestLength == 32;
  if (hash) CryptDestroyHash(hash);
  CryptReleaseContext(provider, 0);
  if (!hashed) return SigningResult::Failed;
  *fingerprint = detail::FingerprintText(digest);
  return SigningResult::Ok;
}

}  // namespace platform
