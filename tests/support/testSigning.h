#pragma once
// Signatures made with the test keys in tests, on both builds: the publisher functions on Linux; on
// Windows, where the program has no signing of its own, CryptoAPI with the same keys in their PVK form.
// Two keys: the 3072-bit development key (the default in the program's key slot), which signs manifests
// and payload tables, and the 1024-bit one of the original format, which signs manifests only.

#include <string>
#include <vector>

#include "platform/keyBlob.h"
#include "platform/signing.h"
#include "support/testData.h"

#if defined(_WIN32)
#include <windows.h>
#include <wincrypt.h>
#endif

enum class TestKey {
  Development,   // tests/data/keys/development-3072-*
  ManifestOnly,  // tests/data/keys/development-* (1024 bits)
};

inline std::string TestKeyFile(TestKey key, const char* kind) {
  return std::string("keys/development") + (key == TestKey::Development ? "-3072" : "") + "-" + kind;
}

inline platform::KeyBlob TestPublicKey(TestKey key) { return ReadTestData(TestKeyFile(key, "public.blob")); }

// The signature of `bytes` over `digest`, in the order the checks expect; false when it cannot be made.
inline bool SignWithTestKey(TestKey key, platform::SignedDigest digest, const std::string& bytes,
                            std::string* signature) {
#if defined(_WIN32)
  const std::vector<std::uint8_t> pvk = ReadTestData(TestKeyFile(key, "private.pvk"));
  constexpr std::size_t kPvkHeader = 24;
  if (pvk.size() <= kPvkHeader) return false;
  const bool sha1 = digest == platform::SignedDigest::Sha1;
  HCRYPTPROV provider = 0;
  HCRYPTKEY imported = 0;
  HCRYPTHASH hash = 0;
  bool signedOk = false;
  if (CryptAcquireContextA(&provider, nullptr, nullptr, sha1 ? PROV_RSA_FULL : PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
      CryptImportKey(provider, pvk.data() + kPvkHeader, static_cast<DWORD>(pvk.size() - kPvkHeader), 0, 0, &imported) &&
      CryptCreateHash(provider, sha1 ? CALG_SHA1 : CALG_SHA_256, 0, 0, &hash) &&
      CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), 0)) {
    BYTE out[512];
    DWORD length = sizeof out;
    if (CryptSignHashA(hash, AT_KEYEXCHANGE, nullptr, 0, out, &length)) {
      signature->assign(reinterpret_cast<const char*>(out), length);
      signedOk = true;
    }
  }
  if (hash) CryptDestroyHash(hash);
  if (imported) CryptDestroyKey(imported);
  if (provider) CryptReleaseContext(provider, 0);
  return signedOk;
#else
  const std::vector<std::uint8_t> pem = ReadTestData(TestKeyFile(key, "private.pem"));
  std::vector<std::uint8_t> bytesSigned;
  if (platform::SignBytes(std::string(pem.begin(), pem.end()), bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                          digest, &bytesSigned) != platform::SigningResult::Ok) {
    return false;
  }
  signature->assign(bytesSigned.begin(), bytesSigned.end());
  return true;
#endif
}

// The manifest signature of `bytes` with the 1024-bit key of the original format, and that key.
inline bool SignWithDevelopmentKey(const std::string& bytes, std::string* signature, platform::KeyBlob* publicKey) {
  *publicKey = TestPublicKey(TestKey::ManifestOnly);
  return SignWithTestKey(TestKey::ManifestOnly, platform::SignedDigest::Sha1, bytes, signature);
}
