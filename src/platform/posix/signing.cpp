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
  if (!EVP_PKEY_is_a(key, "RSA")) return SigningResult::UnsuitableKey;
  const int bits = EVP_PKEY_get_bits(key);
  if (bits <= 0 || !IsSupportedKeyBits(static_cast<std::uint32_t>(bits))) return SigningResult::UnsuitableKey;
  BIGNUM* n = nullptr;
  BIGNUM* e = nullptr;
  const bool got = EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_N, &n) &&
                   EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_E, &e);
  openssl::BigNumber modulusNumber(n), exponent(e);
  if (!got) return SigningResult::Failed;
  if (!BN_is_word(exponent.get(), kPublicExponent)) return SigningResult::UnsuitableKey;
  Modulus modulus(static_cast<std::size_t>(bits) / 8);
  if (BN_bn2binpad(modulusNumber.get(), modulus.data(), static_cast<int>(modulus.size())) < 0) {
    return SigningResult::Failed;
  }
  *blob = MakeKeyBlob(modulus);
  return blob->empty() ? SigningResult::UnsuitableKey : SigningResult::Ok;
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

SigningResult GenerateSigningKey(std::uint32_t bits, std::string* privateKeyPem, KeyBlob* publicKey) {
  if (!IsSupportedKeyBits(bits)) return SigningResult::UnsuitableKey;
  openssl::Library library;
  if (!library.Valid()) return Done(SigningResult::Failed);
  openssl::KeyContext context(EVP_PKEY_CTX_new_from_name(library.Context(), "RSA", nullptr));
  openssl::BigNumber exponent(BN_new());
  EVP_PKEY* generated = nullptr;
  if (!context || !exponent || !BN_set_word(exponent.get(), kPublicExponent) ||
      EVP_PKEY_keygen_init(context.get()) <= 0 ||
      EVP_PKEY_CTX_set_rsa_keygen_bits(context.get(), static_cast<int>(bits)) <= 0 ||
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

SigningResult SignBytes(const std::string& privateKeyPem, const void* bytes, std::uint32_t length, SignedDigest digest,
                        std::vector<std::uint8_t>* signature) {
  openssl::Library library;
  if (!library.Valid()) return Done(SigningResult::Failed);
  openssl::Key key = ReadPrivateKey(library, privateKeyPem);
  if (!key) return Done(SigningResult::UnreadableKey);
  KeyBlob blob;
  const SigningResult suitable = BlobOf(key.get(), &blob);
  if (suitable != SigningResult::Ok) return Done(suitable);

  openssl::Digest algorithm(
      EVP_MD_fetch(library.Context(), digest == SignedDigest::Sha1 ? "SHA1" : "SHA256", nullptr));
  unsigned char hashed[EVP_MAX_MD_SIZE];
  unsigned int hashedLength = 0;
  if (!algorithm || (!bytes && length) || !EVP_Digest(bytes, length, hashed, &hashedLength, algorithm.get(), nullptr)) {
    return Done(SigningResult::Failed);
  }
  openssl::KeyContext context(EVP_PKEY_CTX_new_from_pkey(library.Context(), key.get(), nullptr));
  std::vector<std::uint8_t> bigEndian(blob.size() - kKeyBlobHeaderSize);
  std::size_t size = bigEndian.size();
  if (!context || EVP_PKEY_sign_init(context.get()) <= 0 ||
      EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) <= 0 ||
      EVP_PKEY_CTX_set_signature_md(context.get(), algorithm.get()) <= 0 ||
      EVP_PKEY_sign(context.get(), bigEndian.data(), &size, hashed, hashedLength) <= 0 || size != bigEndian.size()) {
    return Done(SigningResult::Failed);
  }
  signature->assign(bigEndian.size(), 0);
  ReverseBytes(bigEndian.data(), bigEndian.size(), signature->data());
  return Done(SigningResult::Ok);
}

}  // namespace platform
