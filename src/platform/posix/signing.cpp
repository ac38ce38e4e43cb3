#include "platform/signing.h"

#include <openssl/core_names.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include "platform/posix/openSsl.h"

namespace platform {
namespace {

using Bio = openssl::Owned<BIO, BIO_free_all>;

// Encrypted keys are refused instead of asking for a password on the terminal.
int NoPassword(char*, int, int, void*) { return 0; }

// The blob of an RSA key, or UnsuitableKey when the blob cannot carry it.
SigningResult BlobOf(EVP_PKEY* key, KeyBlob* blob) {
  if (!EVP_PKEY_is_a(key, "RSA") || EVP_PKEY_get_bits(key) != 1024) return SigningResult::UnsuitableKey;
  BIGNUM* n = nullptr;
  BIGNUM* e = nullptr;
  const bool got = EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_N, &n) &&
                   EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_E, &e);
  openssl::BigNumber modulusNumber(n), exponent(e);
  if (!got) return SigningResult::Failed;
  if (!BN_is_word(exponent.get(), kPublicExponent)) return SigningResult::UnsuitableKey;
  Modulus modulus;
  if (BN_bn2binpad(modulusNumber.get(), modulus.data(), static_cast<int>(modulus.size())) < 0) {
    return SigningResult::Failed;
  }
  *blob = MakeKeyBlob(modulus);
  return SigningResult::Ok;
}

openssl::Key ReadPrivateKey(const openssl::Library& library, const std::string& pem) {
  Bio in(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  if (!in) return nullptr;
  return openssl::Key(PEM_read_bio_PrivateKey_ex(in.get(), nullptr, NoPassword, nullptr, library.Context(), nullptr));
}

SigningResult Done(SigningResult result) {
  openssl::TakeLastError();
  return result;
}

}  // namespace

SigningResult GenerateSigningKey(std::string* privateKeyPem, KeyBlob* publicKey) {
  openssl::Library library;
  if (!library.Valid()) return Done(SigningResult::Failed);
  openssl::KeyContext context(EVP_PKEY_CTX_new_from_name(library.Context(), "RSA", nullptr));
  openssl::BigNumber exponent(BN_new());
  EVP_PKEY* generated = nullptr;
  if (!context || !exponent || !BN_set_word(exponent.get(), kPublicExponent) ||
      EVP_PKEY_keygen_init(context.get()) <= 0 || EVP_PKEY_CTX_set_rsa_keygen_bits(context.get(), 1024) <= 0 ||
      EVP_PKEY_CTX_set1_rsa_keygen_pubexp(context.get(), exponent.get()) <= 0 ||
      EVP_PKEY_generate(context.get(), &generated) <= 0) {
    return Done(SigningResult::Failed);
  }
  openssl::Key key(generated);
  Bio out(BIO_new(BIO_s_mem()));
  if (!out || !PEM_write_bio_PrivateKey_ex(out.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr,
                                           library.Context(), nullptr)) {
    return Done(SigningResult::Failed);
  }
  char* text = nullptr;
  const long size = BIO_get_mem_data(out.get(), &text);
  if (size <= 0 || !text) return Done(SigningResult::Failed);
  const SigningResult result = BlobOf(key.get(), publicKey);
  if (result == SigningResult::Ok) privateKeyPem->assign(text, static_cast<std::size_t>(size));
  return Done(result);
}

SigningResult ReadSigningKey(const std::string& privateKeyPem, KeyBlob* publicKey) {
  openssl::Library library;
  if (!library.Valid()) return Done(SigningResult::Failed);
  openssl::Key key = ReadPrivateKey(library, privateKeyPem);
  if (!key) return Done(SigningResult::UnreadableKey);
  return Done(BlobOf(key.get(), publicKey));
}

SigningResult SignBytes(const std::string& privateKeyPem, const void* bytes, std::uint32_t length,
                        SignatureBytes* signature) {
  openssl::Library library;
  if (!library.Valid()) return Done(SigningResult::Failed);
  openssl::Key key = ReadPrivateKey(library, privateKeyPem);
  if (!key) return Done(SigningResult::UnreadableKey);
  KeyBlob blob;
  const SigningResult suitable = BlobOf(key.get(), &blob);
  if (suitable != SigningResult::Ok) return Done(suitable);

  openssl::Digest sha1(EVP_MD_fetch(library.Context(), "SHA1", nullptr));
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digestLength = 0;
  if (!sha1 || (!bytes && length) || !EVP_Digest(bytes, length, digest, &digestLength, sha1.get(), nullptr)) {
    return Done(SigningResult::Failed);
  }
  openssl::KeyContext context(EVP_PKEY_CTX_new_from_pkey(library.Context(), key.get(), nullptr));
  SignatureBytes bigEndian;
  std::size_t size = bigEndian.size();
  if (!context || EVP_PKEY_sign_init(context.get()) <= 0 ||
      EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) <= 0 ||
      EVP_PKEY_CTX_set_signature_md(context.get(), sha1.get()) <= 0 ||
      EVP_PKEY_sign(context.get(), bigEndian.data(), &size, digest, digestLength) <= 0 || size != bigEndian.size()) {
    return Done(SigningResult::Failed);
  }
  ReverseBytes(bigEndian.data(), bigEndian.size(), signature->data());
  return Done(SigningResult::Ok);
}

SigningResult KeyFingerprint(const KeyBlob& publicKey, std::string* fingerprint) {
  openssl::Library library;
  openssl::Digest sha256(library.Valid() ? EVP_MD_fetch(library.Context(), "SHA256", nullptr) : nullptr);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digestLength = 0;
  if (!sha256 || !EVP_Digest(publicKey.data(), publicKey.size(), digest, &digestLength, sha256.get(), nullptr) ||
      digestLength != 32) {
    return Done(SigningResult::Failed);
  }
  *fingerprint = detail::FingerprintText(digest);
  return Done(SigningResult::Ok);
}

}  // namespace platform
