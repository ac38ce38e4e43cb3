#include "platform/signature.h"

#include <windows.h>
#include <wincrypt.h>

namespace platform {
namespace {

thread_local std::uint32_t lastError = 0;

// Records the failing step's error, releases what was acquired, and leaves that error as the thread's
// last error, so that a caller reading GetLastError() right after the check sees the cause rather
// than whatever the release calls left behind.
int Finish(int code, DWORD error, HCRYPTPROV provider, HCRYPTKEY key, HCRYPTHASH hash) {
  if (hash) CryptDestroyHash(hash);
  if (key) CryptDestroyKey(key);
  if (provider) CryptReleaseContext(provider, 0);
  lastError = error;
  SetLastError(error);
  return code;
}

// PKCS #1 v1.5 over `algorithm` with a provider of `providerType`: the RSA provider hashes SHA-1, the
// AES provider SHA-256 as well.
int VerifyRsa(const void* bytes, std::uint32_t length, const ManifestSignature& signature, DWORD providerType,
              ALG_ID algorithm) {
  HCRYPTPROV provider = 0;
  if (!CryptAcquireContextA(&provider, nullptr, nullptr, providerType, CRYPT_VERIFYCONTEXT)) {
    const DWORD error = GetLastError();
    if (error != static_cast<DWORD>(NTE_BAD_KEYSET) ||
        !CryptAcquireContextA(&provider, nullptr, nullptr, providerType, CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET)) {
      return Finish(kNoCryptoProvider, GetLastError(), 0, 0, 0);
    }
  }
  // Missing buffers are refused here rather than handed to the provider.
  HCRYPTKEY key = 0;
  if (!signature.keyBlob) return Finish(kKeyNotImported, static_cast<DWORD>(NTE_BAD_DATA), provider, 0, 0);
  if (!CryptImportKey(provider, signature.keyBlob, signature.keyBlobLength, 0, 0, &key)) {
    return Finish(kKeyNotImported, GetLastError(), provider, 0, 0);
  }
  HCRYPTHASH hash = 0;
  if (!CryptCreateHash(provider, algorithm, 0, 0, &hash)) {
    return Finish(kHashNotCreated, GetLastError(), provider, key, 0);
  }
  if (!bytes && length) return Finish(kHashFailed, ERROR_INVALID_PARAMETER, provider, key, hash);
  if (!CryptHashData(hash, static_cast<const BYTE*>(bytes), length, 0)) {
    return Finish(kHashFailed, GetLastError(), provider, key, hash);
  }
  if (!signature.signature) {
    return Finish(kSignatureMismatch, static_cast<DWORD>(NTE_BAD_SIGNATURE), provider, key, hash);
  }
  if (!CryptVerifySignatureA(hash, signature.signature, signature.signatureLength, key, nullptr, 0)) {
    return Finish(kSignatureMismatch, GetLastError(), provider, key, hash);
  }
  return Finish(kManifestVerified, 0, provider, key, hash);
}

}  // namespace

int VerifyManifest(const void* bytes, std::uint32_t length, const ManifestSignature& signature) {
  return VerifyRsa(bytes, length, signature, PROV_RSA_FULL, CALG_SHA1);
}

int VerifyPayloadTableSignature(const void* bytes, std::uint32_t length, const ManifestSignature& signature) {
  return VerifyRsa(bytes, length, signature, PROV_RSA_AES, CALG_SHA_256);
}

std::uint32_t LastSignatureError() { return lastError; }

}  // namespace platform
