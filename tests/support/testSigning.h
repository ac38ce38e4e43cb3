#pragma once
// Manifests signed with the development key in tests, on both builds: the publisher functions on
// Linux; on Windows, where the program has no signing of its own, CryptoAPI with the same key in its
// PVK form.

#include <string>
#include <vector>

#include "platform/keyBlob.h"
#include "platform/signing.h"
#include "support/testData.h"

#if defined(_WIN32)
#include <windows.h>
#include <wincrypt.h>
#endif

// The signature of `bytes` in the order the manifest check expects, and the key that checks it.
inline bool SignWithDevelopmentKey(const std::string& bytes, std::string* signature, platform::KeyBlob* publicKey) {
  const std::vector<std::uint8_t> blob = ReadTestData("keys/development-public.blob");
  if (blob.size() != publicKey->size()) return false;
  std::copy(blob.begin(), blob.end(), publicKey->begin());
#if defined(_WIN32)
  const std::vector<std::uint8_t> pvk = ReadTestData("keys/development-private.pvk");
  constexpr std::size_t kPvkHeader = 24;
  if (pvk.size() <= kPvkHeader) return false;
  HCRYPTPROV provider = 0;
  HCRYPTKEY key = 0;
  HCRYPTHASH hash = 0;
  bool signedOk = false;
  if (CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) &&
      CryptImportKey(provider, pvk.data() + kPvkHeader, static_cast<DWORD>(pvk.size() - kPvkHeader), 0, 0, &key) &&
      CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash) &&
      CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), 0)) {
    BYTE out[256];
    DWORD length = sizeof out;
    if (CryptSignHashA(hash, AT_KEYEXCHANGE, nullptr, 0, out, &length)) {
      signature->assign(reinterpret_cast<const char*>(out), length);
      signedOk = true;
    }
  }
  if (hash) CryptDestroyHash(hash);
  if (key) CryptDestroyKey(key);
  if (provider) CryptReleaseContext(provider, 0);
  return signedOk;
#else
  const std::vector<std::uint8_t> pem = ReadTestData("keys/development-private.pem");
  platform::SignatureBytes bytesSigned{};
  if (platform::SignBytes(std::string(pem.begin(), pem.end()), bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                          &bytesSigned) != platform::SigningResult::Ok) {
    return false;
  }
  signature->assign(bytesSigned.begin(), bytesSigned.end());
  return true;
#endif
}
