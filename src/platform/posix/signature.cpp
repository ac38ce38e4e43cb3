#include "platform/signature.h"

#include <openssl/rsa.h>

#include "platform/keyBlob.h"
#include "platform/posix/openSsl.h"

namespace platform {
namespace {

thread_local std::uint32_t lastError = 0;

// CryptoAPI's numbers for the faults that both builds can meet, so that the message reads alike.
constexpr std::uint32_t kBadData = 0x80090005;       // NTE_BAD_DATA: the key blob is not a usable key
constexpr std::uint32_t kBadSignature = 0x80090006;  // NTE_BAD_SIGNATURE

int Finish(int code, std::uint32_t error) {
  const unsigned long queued = openssl::TakeLastError();
  // Failures inside OpenSSL without a CryptoAPI counterpart report OpenSSL's own code.
  lastError = code == kManifestVerified ? 0 : error ? error : static_cast<std::uint32_t>(queued);
  return code;
}

// PKCS #1 v1.5 over the digest named `digestName` ("SHA1", "SHA256").
int VerifyRsa(const void* bytes, std::uint32_t length, const ManifestSignature& signature, const char* digestName) {
  openssl::Library library;
  if (!library.Valid()) return Finish(kNoCryptoProvider, 0);

  Modulus modulus;
  if (!ParseKeyBlob(signature.keyBlob, signature.keyBlobLength, &modulus)) return Finish(kKeyNotImported, kBadData);
  openssl::Key key = openssl::MakePublicKey(library, modulus.data(), modulus.size());
  if (!key) return Finish(kKeyNotImported, kBadData);

  openssl::Digest algorithm(EVP_MD_fetch(library.Context(), digestName, nullptr));
  openssl::DigestContext hash(EVP_MD_CTX_new());
  if (!algorithm || !hash || !EVP_DigestInit_ex(hash.get(), algorithm.get(), nullptr)) {
    return Finish(kHashNotCreated, 0);
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digestLength = 0;
  if ((!bytes && length) || !EVP_DigestUpdate(hash.get(), bytes, length) ||
      !EVP_DigestFinal_ex(hash.get(), digest, &digestLength)) {
    return Finish(kHashFailed, 0);
  }

  // The key's size fixes the signature's: any other length cannot verify.
  if (!signature.signature || signature.signatureLength != modulus.size()) {
    return Finish(kSignatureMismatch, kBadSignature);
  }
  std::vector<std::uint8_t> bigEndian(modulus.size());
  ReverseBytes(signature.signature, bigEndian.size(), bigEndian.data());
  openssl::KeyContext check(EVP_PKEY_CTX_new_from_pkey(library.Context(), key.get(), nullptr));
  const bool verified = check && EVP_PKEY_verify_init(check.get()) > 0 &&
                        EVP_PKEY_CTX_set_rsa_padding(check.get(), RSA_PKCS1_PADDING) > 0 &&
                        EVP_PKEY_CTX_set_signature_md(check.get(), algorithm.get()) > 0 &&
                        EVP_PKEY_verify(check.get(), bigEndian.data(), bigEndian.size(), digest, digestLength) == 1;
  return verified ? Finish(kManifestVerified, 0) : Finish(kSignatureMismatch, kBadSignature);
}

}  // namespace

int VerifyManifest(const void* bytes, std::uint32_t length, const ManifestSignature& signature) {
  return VerifyRsa(bytes, length, signature, "SHA1");
}

int VerifyPayloadTableSignature(const void* bytes, std::uint32_t length, const ManifestSignature& signature) {
  return VerifyRsa(bytes, length, signature, "SHA256");
}

std::uint32_t LastSignatureError() { return lastError; }

}  // namespace platform
